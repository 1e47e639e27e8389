/*
 * Public C interface of the VEXAR_ParamInterp_YORINDImpl parameter-interpreter plug-in.
 *
 * A host loads the shared library, creates an instance, initialises it with its register
 * callbacks and the module identity, and then reads and writes camera parameters by number.
 * This header is self-contained and compiles as C99 and as C++.
 */
#ifndef VEXAR_PARAM_INTERP_H
#define VEXAR_PARAM_INTERP_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define VEXAR_EXPORT __declspec(dllexport)
#else
#define VEXAR_EXPORT __attribute__((visibility("default")))
#endif

/* Result codes produced by the plug-in itself. Any other non-zero value is a host callback's
 * own failure code (or the range marshaller's), passed through unchanged. */
enum {
    VEXAR_SUCCESS = 0,
    VEXAR_NOT_SUPPORTED = -3,
    VEXAR_INVALID_ARGUMENT = -4,
    VEXAR_OUT_OF_RANGE = -5,
    VEXAR_BUFFER_TOO_SMALL = -6
};

/* Value types of the typed exports, as the system state's records carry them. */
enum {
    VEXAR_VALUE_FLOAT = 1,
    VEXAR_VALUE_INT = 2,
    VEXAR_VALUE_BOOL = 3,
    VEXAR_VALUE_REGION_OF_INTEREST = 4
};

/* Units, as getUnitType answers them. */
enum {
    VEXAR_UNIT_NONE = 1,
    VEXAR_UNIT_MILLISECONDS = 2,
    VEXAR_UNIT_MEGAHERTZ = 3,
    VEXAR_UNIT_METERS = 5,
    VEXAR_UNIT_PERCENT = 6
};

/* Access modes, as getAccessMode answers them. */
enum { VEXAR_ACCESS_READ_WRITE = 1, VEXAR_ACCESS_READ_ONLY = 2, VEXAR_ACCESS_WRITE_ONLY = 3 };

/* The parameters, in identifier order from 0: constant suffix, name, value type, unit and
 * access mode (the suffixes of the constants above). Expand it with a macro of five arguments
 * to build a host's own table; VEXAR_PARAM_<suffix> names each identifier. */
/* clang-format off */
#define VEXAR_PARAMETERS(X)                                                                   \
    X(LEFT_ILLUMINATION_VOLTAGE,  LeftIlluminationVoltage,  FLOAT,              PERCENT,      WRITE_ONLY) \
    X(RIGHT_ILLUMINATION_VOLTAGE, RightIlluminationVoltage, FLOAT,              PERCENT,      WRITE_ONLY) \
    X(MIXING_VOLTAGE,             MixingVoltage,            FLOAT,              PERCENT,      WRITE_ONLY) \
    X(FRAME_RATE,                 FrameRate,                FLOAT,              NONE,         READ_WRITE) \
    X(MICRO_FRAME_NUMBER,         MicroFrameNumber,         INT,                NONE,         READ_WRITE) \
    X(INTEGRATION_TIME,           IntegrationTime,          FLOAT,              MILLISECONDS, READ_WRITE) \
    X(MODULATION_FREQUENCY,       ModulationFrequency,      FLOAT,              MEGAHERTZ,    READ_WRITE) \
    X(DEALIASING_ON,              DealiasingOn,             BOOL,               NONE,         READ_WRITE) \
    X(DEALIASING_FREQUENCY,       DealiasingFrequency,      FLOAT,              MEGAHERTZ,    READ_WRITE) \
    X(MIXING_SIGNALS_MODE,        MixingSignalsMode,        INT,                NONE,         READ_WRITE) \
    X(ILLUMINATION_MODE,          IlluminationMode,         INT,                NONE,         READ_WRITE) \
    X(RAW_OUTPUT_MODE,            RawOutputMode,            INT,                NONE,         READ_WRITE) \
    X(RANGE,                      Range,                    FLOAT,              METERS,       READ_ONLY)  \
    X(REGION_OF_INTEREST,         RegionOfInterest,         REGION_OF_INTEREST, NONE,         READ_WRITE) \
    X(STREAM_ENABLE,              StreamEnable,             BOOL,               NONE,         READ_WRITE) \
    X(NATIVE_FRAME_FORMAT,        NativeFrameFormat,        INT,                NONE,         READ_ONLY)
/* clang-format on */

#define VEXAR_PARAM_ENUMERATOR_(suffix, name, value, unit, access) VEXAR_PARAM_##suffix,
enum { VEXAR_PARAMETERS(VEXAR_PARAM_ENUMERATOR_) VEXAR_PARAM_COUNT };
#undef VEXAR_PARAM_ENUMERATOR_

/* Register bus callbacks. Sensor registers move as 3 bytes, least significant byte first;
 * the one-byte devices as 1 byte. 0 means success. */
