#pragma once

#include <string>

#include "vexar/error.hpp"

namespace vexar::ctl {

// Commands fail with the library's error: main reports "vexar-ctl: <message>" (or the error as
// JSON) and exits with the status the library's table gives its kind, so that each status
// means one thing to scripts.
namespace Exit {
inline constexpr int Success = vexar::ExitStatus::Success;
inline constexpr int Differs = vexar::ExitStatus::Differs;
}  // namespace Exit

inline int exitStatus(vexar::ErrorKind kind) {
    return vexar::kindInfo(kind).exitStatus;
}

inline vexar::Error badInput(const std::string& message) {
    return vexar::Error(vexar::ErrorKind::BadInput, message);
}

// The library's error with the command's own words for what failed.
inline vexar::Error retold(const std::string& what, const vexar::Error& error) {
    vexar::Error::Details details = error.details();
    details.subject = what;
    return vexar::Error(error.kind(), error.reason(), std::move(details));
}

// The library's error, its whole message between the words given.
inline vexar::Error reworded(const vexar::Error& error, const std::string& before,
                             const std::string& after = {}) {
    vexar::Error::Details details = error.details();
    details.subject.clear();
    return vexar::Error(error.kind(), before + error.what() + after, std::move(details));
}

}  // namespace vexar::ctl
