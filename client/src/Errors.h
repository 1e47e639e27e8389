#pragma once

#include <string>
#include <utility>

#include "vexar/error.hpp"

namespace vexar::detail {

inline vexar::Error badInput(const std::string& message) {
    return vexar::Error(vexar::ErrorKind::BadInput, message);
}

// Details naming what failed, so that the message reads "<subject>: <reason>".
inline vexar::Error::Details about(std::string subject) {
    vexar::Error::Details details;
    details.subject = std::move(subject);
    return details;
}

}  // namespace vexar::detail