typedef int32_t (*RegisterReadCallback)(void* hostContext, uint16_t device, uint8_t reg,
                                        uint8_t* buffer, uint32_t length);
typedef int32_t (*RegisterWriteCallback)(void* hostContext, uint16_t device, uint8_t reg,
                                         uint8_t* buffer, uint32_t length);

typedef struct ModuleKey {
    uint32_t word0, word1, word2, word3;
} ModuleKey;

typedef struct ComponentIdentity {
    uint32_t type;
    uint16_t version;
    uint16_t pad0;
    uint32_t reservedWord;
    uint16_t reservedHalf;
    uint16_t pad1;
    uint8_t present;
    uint8_t pad2[3];
} ComponentIdentity;

typedef struct ModuleDescriptor {
    uint32_t headerValue;
    uint8_t headerValid;
    uint8_t pad0[3];
    uint32_t auxValue;
    uint8_t auxValid;
    uint8_t pad1[3];
    ComponentIdentity components[5];
} ModuleDescriptor;

#ifndef VEXAR_GUID_DEFINED
#define VEXAR_GUID_DEFINED
typedef struct GUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
} GUID;
#endif

/* A rectangle of the sensor in pixels; the host library uses the same record. */
typedef struct RegionOfInterestInternal {
    int32_t x, y, width, height;
} RegionOfInterestInternal;

#ifdef __cplusplus
#define VEXAR_STATIC_ASSERT static_assert
#else
#define VEXAR_STATIC_ASSERT _Static_assert
#endif
VEXAR_STATIC_ASSERT(sizeof(ModuleKey) == 16, "ModuleKey is 16 bytes");
VEXAR_STATIC_ASSERT(sizeof(ComponentIdentity) == 20, "ComponentIdentity is 20 bytes");
VEXAR_STATIC_ASSERT(sizeof(ModuleDescriptor) == 116, "ModuleDescriptor is 116 bytes");
VEXAR_STATIC_ASSERT(sizeof(GUID) == 16, "GUID is 16 bytes");
VEXAR_STATIC_ASSERT(sizeof(RegionOfInterestInternal) == 16, "RegionOfInterestInternal is 16 bytes");
#undef VEXAR_STATIC_ASSERT

/* Contract of the exports.
 * - Threads: an instance is used by one thread at a time; separate instances may run in parallel
 *   (the plug-in keeps no state outside its instances).
 * - Buffers belong to the caller; the plug-in keeps no pointer to them past the call.
 * - Size protocol of getParameterRange, readCalibration and getLastError: *size carries the
 *   buffer's capacity in bytes; when that is too small the call answers VEXAR_BUFFER_TOO_SMALL
 *   and sets *size to the size needed, so a host can ask with *size = 0 first.
 * - A null instance or a null output pointer answers VEXAR_INVALID_ARGUMENT, except where noted.
 * - Byte formats of the marshalled range and of the calibration record: docs/host-formats.md.
 *   A system state is a run of value records: one identifier byte, then the value (float and
 *   int 4 bytes, bool 1 byte, region four 16-bit numbers), little-endian. */

/* Identity queries: no instance needed. Null output pointers are skipped. */
VEXAR_EXPORT void getPluginVersion(uint32_t* major, uint32_t* minor, uint32_t* patch);
VEXAR_EXPORT void getSDKVersion(uint32_t* a, uint32_t* b, uint32_t* c, uint32_t* d);
VEXAR_EXPORT GUID getImplGUID(void);
VEXAR_EXPORT int32_t getImplType(void);

/* Instance life. createInstance answers null when memory runs out. initialize takes the bus
 * callbacks (both required, else VEXAR_INVALID_ARGUMENT) and answers VEXAR_NOT_SUPPORTED for a
 * module it does not serve; it may be called again to re-target the instance. dispose releases
 * what initialize set up; destroyInstance frees the instance. Both accept null and do nothing. */
VEXAR_EXPORT void* createInstance(void);
VEXAR_EXPORT int32_t initialize(void* inst, void* hostContext, RegisterReadCallback readCallback,
                                RegisterWriteCallback writeCallback, ModuleKey key,
                                ModuleDescriptor descriptor);
VEXAR_EXPORT void dispose(void* inst);
VEXAR_EXPORT void destroyInstance(void* inst);

/* Operations on an initialised instance. An identifier the module does not have answers
 * VEXAR_NOT_SUPPORTED; a failed bus transaction's own code is passed through. */

/* The VEXAR_UNIT_* and VEXAR_ACCESS_* code of a parameter. */
VEXAR_EXPORT int32_t getUnitType(void* inst, uint32_t id, uint32_t* unit);
VEXAR_EXPORT int32_t getAccessMode(void* inst, uint32_t id, uint32_t* mode);
/* The parameter's range, marshalled; size protocol above. VEXAR_NOT_SUPPORTED when the parameter
 * publishes no range. */
