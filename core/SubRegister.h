#pragma once

#include <cstdint>

namespace Lumivor {

// One bit-field of one 24-bit sensor register.
struct SubRegister {
    std::uint32_t address;  // below 0x100: bank at device 0x5C; from 0x100: bank at 0x58
    std::uint32_t mask;     // the field's largest value, right-aligned
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

constexpr SubRegister makeSubRegister(std::uint32_t address, std::uint8_t lsb, std::uint8_t msb,
                                      std::uint32_t defaultValue) {
    return SubRegister{address, fieldMask(lsb, msb), lsb, msb, defaultValue};
}

// Where a register lives on the module's bus.
struct BusLocation {
    std::uint16_t device;
    std::uint8_t reg;
};

inline constexpr std::uint16_t kLowBankDevice = 0x5C;
inline constexpr std::uint16_t kHighBankDevice = 0x58;
inline constexpr std::uint32_t kRegisterBytes = 3;

constexpr BusLocation busLocationOf(std::uint32_t address) {
    if (address < 0x100) {
        return BusLocation{kLowBankDevice, static_cast<std::uint8_t>(address)};
    }
    return BusLocation{kHighBankDevice, static_cast<std::uint8_t>(address & 0xFF)};
}

}  // namespace Lumivor
