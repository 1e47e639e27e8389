#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Truncate.h"

// How the numbers of the calibration record sit in the sensor's calibration fields. All
// conversions are single precision.
namespace Lumivor::YorinD::Calibration {

// Compensation kind that readCalibration reports for a sensor with compensation enabled, and
// the state word it gives every entry of the record it returns.
inline constexpr std::uint32_t kCompensationKindEnabled = 3;
inline constexpr std::uint32_t kNoCompensation = 0;
inline constexpr std::uint32_t kEntryState = 2;

// The record names two reference temperatures and two coefficients.
inline constexpr std::size_t kReferenceTemperatureCount = 2;
inline constexpr std::size_t kCoefficientCount = 2;

// Phase offsets keep 12 bits, in steps of 8.
inline constexpr unsigned kPhaseOffsetDropBits = 3;
inline constexpr std::uint32_t kPhaseOffsetFieldMask = 0xFFF;
inline constexpr std::uint32_t kPhaseOffsetSignBit = 0x800;
// Coefficients are 17-bit two's complement numbers of half units.
inline constexpr std::uint32_t kCoefficientFieldMask = 0x1FFFF;
inline constexpr std::uint32_t kCoefficientSignBit = 0x10000;

// Offsets outside the 15-bit span a field can carry have their top bit flipped first, which
// folds them into -16384 ... 16383.
constexpr std::uint32_t encodePhaseOffset(std::int16_t offset) {
    std::int32_t v = offset;
    if (v < -16384 || v >= 16384) {
        v = static_cast<std::int16_t>(static_cast<std::uint16_t>(v + 32768));
    }
    return static_cast<std::uint32_t>(v >> kPhaseOffsetDropBits) & kPhaseOffsetFieldMask;
}

constexpr std::int16_t decodePhaseOffset(std::uint32_t field) {
    const std::uint32_t bits = field & kPhaseOffsetFieldMask;
    const std::int32_t value = (bits & kPhaseOffsetSignBit) != 0
                                   ? static_cast<std::int32_t>(bits) - 0x1000
                                   : static_cast<std::int32_t>(bits);
    return static_cast<std::int16_t>(value * (1 << kPhaseOffsetDropBits));
}

// Rounded half away from zero to half units.
constexpr std::uint32_t encodeCoefficient(float coefficient) {
    float y = 2.0f * coefficient;
    y = y >= 0.0f ? y + 0.5f : y + -0.5f;
    return truncateLow32(y) & kCoefficientFieldMask;
}

constexpr float decodeCoefficient(std::uint32_t field) {
    const std::uint32_t bits = field & kCoefficientFieldMask;
    const std::int32_t value = (bits & kCoefficientSignBit) != 0
                                   ? static_cast<std::int32_t>(bits) - 0x20000
                                   : static_cast<std::int32_t>(bits);
    return static_cast<float>(value) * 0.5f;
}

// Whole degrees, toward zero.
constexpr std::uint32_t encodeTemperature(float degrees) {
    return truncateLow32(degrees);
}

constexpr float decodeTemperature(std::uint32_t field) {
    return static_cast<float>(field);
}

}  // namespace Lumivor::YorinD::Calibration
