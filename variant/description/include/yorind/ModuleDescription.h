#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "vexar_param_interp.h"

// The YORIN_D module as every layer of this project knows it: its identity, the devices on its
// bus, its sensor's fields with their reset values and which parameters a system state holds.
// Compiled-in data only; the plug-in's behaviour is not described here.
namespace yorind {

// ---- Identity ----------------------------------------------------------------------------

// The module key the plug-in serves and a built-in identity carries.
inline constexpr std::array<std::uint32_t, 4> kModuleKey{0x451, 0x9100, 0, 0};

// The descriptor header: the lowest value served, which is also the built-in one.
inline constexpr std::uint32_t kHeaderValue = 0x102;

// A descriptor entry with the role it plays for this module. The versions are those served;
// the first one is what a built-in identity carries.
struct Component {
    std::string_view role;
    std::size_t index;  // into the descriptor's components
    std::uint32_t type;
    std::array<std::uint16_t, 2> versions;
    std::uint16_t reservedHalf;  // what a built-in identity carries in it
};

inline constexpr std::size_t kSensorBoard = 1;
inline constexpr std::size_t kModule = 2;
inline constexpr std::size_t kLeftIllumination = 3;
inline constexpr std::size_t kRightIllumination = 4;

inline constexpr Component kComponents[] = {
    {"sensor board", kSensorBoard, 0x103, {0x1100, 0x1000}, 0x0100},
    {"module", kModule, 0x102, {0x2000, 0x2000}, 0x0100},
    {"left illumination", kLeftIllumination, 0x104, {0x2000, 0x2000}, 0x0100},
    {"right illumination", kRightIllumination, 0x104, {0x2000, 0x2000}, 0x0100},
};

// The entry of a role, by its descriptor index.
consteval const Component& component(std::size_t index) {
    for (const Component& entry : kComponents) {
        if (entry.index == index) {
            return entry;
        }
    }
    throw "no component has this index";
}

// The illumination drivers whose voltage can be set, by type and version. The third pair
// differs between the sides.
struct Driver {
    std::uint32_t type;
    std::uint16_t version;
};
inline constexpr Driver kLeftIlluminationDrivers[] = {
    {4, 0x0001}, {0x104, 0x2000}, {0x107, 0x2100}};
inline constexpr Driver kRightIlluminationDrivers[] = {
    {4, 0x0001}, {0x104, 0x2000}, {0x108, 0x2100}};

// ---- Bus ---------------------------------------------------------------------------------

// The sensor's 512 registers of 24 bits answer in two banks of 256 at two bus devices; the
// register byte is the low byte of the address. A register moves as three bytes, least
// significant first.
inline constexpr std::uint16_t kLowBankDevice = 0x5C;
inline constexpr std::uint16_t kHighBankDevice = 0x58;
inline constexpr std::uint32_t kBankSize = 0x100;
inline constexpr std::uint32_t kSensorRegisterCount = 2 * kBankSize;
inline constexpr std::uint32_t kRegisterBytes = 3;
inline constexpr std::uint32_t kRegisterBits = 8 * kRegisterBytes;

constexpr std::uint16_t bankDevice(std::uint32_t address) {
    return address < kBankSize ? kLowBankDevice : kHighBankDevice;
}

constexpr std::uint8_t bankRegister(std::uint32_t address) {
    return static_cast<std::uint8_t>(address % kBankSize);
}

// The inverse, for whoever answers on the bus: the address, or nothing for another device.
constexpr std::optional<std::uint32_t> sensorRegisterAddress(std::uint16_t device,
                                                             std::uint8_t reg) {
    if (device == kLowBankDevice) {
        return reg;
    }
    if (device == kHighBankDevice) {
        return kBankSize + reg;
    }
    return std::nullopt;
}

// A small device that takes one byte into one register and cannot be read back.
struct ByteDevice {
    std::uint16_t address;
    std::uint8_t reg;
    const char* role;  // what it drives, as tools name it
};

namespace Device {
inline constexpr ByteDevice LeftIllumination{0x2A, 0x11, "left illumination voltage"};
inline constexpr ByteDevice RightIllumination{0x2B, 0x11, "right illumination voltage"};
inline constexpr ByteDevice Mixing{0x28, 0x11, "mixing voltage"};
inline constexpr ByteDevice StreamSwitch{0x21, 0x03, "stream switch"};
}  // namespace Device

inline constexpr std::array kByteDevices{Device::LeftIllumination, Device::RightIllumination,
                                         Device::Mixing, Device::StreamSwitch};

// The byte a voltage device latches for a percentage from 0 to 100: full scale is 255, and the
// percentage is scaled before the division, in single precision, so that 50 % lands on 127
// (127.5 truncated) and not on a rounded 128. A NaN, which no range check stops, lands on 0.
constexpr std::uint8_t voltageLevel(float percent) {
    const float scaled = percent * 255.0f;
    const float level = scaled / 100.0f;
    return level >= 0.0f && level < 256.0f ? static_cast<std::uint8_t>(level) : 0;
}
static_assert(voltageLevel(50.0f) == 127 && voltageLevel(100.0f) == 255 && voltageLevel(0.0f) == 0);

constexpr const ByteDevice* findByteDevice(std::uint32_t address) {
    for (const ByteDevice& device : kByteDevices) {
        if (device.address == address) {
            return &device;
        }
    }
    return nullptr;
}

// ---- Phases ------------------------------------------------------------------------------

// A micro-frame takes six phases with dealiasing on (two frequencies) and four without.
inline constexpr std::uint32_t kPhasesWithDealiasing = 6;
inline constexpr std::uint32_t kPhasesWithoutDealiasing = 4;

constexpr std::uint32_t phaseCount(bool dealiasing) {
    return dealiasing ? kPhasesWithDealiasing : kPhasesWithoutDealiasing;
}

// ---- Fields ------------------------------------------------------------------------------

// Every field of the sensor, one row each: index, register address, lsb, msb, reset value and,
// for the fields the plug-in programs, the name it uses and what uses it. Unnamed rows are
// programmed by nobody here but belong to the sensor all the same.
// clang-format off
#define YORIND_FIELDS(X) \
    X(  0, 0x031,  9, 13, 0xC) \
    X(  1, 0x08A,  0, 11, 0x0) \
    X(  2, 0x000,  0,  0, 0x0) \
    X(  3, 0x102,  2,  2, 0x0, UpdateStrobe, "written 1 then 0 after a modulation-frequency or dealiasing-frequency write") \
    X(  4, 0x029,  3,  3, 0x0) \
    X(  5, 0x002,  5,  8, 0x4, RatioModulationShare, "dealiasing-frequency write; read by phase scaling") \
    X(  6, 0x027, 11, 14, 0x4) \
    X(  7, 0x040,  2,  2, 0x1) \
    X(  8, 0x001,  0,  4, 0x2) \
    X(  9, 0x01C,  8, 10, 0x3) \
    X( 10, 0x001,  5,  7, 0x0) \
    X( 11, 0x031,  1,  3, 0x1) \
    X( 12, 0x001,  8,  8, 0x1) \
    X( 13, 0x01C, 16, 18, 0x5) \
    X( 14, 0x002, 17, 20, 0x8) \
    X( 15, 0x002,  0,  3, 0x1, RatioModularInverse, "dealiasing-frequency write") \
    X( 16, 0x08F,  0, 11, 0x0) \
    X( 17, 0x002, 10, 13, 0x3, RatioDealiasingShare, "dealiasing-frequency write; read by phase scaling") \
    X( 18, 0x002, 22, 22, 0x0, PhaseScalingBypass, "read by phase scaling") \
    X( 19, 0x01D,  0,  2, 0x1) \
    X( 20, 0x002, 23, 23, 0x0, DealiasingEnable, "dealiasing on/off; read by frame rate, dealiasing frequency and phase scaling") \
    X( 21, 0x010,  0, 15, 0x0) \
    X( 22, 0x003, 11, 14, 0x0, PhaseScalingShift, "read by phase scaling") \
    X( 23, 0x01A,  0, 15, 0xC000) \
    X( 24, 0x004,  0, 15, 0x0) \
    X( 25, 0x024,  0,  4, 0x3) \
    X( 26, 0x035, 21, 21, 0x0) \
    X( 27, 0x005,  0, 15, 0x7FFF) \
    X( 28, 0x018,  0, 15, 0xC000) \
    X( 29, 0x006,  0, 15, 0x0) \
    X( 30, 0x030, 12, 12, 0x0) \
    X( 31, 0x095, 12, 23, 0x0) \
    X( 32, 0x007,  0, 15, 0x8001) \
    X( 33, 0x008,  0, 15, 0x0) \
    X( 34, 0x085,  0, 11, 0x0) \
    X( 35, 0x009,  0, 15, 0x0) \
    X( 36, 0x00A,  0, 15, 0x7FFF) \
    X( 37, 0x00B,  0, 15, 0x0) \
    X( 38, 0x01B, 17, 19, 0x0) \
    X( 39, 0x00C,  0, 15, 0x8001) \
    X( 40, 0x00D,  0, 15, 0x0) \
    X( 41, 0x01D, 16, 18, 0x5) \
    X( 42, 0x00E,  0, 15, 0x0) \
    X( 43, 0x00F,  0, 15, 0x0) \
    X( 44, 0x09B, 12, 23, 0x0) \
    X( 45, 0x011,  0, 15, 0x6ED9) \
    X( 46, 0x038,  4, 15, 0x0, PhaseOffset2, "calibration") \
    X( 47, 0x02F, 14, 23, 0xF0) \
    X( 48, 0x01D,  4,  6, 0x2) \
    X( 49, 0x012,  0, 15, 0x9127) \
    X( 50, 0x01D, 12, 14, 0x4) \
    X( 51, 0x013,  0, 15, 0x0) \
    X( 52, 0x181, 12, 12, 0x0) \
    X( 53, 0x014,  0, 15, 0x6ED9) \
    X( 54, 0x02E,  0,  6, 0x71) \
    X( 55, 0x015,  0, 15, 0x9127) \
    X( 56, 0x031,  0,  0, 0x0) \
    X( 57, 0x019,  0, 15, 0x7FFF) \
    X( 58, 0x016,  0, 15, 0x7FFF) \
    X( 59, 0x017,  0, 15, 0xC000) \
    X( 60, 0x01B,  0, 15, 0xC000) \
    X( 61, 0x063, 20, 20, 0x0) \
    X( 62, 0x082, 12, 23, 0x0) \
    X( 63, 0x01C,  0,  2, 0x1) \
    X( 64, 0x01C,  4,  6, 0x2) \
    X( 65, 0x02F, 12, 12, 0x0) \
    X( 66, 0x02F,  0,  9, 0x1) \
    X( 67, 0x051, 19, 19, 0x0) \
    X( 68, 0x01C, 12, 14, 0x4) \
    X( 69, 0x030,  0,  9, 0x1) \
    X( 70, 0x01C, 20, 22, 0x0) \
    X( 71, 0x121,  0,  7, 0x9F, RoiLastColumnPair, "region of interest: last column pair") \
    X( 72, 0x025,  8, 11, 0x0, RawOutputPeriodDoubling, "read by frame rate (15 doubles the frame period); raw output mode") \
    X( 73, 0x01D,  8, 10, 0x3) \
    X( 74, 0x01F, 20, 22, 0x0) \
    X( 75, 0x025, 18, 19, 0x2) \
    X( 76, 0x028, 23, 23, 0x0) \
    X( 77, 0x030, 14, 23, 0x140) \
    X( 78, 0x031,  4,  8, 0x0) \
    X( 79, 0x033,  0,  5, 0x30, ClockMhz, "read by frame rate, modulation frequency and dealiasing frequency") \
    X( 80, 0x035, 22, 22, 0x0) \
    X( 81, 0x035, 23, 23, 0x1) \
    X( 82, 0x036,  0, 11, 0x0) \
    X( 83, 0x036, 12, 23, 0x0) \
    X( 84, 0x037,  4, 15, 0x0, PhaseOffset1, "calibration") \
    X( 85, 0x039,  1,  2, 0x0) \
    X( 86, 0x039,  5,  5, 0x0) \
    X( 87, 0x039,  8,  9, 0x0) \
    X( 88, 0x039, 10, 10, 0x0) \
    X( 89, 0x039, 12, 12, 0x0) \
    X( 90, 0x10C,  0, 15, 0x0) \
    X( 91, 0x03C,  0,  0, 0x0) \
    X( 92, 0x03C,  1,  1, 0x0) \
    X( 93, 0x090,  0, 11, 0x0) \
    X( 94, 0x03C,  2,  2, 0x0) \
    X( 95, 0x03C,  3,  3, 0x0) \
    X( 96, 0x04C, 22, 22, 0x0, FrameTimingLatch, "written 0 after each frame-rate write") \
    X( 97, 0x03C,  4, 23, 0x400) \
    X( 98, 0x03D,  0,  3, 0x0) \
    X( 99, 0x03D,  4, 23, 0x0) \
    X(100, 0x03E,  4, 23, 0x8) \
    X(101, 0x03F,  0,  0, 0x1) \
    X(102, 0x03F,  1,  1, 0x1) \
    X(103, 0x03F,  4, 23, 0x0) \
    X(104, 0x040,  6,  6, 0x1) \
    X(105, 0x040,  8,  8, 0x0) \
    X(106, 0x081,  0, 11, 0x0) \
    X(107, 0x040, 10, 10, 0x1) \
    X(108, 0x040, 14, 14, 0x0) \
    X(109, 0x040, 18, 18, 0x1) \
    X(110, 0x040, 20, 20, 0x0) \
    X(111, 0x047,  0, 16, 0x0, Coefficient0, "calibration") \
    X(112, 0x048,  0, 16, 0x0, Coefficient1, "calibration") \
    X(113, 0x049,  0, 16, 0x0, Coefficient0Copy, "calibration") \
    X(114, 0x092, 12, 23, 0x0) \
    X(115, 0x10D, 16, 21, 0x0, DealiasingMultiplier, "dealiasing frequency") \
    X(116, 0x04A,  0, 16, 0x0, Coefficient1Copy, "calibration") \
    X(117, 0x108,  1,  1, 0x0, RawOutputSelectB, "raw output mode") \
    X(118, 0x04C,  0,  5, 0x14, IntegrationFraction, "integration time") \
    X(119, 0x04C, 19, 19, 0x0) \
    X(120, 0x09E, 12, 23, 0x0) \
    X(121, 0x04C, 20, 20, 0x0) \
    X(122, 0x04C, 21, 21, 0x0) \
    X(123, 0x097,  0, 11, 0x0) \
    X(124, 0x04C, 23, 23, 0x1) \
    X(125, 0x051,  0,  7, 0x0, IlluminationReferenceTemp, "calibration") \
    X(126, 0x051,  8, 15, 0x0, SensorReferenceTemp, "calibration") \
    X(127, 0x10F, 19, 19, 0x0, MixingSignalsSelect, "mixing signals mode") \
    X(128, 0x051, 16, 16, 0x0, PhaseOffsetDisable, "calibration (written 0)") \
    X(129, 0x051, 17, 17, 0x0, CompensationDisable, "calibration") \
    X(130, 0x052, 17, 20, 0x4) \
    X(131, 0x061,  0,  7, 0x0) \
    X(132, 0x062,  0,  7, 0x0) \
    X(133, 0x063,  1,  1, 0x0) \
    X(134, 0x063,  2,  2, 0x0) \
    X(135, 0x08E,  0, 11, 0x0) \
    X(136, 0x063,  3,  3, 0x0) \
    X(137, 0x063,  4,  4, 0x0) \
    X(138, 0x063, 21, 21, 0x0) \
    X(139, 0x08B,  0, 11, 0x0) \
    X(140, 0x063, 22, 22, 0x0) \
    X(141, 0x063, 23, 23, 0x0) \
    X(142, 0x080,  0,  0, 0x0) \
    X(143, 0x080,  1,  5, 0x0) \
    X(144, 0x09E,  0, 11, 0x0) \
    X(145, 0x10C, 16, 21, 0x0, ModulationMultiplier, "modulation frequency") \
    X(146, 0x081, 12, 23, 0x0) \
    X(147, 0x082,  0, 11, 0x0) \
    X(148, 0x083,  0, 11, 0x0) \
    X(149, 0x083, 12, 23, 0x0) \
    X(150, 0x084,  0, 11, 0x0) \
    X(151, 0x084, 12, 23, 0x0) \
    X(152, 0x085, 12, 23, 0x0) \
    X(153, 0x086,  0, 11, 0x0) \
    X(154, 0x086, 12, 23, 0x0) \
    X(155, 0x087,  0, 11, 0x0) \
    X(156, 0x087, 12, 23, 0x0) \
    X(157, 0x088,  0, 11, 0x0) \
    X(158, 0x088, 12, 23, 0x0) \
    X(159, 0x089,  0, 11, 0x0) \
    X(160, 0x089, 12, 23, 0x0) \
    X(161, 0x08A, 12, 23, 0x0) \
    X(162, 0x08B, 12, 23, 0x0) \
    X(163, 0x08C,  0, 11, 0x0) \
    X(164, 0x08C, 12, 23, 0x0) \
    X(165, 0x08D,  0, 11, 0x0) \
    X(166, 0x08D, 12, 23, 0x0) \
    X(167, 0x08E, 12, 23, 0x0) \
    X(168, 0x08F, 12, 23, 0x0) \
    X(169, 0x090, 12, 23, 0x0) \
    X(170, 0x091,  0, 11, 0x0) \
    X(171, 0x091, 12, 23, 0x0) \
    X(172, 0x092,  0, 11, 0x0) \
    X(173, 0x093,  0, 11, 0x0) \
    X(174, 0x093, 12, 23, 0x0) \
    X(175, 0x094,  0, 11, 0x0) \
    X(176, 0x094, 12, 23, 0x0) \
    X(177, 0x095,  0, 11, 0x0) \
    X(178, 0x096,  0, 11, 0x0) \
    X(179, 0x096, 12, 23, 0x0) \
    X(180, 0x097, 12, 23, 0x0) \
    X(181, 0x098,  0, 11, 0x0) \
    X(182, 0x098, 12, 23, 0x0) \
    X(183, 0x099,  0, 11, 0x0) \
    X(184, 0x10F, 18, 18, 0x0, ModeShared, "mixing signals mode and illumination mode (shared bit)") \
    X(185, 0x099, 12, 23, 0x0) \
    X(186, 0x09A,  0, 11, 0x0) \
    X(187, 0x09A, 12, 23, 0x0) \
    X(188, 0x09B,  0, 11, 0x0) \
    X(189, 0x09C,  0, 11, 0x0) \
    X(190, 0x09C, 12, 23, 0x0) \
    X(191, 0x09D,  0, 11, 0x0) \
    X(192, 0x09D, 12, 23, 0x0) \
    X(193, 0x09F,  0, 11, 0x0) \
    X(194, 0x09F, 12, 23, 0x0) \
    X(195, 0x0A0,  0, 11, 0x0) \
    X(196, 0x0A0, 12, 23, 0x0) \
    X(197, 0x108,  0,  0, 0x0, RawOutputSelectA, "raw output mode") \
    X(198, 0x108,  2,  2, 0x0, RawOutputEnable, "raw output mode (written 1)") \
    X(199, 0x10D,  0, 15, 0x0) \
    X(200, 0x10F,  0,  1, 0x0, ModulationInputDivider, "modulation frequency") \
    X(201, 0x10F,  2,  3, 0x0, DealiasingInputDivider, "dealiasing frequency") \
    X(202, 0x10F,  4,  6, 0x0, ModulationOutputDivider, "modulation frequency") \
    X(203, 0x10F,  7,  9, 0x0, DealiasingOutputDivider, "dealiasing frequency") \
    X(204, 0x10F, 20, 20, 0x0, IlluminationModeClear, "illumination mode (written 0)") \
    X(205, 0x112,  7,  7, 0x0) \
    X(206, 0x11C,  0,  6, 0x0) \
    X(207, 0x11F,  0,  7, 0x0, RoiFirstRow, "region of interest: first row") \
    X(208, 0x11F, 16, 23, 0xEF, RoiLastRow, "region of interest: last row") \
    X(209, 0x120,  0,  7, 0x0, RoiFirstColumnPair, "region of interest: first column pair") \
    X(210, 0x122, 16, 16, 0x0) \
    X(211, 0x128, 17, 17, 0x0, RawOutputLaneA, "raw output mode") \
    X(212, 0x128, 18, 18, 0x0, RawOutputLaneC, "raw output mode") \
    X(213, 0x128, 19, 19, 0x0, RawOutputLaneB, "raw output mode") \
    X(214, 0x128, 20, 20, 0x0, RawOutputLaneD, "raw output mode") \
    X(215, 0x180,  0,  0, 0x0, StreamEnable, "stream enable") \
    X(216, 0x181,  0,  0, 0x0) \
    X(217, 0x182,  0, 21, 0x186A0, PhasePeriod, "frame period count") \
    X(218, 0x183,  0,  3, 0x4, ModulationPhaseCount, "read by modulation frequency") \
    X(219, 0x183,  4,  7, 0x4, MicroFrameCount, "micro-frame number; read by frame rate") \
    X(220, 0x1D6,  0, 21, 0x1)
// clang-format on

// Field names as field indices.
namespace Field {
#define YORIND_FIELD_NAME(index, address, lsb, msb, reset, ...) \
    __VA_OPT__(YORIND_FIELD_ENUMERATOR(index, __VA_ARGS__))
#define YORIND_FIELD_ENUMERATOR(index, name, use) name = index,
enum : std::uint32_t { YORIND_FIELDS(YORIND_FIELD_NAME) };
#undef YORIND_FIELD_ENUMERATOR
#undef YORIND_FIELD_NAME
}  // namespace Field

struct FieldRow {
    std::uint16_t index;
    std::uint16_t address;
    std::uint8_t lsb;
    std::uint8_t msb;
    std::uint32_t reset;
    std::string_view name;  // empty for a field nothing here programs
    std::string_view use;   // what reads or writes it; empty with the name
};

// An unnamed row gets two empty texts, a named one its name spelled out and its use.
#define YORIND_FIELD_ROW(index, address, lsb, msb, reset, ...) \
    FieldRow{                                                  \
        index, address,                                        \
        lsb,   msb,                                            \
        reset, YORIND_APPLY(YORIND_FIRST_TWO, (__VA_OPT__(YORIND_NAMED(__VA_ARGS__), ) "", ""))},
#define YORIND_APPLY(macro, arguments) macro arguments
#define YORIND_FIRST_TWO(first, second, ...) first, second
#define YORIND_NAMED(name, use) #name, use
inline constexpr FieldRow kFields[] = {YORIND_FIELDS(YORIND_FIELD_ROW)};
#undef YORIND_NAMED
#undef YORIND_FIRST_TWO
#undef YORIND_APPLY
#undef YORIND_FIELD_ROW
#undef YORIND_FIELDS

inline constexpr std::size_t kFieldCount = std::size(kFields);

// Bits 0 .. msb-lsb set.
constexpr std::uint32_t fieldMask(const FieldRow& row) {
    return row.msb - row.lsb + 1 >= 32 ? ~0u : (1u << (row.msb - row.lsb + 1)) - 1;
}

// A row out of place or a field that does not fit its register stops the build, so nothing at
// run time has to distrust the table.
consteval bool fieldsAreWellFormed() {
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        const FieldRow& row = kFields[i];
        if (row.index != i || row.lsb > row.msb || row.msb >= kRegisterBits ||
            row.address >= kSensorRegisterCount || row.reset > fieldMask(row) ||
            (row.name.empty() != row.use.empty())) {
            return false;
        }
    }
    return true;
}
static_assert(fieldsAreWellFormed(), "fields: index order, lsb <= msb < 24, reset fits");

