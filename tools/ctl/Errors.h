#pragma once

#include <stdexcept>
#include <string>

namespace Lumivor::Ctl {

// Exit statuses: each means one thing, so that scripts can tell them apart.
namespace Exit {
inline constexpr int Success = 0;
inline constexpr int Refused = 1;     // the plug-in refused an operation
inline constexpr int BadInput = 2;    // usage, a parameter, a value, a file read or written
inline constexpr int NoPlugin = 3;    // the plug-in could not be loaded
inline constexpr int BusFailure = 4;  // the bus failed other than by a plug-in refusal
inline constexpr int Internal = 70;   // a fault of the tool itself
}  // namespace Exit

// Ends a command: main prints "vexar-ctl: <message>" and exits with the status.
class CommandError : public std::runtime_error {
  public:
    CommandError(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

  private:
    int status_;
};

inline CommandError badInput(const std::string& message) {
    return CommandError(Exit::BadInput, message);
}

}  // namespace Lumivor::Ctl
