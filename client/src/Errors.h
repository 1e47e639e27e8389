#pragma once

#include <string>

#include "vexar/error.hpp"

namespace Lumivor::Ctl {

inline vexar::Error badInput(const std::string& message) {
    return vexar::Error(vexar::ErrorKind::BadInput, message);
}

}  // namespace Lumivor::Ctl