// No two fields of one register share a bit, so the reset image below is what each field resets
// to.
consteval bool fieldsAreDisjoint() {
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        for (std::size_t j = i + 1; j < kFieldCount; ++j) {
            const FieldRow& a = kFields[i];
            const FieldRow& b = kFields[j];
            if (a.address == b.address && a.lsb <= b.msb && b.lsb <= a.msb) {
                return false;
            }
        }
    }
    return true;
}
static_assert(fieldsAreDisjoint(), "fields: two fields of one register overlap");

// The sensor's registers at power-on, by address.
constexpr std::array<std::uint32_t, kSensorRegisterCount> buildResetImage() {
    std::array<std::uint32_t, kSensorRegisterCount> image{};
    for (const FieldRow& row : kFields) {
        image[row.address] |= row.reset << row.lsb;
    }
    return image;
}
inline constexpr std::array<std::uint32_t, kSensorRegisterCount> kResetImage = buildResetImage();

// ---- System state ------------------------------------------------------------------------

// When a step of writing a system state is taken.
enum class StateGate {
    Always,
    LeftDriverQualifies,         // a left illumination driver of kLeftIlluminationDrivers
    RightDriverQualifies,        // a right illumination driver of kRightIlluminationDrivers
    PassedOverWhenDealiasingOff  // tried, but its failure stops nothing while dealiasing is off
};