VEXAR_EXPORT int32_t getParameterRange(void* inst, uint32_t id, uint8_t* buffer, uint32_t* size);
/* writeSystemState applies the value records of the buffer in the module's own order;
 * readSystemState overwrites the values of the records the caller laid out in the buffer
 * (identifier bytes are kept). A null buffer is accepted only with size 0. */
VEXAR_EXPORT int32_t writeSystemState(void* inst, const uint8_t* buffer, uint32_t size);
VEXAR_EXPORT int32_t readSystemState(void* inst, uint8_t* buffer, uint32_t size);
/* The text of the last failure, NUL-terminated; size protocol above (*size counts the NUL).
 * A successful call clears the text. */
VEXAR_EXPORT int32_t getLastError(void* inst, char* buffer, int32_t* size);
/* The calibration record in the container format; a null record is accepted only with size 0.
 * readCalibration follows the size protocol above. */
VEXAR_EXPORT int32_t writeCalibration(void* inst, const uint8_t* data, uint32_t size);
VEXAR_EXPORT int32_t readCalibration(void* inst, uint8_t* buffer, uint32_t* size);
VEXAR_EXPORT int32_t getPhaseScaling(void* inst, float* factor);
/* Typed access. A parameter of another value type answers VEXAR_INVALID_ARGUMENT; the output is
 * written only on success. writeBool takes only VEXAR_PARAM_STREAM_ENABLE and
 * setRegionOfInterest always answers VEXAR_NOT_SUPPORTED: those settings reach the module
 * through writeSystemState. */
VEXAR_EXPORT int32_t readInt(void* inst, uint32_t id, int32_t* value);
VEXAR_EXPORT int32_t readFloat(void* inst, uint32_t id, float* value);
VEXAR_EXPORT int32_t readBool(void* inst, uint32_t id, bool* value);
VEXAR_EXPORT int32_t getRegionOfInterest(void* inst, RegionOfInterestInternal* roi);
VEXAR_EXPORT int32_t writeInt(void* inst, uint32_t id, int32_t value);
VEXAR_EXPORT int32_t writeFloat(void* inst, uint32_t id, float value);
VEXAR_EXPORT int32_t writeBool(void* inst, uint32_t id, bool value);
VEXAR_EXPORT int32_t setRegionOfInterest(void* inst, const RegionOfInterestInternal* roi);

/* Function pointer types, for hosts that resolve the exports with dlsym. */
typedef void (*getPluginVersion_fn)(uint32_t*, uint32_t*, uint32_t*);
typedef void (*getSDKVersion_fn)(uint32_t*, uint32_t*, uint32_t*, uint32_t*);
typedef GUID (*getImplGUID_fn)(void);
typedef int32_t (*getImplType_fn)(void);
typedef void* (*createInstance_fn)(void);
typedef int32_t (*initialize_fn)(void*, void*, RegisterReadCallback, RegisterWriteCallback,
                                 ModuleKey, ModuleDescriptor);
typedef void (*dispose_fn)(void*);
typedef void (*destroyInstance_fn)(void*);
typedef int32_t (*getUnitType_fn)(void*, uint32_t, uint32_t*);
typedef int32_t (*getAccessMode_fn)(void*, uint32_t, uint32_t*);
typedef int32_t (*getParameterRange_fn)(void*, uint32_t, uint8_t*, uint32_t*);
typedef int32_t (*writeSystemState_fn)(void*, const uint8_t*, uint32_t);
typedef int32_t (*readSystemState_fn)(void*, uint8_t*, uint32_t);
typedef int32_t (*getLastError_fn)(void*, char*, int32_t*);
typedef int32_t (*writeCalibration_fn)(void*, const uint8_t*, uint32_t);
typedef int32_t (*readCalibration_fn)(void*, uint8_t*, uint32_t*);
typedef int32_t (*getPhaseScaling_fn)(void*, float*);
typedef int32_t (*readInt_fn)(void*, uint32_t, int32_t*);
typedef int32_t (*readFloat_fn)(void*, uint32_t, float*);
typedef int32_t (*readBool_fn)(void*, uint32_t, bool*);
typedef int32_t (*getRegionOfInterest_fn)(void*, RegionOfInterestInternal*);
typedef int32_t (*writeInt_fn)(void*, uint32_t, int32_t);
typedef int32_t (*writeFloat_fn)(void*, uint32_t, float);
typedef int32_t (*writeBool_fn)(void*, uint32_t, bool);
typedef int32_t (*setRegionOfInterest_fn)(void*, const RegionOfInterestInternal*);

#ifdef __cplusplus
}
#endif

#endif /* VEXAR_PARAM_INTERP_H */
