#pragma once

#include <cstdint>

namespace Lumivor {

// Where a register answers on the module's bus.
struct BusLocation {
    std::uint16_t device;
    std::uint8_t reg;
};

// Sensor registers move as three bytes, least significant first.
inline constexpr std::uint32_t kRegisterBytes = 3;
inline constexpr std::uint32_t kRegisterMask = (1u << (8 * kRegisterBytes)) - 1;

// One bit-field of one 24-bit sensor register, with the bus location of its register resolved
// when the module's table is built, so that an access does no address arithmetic.
struct SubRegister {
    std::uint32_t address;  // the sensor's own register number, as its documentation gives it
    BusLocation at;
    std::uint32_t mask;  // the field's largest value, right-aligned
    std::uint8_t lsb;
    std::uint8_t msb;
    std::uint32_t defaultValue;  // reset value of the field; no operation reads it
};

// Bits 0 .. msb-lsb set, grown one bit at a time so that msb < lsb leaves an empty mask.
constexpr std::uint32_t fieldMask(std::uint8_t lsb, std::uint8_t msb) {
    std::uint32_t mask = 0;
    for (int bit = 0; bit <= static_cast<int>(msb) - static_cast<int>(lsb); ++bit) {
        mask |= 1u << bit;
    }
    return mask;
}

}  // namespace Lumivor
