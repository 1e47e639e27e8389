#pragma once

#include <cstdint>

namespace Lumivor::Bench {

// Clock periods an I2C transaction occupies on the wire. START, repeated START and STOP each
// count as one clock period; every byte is 8 data bits and the acknowledge bit, 9 clocks.
// Clock stretching, the bus-free time between transactions and the host driver's own latency
// are not counted: the figures are the least time the bus can take.
namespace I2c {
inline constexpr std::uint32_t kCondition = 1;  // START, repeated START or STOP
inline constexpr std::uint32_t kByte = 9;       // 8 bits and the acknowledge

// START, device address + W, register number, data bytes, STOP.
constexpr std::uint32_t writeClocks(std::uint32_t dataBytes) {
    return kCondition + kByte + kByte + kByte * dataBytes + kCondition;
}

// START, device address + W, register number, repeated START, device address + R, data
// bytes (the last one not acknowledged, which still takes its clock), STOP.
constexpr std::uint32_t readClocks(std::uint32_t dataBytes) {
    return kCondition + kByte + kByte + kCondition + kByte + kByte * dataBytes + kCondition;
}

// Nanoseconds that a number of clock periods takes at a bus frequency in hertz.
constexpr double nanoseconds(std::uint64_t clocks, double hertz) {
    return static_cast<double>(clocks) * 1e9 / hertz;
}

inline constexpr double kFastMode = 400e3;    // 400 kHz
inline constexpr double kFastModePlus = 1e6;  // 1 MHz
}  // namespace I2c

}  // namespace Lumivor::Bench
