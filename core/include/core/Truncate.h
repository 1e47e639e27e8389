#pragma once

#include <cstdint>

namespace Lumivor {

// Float-to-integer conversion toward zero, as the x86-64 conversion instructions do it: a value
// that is NaN, infinite or outside the target range gives the "integer indefinite" pattern
// (the most negative number) instead of undefined behaviour.

// To a signed 64-bit integer.
constexpr std::int64_t truncateToInt64(double value) {
    // 2^63 is exactly representable; anything at or beyond it, or NaN, is out of range.
    constexpr double kLimit = 9223372036854775808.0;
    if (value != value || value >= kLimit || value < -kLimit) {
        return INT64_MIN;
    }
    return static_cast<std::int64_t>(value);
}

// The conversion the parameter code calls "truncate": through 64 bits, keeping the low 32.
// Infinity, NaN and values beyond 64 bits therefore give 0.
constexpr std::uint32_t truncateLow32(float value) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(truncateToInt64(value)));
}

// The 32-bit conversion: out-of-range, infinite and NaN values give 0x80000000.
constexpr std::int32_t truncateToInt32(float value) {
    const double v = value;
    if (v != v || v >= 2147483648.0 || v <= -2147483649.0) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(v);
}

}  // namespace Lumivor
