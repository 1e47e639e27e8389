#pragma once

#include <array>
#include <cstdint>

#include "core/SubRegister.h"

namespace Lumivor::YorinD {

// One row per field of the sensor: index, register address, lsb, msb, reset value.
struct SubRegisterRow {
    std::uint16_t index;
    std::uint16_t address;
    std::uint8_t lsb;
    std::uint8_t msb;
    std::uint32_t defaultValue;
};

inline constexpr std::size_t kSubRegisterCount = 221;

// Fields named by the parameter code, calibration and phase scaling. Rows without a comment are
// programmed by nobody here but belong to the sensor all the same.
inline constexpr std::array<SubRegisterRow, kSubRegisterCount> kSubRegisterRows{{
    {  0, 0x031,  9, 13, 0xC},
    {  1, 0x08A,  0, 11, 0x0},
    {  2, 0x000,  0,  0, 0x0},
    {  3, 0x102,  2,  2, 0x0},  // written 1 then 0 after a modulation-frequency or dealiasing-frequency write
    {  4, 0x029,  3,  3, 0x0},
    {  5, 0x002,  5,  8, 0x4},  // dealiasing-frequency write; read by phase scaling
    {  6, 0x027, 11, 14, 0x4},
    {  7, 0x040,  2,  2, 0x1},
    {  8, 0x001,  0,  4, 0x2},
    {  9, 0x01C,  8, 10, 0x3},
    { 10, 0x001,  5,  7, 0x0},
    { 11, 0x031,  1,  3, 0x1},
    { 12, 0x001,  8,  8, 0x1},
    { 13, 0x01C, 16, 18, 0x5},
    { 14, 0x002, 17, 20, 0x8},
    { 15, 0x002,  0,  3, 0x1},  // dealiasing-frequency write
    { 16, 0x08F,  0, 11, 0x0},
    { 17, 0x002, 10, 13, 0x3},  // dealiasing-frequency write; read by phase scaling
    { 18, 0x002, 22, 22, 0x0},  // read by phase scaling
    { 19, 0x01D,  0,  2, 0x1},
    { 20, 0x002, 23, 23, 0x0},  // dealiasing on/off; read by frame rate, dealiasing frequency and phase scaling
    { 21, 0x010,  0, 15, 0x0},
    { 22, 0x003, 11, 14, 0x0},  // read by phase scaling
    { 23, 0x01A,  0, 15, 0xC000},
    { 24, 0x004,  0, 15, 0x0},
    { 25, 0x024,  0,  4, 0x3},
    { 26, 0x035, 21, 21, 0x0},
    { 27, 0x005,  0, 15, 0x7FFF},
    { 28, 0x018,  0, 15, 0xC000},
    { 29, 0x006,  0, 15, 0x0},
    { 30, 0x030, 12, 12, 0x0},
    { 31, 0x095, 12, 23, 0x0},
    { 32, 0x007,  0, 15, 0x8001},
    { 33, 0x008,  0, 15, 0x0},
    { 34, 0x085,  0, 11, 0x0},
    { 35, 0x009,  0, 15, 0x0},
    { 36, 0x00A,  0, 15, 0x7FFF},
    { 37, 0x00B,  0, 15, 0x0},
    { 38, 0x01B, 17, 19, 0x0},
    { 39, 0x00C,  0, 15, 0x8001},
    { 40, 0x00D,  0, 15, 0x0},
    { 41, 0x01D, 16, 18, 0x5},
    { 42, 0x00E,  0, 15, 0x0},
    { 43, 0x00F,  0, 15, 0x0},
    { 44, 0x09B, 12, 23, 0x0},
    { 45, 0x011,  0, 15, 0x6ED9},
    { 46, 0x038,  4, 15, 0x0},  // calibration
    { 47, 0x02F, 14, 23, 0xF0},
    { 48, 0x01D,  4,  6, 0x2},
    { 49, 0x012,  0, 15, 0x9127},
    { 50, 0x01D, 12, 14, 0x4},
    { 51, 0x013,  0, 15, 0x0},
    { 52, 0x181, 12, 12, 0x0},
    { 53, 0x014,  0, 15, 0x6ED9},
    { 54, 0x02E,  0,  6, 0x71},
    { 55, 0x015,  0, 15, 0x9127},
    { 56, 0x031,  0,  0, 0x0},
    { 57, 0x019,  0, 15, 0x7FFF},
    { 58, 0x016,  0, 15, 0x7FFF},
    { 59, 0x017,  0, 15, 0xC000},
    { 60, 0x01B,  0, 15, 0xC000},
    { 61, 0x063, 20, 20, 0x0},
    { 62, 0x082, 12, 23, 0x0},
    { 63, 0x01C,  0,  2, 0x1},
    { 64, 0x01C,  4,  6, 0x2},
    { 65, 0x02F, 12, 12, 0x0},
    { 66, 0x02F,  0,  9, 0x1},
    { 67, 0x051, 19, 19, 0x0},
    { 68, 0x01C, 12, 14, 0x4},
    { 69, 0x030,  0,  9, 0x1},
    { 70, 0x01C, 20, 22, 0x0},
    { 71, 0x121,  0,  7, 0x9F},  // region of interest: last column pair
    { 72, 0x025,  8, 11, 0x0},  // read by frame rate (15 doubles the frame period); raw output mode
    { 73, 0x01D,  8, 10, 0x3},
    { 74, 0x01F, 20, 22, 0x0},
    { 75, 0x025, 18, 19, 0x2},
    { 76, 0x028, 23, 23, 0x0},
    { 77, 0x030, 14, 23, 0x140},
    { 78, 0x031,  4,  8, 0x0},
    { 79, 0x033,  0,  5, 0x30},  // read by frame rate, modulation frequency and dealiasing frequency
    { 80, 0x035, 22, 22, 0x0},
    { 81, 0x035, 23, 23, 0x1},
    { 82, 0x036,  0, 11, 0x0},
    { 83, 0x036, 12, 23, 0x0},
    { 84, 0x037,  4, 15, 0x0},  // calibration
    { 85, 0x039,  1,  2, 0x0},
    { 86, 0x039,  5,  5, 0x0},
    { 87, 0x039,  8,  9, 0x0},
    { 88, 0x039, 10, 10, 0x0},
    { 89, 0x039, 12, 12, 0x0},
    { 90, 0x10C,  0, 15, 0x0},
    { 91, 0x03C,  0,  0, 0x0},
    { 92, 0x03C,  1,  1, 0x0},
    { 93, 0x090,  0, 11, 0x0},
    { 94, 0x03C,  2,  2, 0x0},
    { 95, 0x03C,  3,  3, 0x0},
    { 96, 0x04C, 22, 22, 0x0},  // written 0 after each frame-rate write
    { 97, 0x03C,  4, 23, 0x400},
    { 98, 0x03D,  0,  3, 0x0},
    { 99, 0x03D,  4, 23, 0x0},
    {100, 0x03E,  4, 23, 0x8},
    {101, 0x03F,  0,  0, 0x1},
    {102, 0x03F,  1,  1, 0x1},
    {103, 0x03F,  4, 23, 0x0},
    {104, 0x040,  6,  6, 0x1},
    {105, 0x040,  8,  8, 0x0},
    {106, 0x081,  0, 11, 0x0},
    {107, 0x040, 10, 10, 0x1},
    {108, 0x040, 14, 14, 0x0},
    {109, 0x040, 18, 18, 0x1},
    {110, 0x040, 20, 20, 0x0},
    {111, 0x047,  0, 16, 0x0},  // calibration
    {112, 0x048,  0, 16, 0x0},  // calibration
    {113, 0x049,  0, 16, 0x0},  // calibration
    {114, 0x092, 12, 23, 0x0},
    {115, 0x10D, 16, 21, 0x0},  // dealiasing frequency
    {116, 0x04A,  0, 16, 0x0},  // calibration
    {117, 0x108,  1,  1, 0x0},  // raw output mode
    {118, 0x04C,  0,  5, 0x14},  // integration time
    {119, 0x04C, 19, 19, 0x0},
    {120, 0x09E, 12, 23, 0x0},
    {121, 0x04C, 20, 20, 0x0},
    {122, 0x04C, 21, 21, 0x0},
    {123, 0x097,  0, 11, 0x0},
    {124, 0x04C, 23, 23, 0x1},
    {125, 0x051,  0,  7, 0x0},  // calibration
    {126, 0x051,  8, 15, 0x0},  // calibration
    {127, 0x10F, 19, 19, 0x0},  // mixing signals mode
    {128, 0x051, 16, 16, 0x0},  // calibration (written 0)
    {129, 0x051, 17, 17, 0x0},  // calibration
    {130, 0x052, 17, 20, 0x4},
    {131, 0x061,  0,  7, 0x0},
    {132, 0x062,  0,  7, 0x0},
    {133, 0x063,  1,  1, 0x0},
    {134, 0x063,  2,  2, 0x0},
    {135, 0x08E,  0, 11, 0x0},
    {136, 0x063,  3,  3, 0x0},
    {137, 0x063,  4,  4, 0x0},
    {138, 0x063, 21, 21, 0x0},
    {139, 0x08B,  0, 11, 0x0},
    {140, 0x063, 22, 22, 0x0},
    {141, 0x063, 23, 23, 0x0},
    {142, 0x080,  0,  0, 0x0},
    {143, 0x080,  1,  5, 0x0},
    {144, 0x09E,  0, 11, 0x0},
    {145, 0x10C, 16, 21, 0x0},  // modulation frequency
    {146, 0x081, 12, 23, 0x0},
    {147, 0x082,  0, 11, 0x0},
    {148, 0x083,  0, 11, 0x0},
    {149, 0x083, 12, 23, 0x0},
    {150, 0x084,  0, 11, 0x0},
    {151, 0x084, 12, 23, 0x0},
    {152, 0x085, 12, 23, 0x0},
    {153, 0x086,  0, 11, 0x0},
    {154, 0x086, 12, 23, 0x0},
    {155, 0x087,  0, 11, 0x0},
    {156, 0x087, 12, 23, 0x0},
    {157, 0x088,  0, 11, 0x0},
    {158, 0x088, 12, 23, 0x0},
    {159, 0x089,  0, 11, 0x0},
    {160, 0x089, 12, 23, 0x0},
    {161, 0x08A, 12, 23, 0x0},
    {162, 0x08B, 12, 23, 0x0},
    {163, 0x08C,  0, 11, 0x0},
    {164, 0x08C, 12, 23, 0x0},
    {165, 0x08D,  0, 11, 0x0},
    {166, 0x08D, 12, 23, 0x0},
    {167, 0x08E, 12, 23, 0x0},
    {168, 0x08F, 12, 23, 0x0},
    {169, 0x090, 12, 23, 0x0},
    {170, 0x091,  0, 11, 0x0},
    {171, 0x091, 12, 23, 0x0},
    {172, 0x092,  0, 11, 0x0},
    {173, 0x093,  0, 11, 0x0},
    {174, 0x093, 12, 23, 0x0},
    {175, 0x094,  0, 11, 0x0},
    {176, 0x094, 12, 23, 0x0},
    {177, 0x095,  0, 11, 0x0},
    {178, 0x096,  0, 11, 0x0},
    {179, 0x096, 12, 23, 0x0},
    {180, 0x097, 12, 23, 0x0},
    {181, 0x098,  0, 11, 0x0},
    {182, 0x098, 12, 23, 0x0},
    {183, 0x099,  0, 11, 0x0},
    {184, 0x10F, 18, 18, 0x0},  // mixing signals mode and illumination mode (shared bit)
    {185, 0x099, 12, 23, 0x0},
    {186, 0x09A,  0, 11, 0x0},
    {187, 0x09A, 12, 23, 0x0},
    {188, 0x09B,  0, 11, 0x0},
    {189, 0x09C,  0, 11, 0x0},
    {190, 0x09C, 12, 23, 0x0},
    {191, 0x09D,  0, 11, 0x0},
    {192, 0x09D, 12, 23, 0x0},
    {193, 0x09F,  0, 11, 0x0},
    {194, 0x09F, 12, 23, 0x0},
    {195, 0x0A0,  0, 11, 0x0},
    {196, 0x0A0, 12, 23, 0x0},
    {197, 0x108,  0,  0, 0x0},  // raw output mode
    {198, 0x108,  2,  2, 0x0},  // raw output mode (written 1)
    {199, 0x10D,  0, 15, 0x0},
    {200, 0x10F,  0,  1, 0x0},  // modulation frequency
    {201, 0x10F,  2,  3, 0x0},  // dealiasing frequency
    {202, 0x10F,  4,  6, 0x0},  // modulation frequency
    {203, 0x10F,  7,  9, 0x0},  // dealiasing frequency
    {204, 0x10F, 20, 20, 0x0},  // illumination mode (written 0)
    {205, 0x112,  7,  7, 0x0},
    {206, 0x11C,  0,  6, 0x0},
    {207, 0x11F,  0,  7, 0x0},  // region of interest: first row
    {208, 0x11F, 16, 23, 0xEF},  // region of interest: last row
    {209, 0x120,  0,  7, 0x0},  // region of interest: first column pair
    {210, 0x122, 16, 16, 0x0},
    {211, 0x128, 17, 17, 0x0},  // raw output mode
    {212, 0x128, 18, 18, 0x0},  // raw output mode
    {213, 0x128, 19, 19, 0x0},  // raw output mode
    {214, 0x128, 20, 20, 0x0},  // raw output mode
    {215, 0x180,  0,  0, 0x0},  // stream enable
    {216, 0x181,  0,  0, 0x0},
    {217, 0x182,  0, 21, 0x186A0},  // frame period count
    {218, 0x183,  0,  3, 0x4},  // read by modulation frequency
    {219, 0x183,  4,  7, 0x4},  // micro-frame number; read by frame rate
    {220, 0x1D6,  0, 21, 0x1},
}};

constexpr std::array<SubRegister, kSubRegisterCount> buildSubRegisters() {
    std::array<SubRegister, kSubRegisterCount> fields{};
    for (const SubRegisterRow& row : kSubRegisterRows) {
        fields[row.index] = makeSubRegister(row.address, row.lsb, row.msb, row.defaultValue);
    }
    return fields;
}

// The fields by index, masks computed once at compile time.
inline constexpr std::array<SubRegister, kSubRegisterCount> kSubRegisters = buildSubRegisters();

}  // namespace Lumivor::YorinD
