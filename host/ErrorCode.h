#pragma once

#include <cstdint>

namespace Lumivor {

// Signed result of every operation that can fail. Codes other than these come from the host's
// register callbacks and travel through unchanged, so this stays a plain integer.
using ErrorCode = std::int32_t;

namespace Error {
inline constexpr ErrorCode Success = 0;
inline constexpr ErrorCode NotSupported = -3;
inline constexpr ErrorCode InvalidArgument = -4;
inline constexpr ErrorCode OutOfRange = -5;
inline constexpr ErrorCode BufferTooSmall = -6;
}  // namespace Error

}  // namespace Lumivor