struct StateWrite {
    std::uint32_t id;
    StateGate gate;
};

// The parameters a written system state sets, in the order they are written: each conversion
// finds the fields it depends on already written (the frame rate needs the micro-frame number
// and raw output mode, the integration time needs the frame rate).
inline constexpr StateWrite kStateWriteOrder[] = {
    {VEXAR_PARAM_MICRO_FRAME_NUMBER, StateGate::Always},
    {VEXAR_PARAM_ILLUMINATION_MODE, StateGate::Always},
    {VEXAR_PARAM_MIXING_SIGNALS_MODE, StateGate::Always},
    {VEXAR_PARAM_RAW_OUTPUT_MODE, StateGate::Always},
    {VEXAR_PARAM_MIXING_VOLTAGE, StateGate::Always},
    {VEXAR_PARAM_LEFT_ILLUMINATION_VOLTAGE, StateGate::LeftDriverQualifies},
    {VEXAR_PARAM_RIGHT_ILLUMINATION_VOLTAGE, StateGate::RightDriverQualifies},
    {VEXAR_PARAM_REGION_OF_INTEREST, StateGate::Always},
    {VEXAR_PARAM_FRAME_RATE, StateGate::Always},
    {VEXAR_PARAM_MODULATION_FREQUENCY, StateGate::Always},
    {VEXAR_PARAM_DEALIASING_FREQUENCY, StateGate::PassedOverWhenDealiasingOff},
    {VEXAR_PARAM_DEALIASING_ON, StateGate::Always},
    {VEXAR_PARAM_INTEGRATION_TIME, StateGate::Always},
};

