#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "vexar/export.hpp"

namespace vexar {

// What went wrong, in the classes a caller tells apart. The numbers are vexar-ctl's exit
// statuses.
enum class ErrorKind {
    Refused = 1,      // the plug-in refused an operation
    BadInput = 2,     // a name, value or file that cannot be used, or output that cannot be written
    LoadFailure = 3,  // the plug-in cannot be loaded
    BusFailure = 4,   // the bus failed or could not be had, other than by a plug-in refusal
};

// Every failure of the library. The message is complete and meant for people.
class VEXAR_CLIENT_API Error : public std::runtime_error {
  public:
    struct Details {
        std::optional<std::int32_t> code;       // the plug-in's result code
        std::string lastError;                  // the plug-in's last-error text
        std::string allowed;                    // what the range allows: "min=0 max=60 step=0.01"
        std::optional<int> busErrno;            // the positive errno of a failed transaction
        std::string subject;                    // what failed: "IntegrationTime = -1", "state load"
    };

    Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    // The message is "<subject>: <reason>", or the reason alone without a subject.
    Error(ErrorKind kind, const std::string& reason, Details details)
        : std::runtime_error(details.subject.empty() ? reason : details.subject + ": " + reason),
          kind_(kind),
          details_(std::move(details)),
          reason_(reason) {}

    ErrorKind kind() const { return kind_; }
    const std::optional<std::int32_t>& code() const { return details_.code; }
    const std::string& lastError() const { return details_.lastError; }
    const std::string& allowed() const { return details_.allowed; }
    const std::optional<int>& busErrno() const { return details_.busErrno; }
    const std::string& subject() const { return details_.subject; }
    // The message without its subject, for a caller that names the subject its own way.
    std::string reason() const { return reason_.empty() ? what() : reason_; }
    // The name of the plug-in's code: "OutOfRange"; "HostError" for a code the plug-in passed
    // through from the bus; empty without a code.
    std::string codeName() const;

  private:
    ErrorKind kind_;
    Details details_;
    std::string reason_;
};

// "OutOfRange (-5)", "HostError (-121)".
VEXAR_CLIENT_API std::string describeCode(std::int32_t code);

}  // namespace vexar
