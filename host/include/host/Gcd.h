#pragma once

#include "host/Export.h"

namespace Lumivor::Utils {

// Greatest common divisor by absolute values: gcd(a, 0) = |a|, gcd(0, 0) = 0.
LUMIVOR_API int gcd(int a, int b);

}  // namespace Lumivor::Utils