struct StateRead {
    std::uint32_t id;
    bool readBack;  // false: a voltage, which cannot be read and is reported as kReportedVoltage
};

// The parameters a read system state holds, in the order they are read.
inline constexpr StateRead kStateReadOrder[] = {
    {VEXAR_PARAM_NATIVE_FRAME_FORMAT, true},
    {VEXAR_PARAM_MICRO_FRAME_NUMBER, true},
    {VEXAR_PARAM_ILLUMINATION_MODE, true},
    {VEXAR_PARAM_MIXING_SIGNALS_MODE, true},
    {VEXAR_PARAM_RAW_OUTPUT_MODE, true},
    {VEXAR_PARAM_LEFT_ILLUMINATION_VOLTAGE, false},
    {VEXAR_PARAM_RIGHT_ILLUMINATION_VOLTAGE, false},
    {VEXAR_PARAM_MIXING_VOLTAGE, false},
    {VEXAR_PARAM_REGION_OF_INTEREST, true},
    {VEXAR_PARAM_MODULATION_FREQUENCY, true},
    {VEXAR_PARAM_INTEGRATION_TIME, true},
    {VEXAR_PARAM_FRAME_RATE, true},
    {VEXAR_PARAM_DEALIASING_FREQUENCY, true},
    {VEXAR_PARAM_DEALIASING_ON, true},
};
inline constexpr float kReportedVoltage = 50.0f;

}  // namespace yorind
