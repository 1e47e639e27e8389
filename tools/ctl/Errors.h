#pragma once

#include <stdexcept>
#include <string>

namespace Lumivor::Ctl {

// Exit statuses; command-line syntax errors exit with CLI11's own codes (100 and up).
namespace Exit {
inline constexpr int Success = 0;
inline constexpr int Refused = 1;   // the plug-in refused an operation
inline constexpr int BadInput = 2;  // an unknown parameter, a malformed value or file
inline constexpr int NoPlugin = 3;  // the plug-in could not be loaded
inline constexpr int BusFailure = 4;
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
