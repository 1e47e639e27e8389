#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "sim/SimulatedModule.h"

namespace vexar::detail {

// The simulated module's registers as kept in an --image file between runs. One entry a line:
//   0xADDR 0xVALUE        a 24-bit sensor register, 0x000-0x1ff, that differs from power-on
//   byte 0xDEV 0xVALUE    the byte last written to a one-byte device
// Blank lines and lines beginning with '#' are ignored; numbers are hexadecimal, "0x" optional.
struct RegisterImage {
    std::map<std::uint32_t, std::uint32_t> registers;
    std::map<std::uint16_t, std::uint8_t> bytes;
};

// Error(BadInput) "<shown> line N: reason" for anything else: an address or device the
// module does not have, a value wider than its register, a second entry for the same address,
// anything trailing.
RegisterImage parseImage(std::string_view text, const std::string& shown);
// The module at power-on plus the image; the bytes go over the module's own bus callback, as
// nothing else can latch them.
void applyImage(Lumivor::Sim::SimulatedModule& module, const RegisterImage& image);
std::string imageText(const Lumivor::Sim::SimulatedModule& module);

}  // namespace vexar::detail
