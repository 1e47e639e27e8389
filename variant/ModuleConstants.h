#pragma once

#include <cstdint>

namespace Lumivor::YorinD {

// A micro-frame takes six phases with dealiasing on (two frequencies) and four without.
inline constexpr std::uint32_t kPhasesWithDealiasing = 6;
inline constexpr std::uint32_t kPhasesWithoutDealiasing = 4;

constexpr std::uint32_t phaseCount(bool dealiasing) {
    return dealiasing ? kPhasesWithDealiasing : kPhasesWithoutDealiasing;
}

// Frequencies travel in megahertz and the sensor's clock is counted in them; the arithmetic
// that needs hertz scales by this, in single precision.
inline constexpr float kHertzPerMegahertz = 1000000.0f;

// The mixing signals modes: off, or shared with the selected or the unselected signal. Only
// "off" goes with illumination mode 0, the other two with illumination mode 1.
namespace MixingMode {
inline constexpr int Off = 0;
inline constexpr int Selected = 2;
inline constexpr int Unselected = 3;
}  // namespace MixingMode

}  // namespace Lumivor::YorinD
