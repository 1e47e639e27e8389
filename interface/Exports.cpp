// The C boundary: thin forwarders to the instance. Validation and logic live behind them; what
// is checked here is only what the instance itself cannot check (a null instance pointer) and
// the two refusals that belong to the boundary (writeBool, setRegionOfInterest).

#include <new>

#include "variant/VEXAR_ParamInterp_YORINDImpl.h"
#include "vexar_param_interp.h"

#if defined(_WIN32)
#include <windows.h>
BOOL APIENTRY DllMain(HMODULE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}
#endif

namespace {
using Lumivor::ErrorCode;
namespace Error = Lumivor::Error;

constexpr std::uint32_t kPluginVersion[3] = {0, 1, 0};
// The build passes the project's version; packages and tools show that one, so it must not
// drift from what hosts read through getPluginVersion.
static_assert(kPluginVersion[0] == VEXAR_VERSION_MAJOR &&
                  kPluginVersion[1] == VEXAR_VERSION_MINOR &&
                  kPluginVersion[2] == VEXAR_VERSION_PATCH,
              "getPluginVersion and the project version differ");
constexpr std::uint32_t kSdkVersion[4] = {1, 9, 0, 5};
constexpr std::int32_t kImplType = 9;
constexpr GUID kImplGuid = {
    0x5E3B9D41, 0x7C2A, 0x4F86, {0xA1, 0xD0, 0x2B, 0x6C, 0x8E, 0x94, 0xF7, 0x13}};

Lumivor::VEXARParameterInterpreter* asInstance(void* inst) {
    return static_cast<Lumivor::VEXARParameterInterpreter*>(inst);
}

// Runs an operation on the instance, answering InvalidArgument for a null one. The operations
// throw nothing of their own; exhausted memory is not an error code a host could act on, so
// std::bad_alloc reaches a C++ host as it is.
template <typename Operation>
ErrorCode onInstance(void* inst, Operation operation) {
    if (inst == nullptr) {
        return Error::InvalidArgument;
    }
    return operation(*asInstance(inst));
}

void store(std::uint32_t* target, std::uint32_t value) {
    if (target != nullptr) {
        *target = value;
    }
}
}  // namespace

extern "C" {

VEXAR_EXPORT void getPluginVersion(uint32_t* major, uint32_t* minor, uint32_t* patch) {
    store(major, kPluginVersion[0]);
    store(minor, kPluginVersion[1]);
    store(patch, kPluginVersion[2]);
}

VEXAR_EXPORT void getSDKVersion(uint32_t* a, uint32_t* b, uint32_t* c, uint32_t* d) {
    store(a, kSdkVersion[0]);
    store(b, kSdkVersion[1]);
    store(c, kSdkVersion[2]);
    store(d, kSdkVersion[3]);
}

VEXAR_EXPORT GUID getImplGUID(void) {
    return kImplGuid;
}

VEXAR_EXPORT int32_t getImplType(void) {
    return kImplType;
}

// Without memory for an instance the host gets none.
VEXAR_EXPORT void* createInstance(void) {
    return new (std::nothrow) Lumivor::VEXAR_ParamInterp_YORINDImpl();
}

VEXAR_EXPORT int32_t initialize(void* inst, void* hostContext, RegisterReadCallback readCallback,
                                RegisterWriteCallback writeCallback, ModuleKey key,
                                ModuleDescriptor descriptor) {
    return onInstance(inst, [&](auto& instance) {
        return instance.initialize(hostContext, readCallback, writeCallback, key, descriptor);
    });
}

VEXAR_EXPORT void dispose(void* inst) {
    if (inst != nullptr) {
        asInstance(inst)->dispose();
    }
}

VEXAR_EXPORT void destroyInstance(void* inst) {
    delete asInstance(inst);
}

VEXAR_EXPORT int32_t getUnitType(void* inst, uint32_t id, uint32_t* unit) {
    return onInstance(inst, [&](auto& instance) { return instance.getUnitType(id, unit); });
}

VEXAR_EXPORT int32_t getAccessMode(void* inst, uint32_t id, uint32_t* mode) {
    return onInstance(inst, [&](auto& instance) { return instance.getAccessMode(id, mode); });
}

VEXAR_EXPORT int32_t getParameterRange(void* inst, uint32_t id, uint8_t* buffer, uint32_t* size) {
    return onInstance(inst,
                      [&](auto& instance) { return instance.getParameterRange(id, buffer, size); });
}

VEXAR_EXPORT int32_t writeSystemState(void* inst, const uint8_t* buffer, uint32_t size) {
    return onInstance(inst,
                      [&](auto& instance) { return instance.writeSystemState(buffer, size); });
}

VEXAR_EXPORT int32_t readSystemState(void* inst, uint8_t* buffer, uint32_t size) {
    return onInstance(inst, [&](auto& instance) { return instance.readSystemState(buffer, size); });
}

VEXAR_EXPORT int32_t getLastError(void* inst, char* buffer, int32_t* size) {
    return onInstance(inst, [&](auto& instance) { return instance.getLastError(buffer, size); });
}

VEXAR_EXPORT int32_t writeCalibration(void* inst, const uint8_t* data, uint32_t size) {
    return onInstance(inst, [&](auto& instance) { return instance.writeCalibration(data, size); });
}

VEXAR_EXPORT int32_t readCalibration(void* inst, uint8_t* buffer, uint32_t* size) {
    return onInstance(inst, [&](auto& instance) { return instance.readCalibration(buffer, size); });
}

VEXAR_EXPORT int32_t getPhaseScaling(void* inst, float* factor) {
    return onInstance(inst, [&](auto& instance) { return instance.getPhaseScaling(factor); });
}

VEXAR_EXPORT int32_t readInt(void* inst, uint32_t id, int32_t* value) {
    return onInstance(inst, [&](auto& instance) { return instance.readValue(id, value); });
}

VEXAR_EXPORT int32_t readFloat(void* inst, uint32_t id, float* value) {
    return onInstance(inst, [&](auto& instance) { return instance.readValue(id, value); });
}

VEXAR_EXPORT int32_t readBool(void* inst, uint32_t id, bool* value) {
    return onInstance(inst, [&](auto& instance) { return instance.readValue(id, value); });
}

VEXAR_EXPORT int32_t getRegionOfInterest(void* inst, RegionOfInterestInternal* roi) {
    return onInstance(inst, [&](auto& instance) {
        return instance.readValue(VEXAR_PARAM_REGION_OF_INTEREST, roi);
    });
}

VEXAR_EXPORT int32_t writeInt(void* inst, uint32_t id, int32_t value) {
    return onInstance(inst, [&](auto& instance) { return instance.writeValue(id, value); });
}

VEXAR_EXPORT int32_t writeFloat(void* inst, uint32_t id, float value) {
    return onInstance(inst, [&](auto& instance) { return instance.writeValue(id, value); });
}

VEXAR_EXPORT int32_t writeBool(void* inst, uint32_t id, bool value) {
    // Only stream enable is writable as a flag from outside; dealiasing follows the state.
    if (id != VEXAR_PARAM_STREAM_ENABLE) {
        return Error::NotSupported;
    }
    return onInstance(inst, [&](auto& instance) { return instance.writeValue(id, value); });
}

VEXAR_EXPORT int32_t setRegionOfInterest(void*, const RegionOfInterestInternal*) {
    return Error::NotSupported;
}

}  // extern "C"
