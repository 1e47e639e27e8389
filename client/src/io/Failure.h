#pragma once

#include <string>

#include "vexar/error.hpp"

namespace vexar::detail::io {

// The reading, writing, parsing and locking units fail with the library's own error, so that
// nothing has to translate between them.
using Failure = vexar::Error;
using FailureKind = vexar::ErrorKind;

inline Failure badInputFailure(const std::string& message) {
    return Failure(FailureKind::BadInput, message);
}

}  // namespace vexar::detail::io
