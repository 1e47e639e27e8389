#pragma once

#include <cstdint>

#include "vexar_param_interp.h"

namespace Lumivor {

// Signed result of every operation that can fail. Codes other than these come from the host's
// register callbacks and travel through unchanged, so this stays a plain integer.
using ErrorCode = std::int32_t;

namespace Error {
inline constexpr ErrorCode Success = VEXAR_SUCCESS;
inline constexpr ErrorCode NotSupported = VEXAR_NOT_SUPPORTED;
inline constexpr ErrorCode InvalidArgument = VEXAR_INVALID_ARGUMENT;
inline constexpr ErrorCode OutOfRange = VEXAR_OUT_OF_RANGE;
inline constexpr ErrorCode BufferTooSmall = VEXAR_BUFFER_TOO_SMALL;
}  // namespace Error

}  // namespace Lumivor
