#include "host/Gcd.h"

#include <cstdint>

namespace Lumivor::Utils {

int gcd(int a, int b) {
    // Work in 64 bits so that |INT_MIN| is representable; the result only exceeds int for
    // gcd(INT_MIN, 0) or gcd(INT_MIN, INT_MIN), where it wraps to INT_MIN as the 32-bit
    // machine arithmetic would.
    std::int64_t x = a < 0 ? -static_cast<std::int64_t>(a) : a;
    std::int64_t y = b < 0 ? -static_cast<std::int64_t>(b) : b;
    while (y != 0) {
        const std::int64_t r = x % y;
        x = y;
        y = r;
    }
    return static_cast<int>(static_cast<std::uint32_t>(x));
}

}  // namespace Lumivor::Utils
