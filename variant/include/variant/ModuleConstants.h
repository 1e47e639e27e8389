#pragma once

#include <cstdint>

#include "yorind/ModuleDescription.h"

namespace Lumivor::YorinD {

using yorind::phaseCount;

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
