#pragma once

#include <stdexcept>
#include <string>

#include "vexar/error.hpp"

namespace vexar::ctl {

// Exit statuses: each means one thing, so that scripts can tell them apart. 1 to 4 are the
// client library's error kinds.
namespace Exit {
inline constexpr int Success = 0;
inline constexpr int Refused = static_cast<int>(vexar::ErrorKind::Refused);
inline constexpr int BadInput = static_cast<int>(vexar::ErrorKind::BadInput);
inline constexpr int NoPlugin = static_cast<int>(vexar::ErrorKind::LoadFailure);
inline constexpr int BusFailure = static_cast<int>(vexar::ErrorKind::BusFailure);
inline constexpr int Internal = 70;  // a fault of the tool itself
}  // namespace Exit

// Ends a command: main prints "vexar-ctl: <message>" and exits with the status.
class CommandError : public std::runtime_error {
  public:
    CommandError(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    // The library's error, as the tool reports it.
    explicit CommandError(const vexar::Error& error)
        : CommandError(static_cast<int>(error.kind()), error.what()) {}
    // The same, with the command's own words for what failed.
    CommandError(const std::string& what, const vexar::Error& error)
        : CommandError(static_cast<int>(error.kind()), what + ": " + error.reason()) {}
    int status() const { return status_; }

  private:
    int status_;
};

}  // namespace vexar::ctl
