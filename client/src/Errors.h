#pragma once

#include <string>

#include "vexar/error.hpp"

namespace vexar::detail {

inline vexar::Error badInput(const std::string& message) {
    return vexar::Error(vexar::ErrorKind::BadInput, message);
}

}  // namespace vexar::detail
