#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "vexar/export.hpp"

namespace vexar {

// What went wrong, in the classes a caller tells apart. Every front end names a kind as
// kindInfo() does and maps it to its own status through that one table; the numbers of the
// enumerators are not statuses.
enum class ErrorKind {
    Refused = 1,      // the plug-in refused an operation
    BadInput = 2,     // a name, value or file that cannot be used, or output that cannot be written
    LoadFailure = 3,  // the plug-in cannot be loaded
    BusFailure = 4,   // the bus failed or could not be opened, other than by a plug-in refusal
    Busy = 5,         // another process held the adapter or the image past the lock timeout
    Unsupported = 6,  // what this backend cannot do: reset, or reading back, on a real module
    Internal = 7,     // a fault nobody foresaw, of the library or of a front end
    Disconnected = 8,  // the adapter went away (its node removed, its transfers ENODEV);
                       // Camera::reconnect opens it again once it is back
};

// One row of the table every front end maps kinds with.
struct ErrorKindInfo {
    ErrorKind kind;
    std::string_view name;         // "BusFailure": the JSON "kind" of the panel and of vexar-ctl
    int exitStatus;                // vexar-ctl's exit status
    int httpStatus;                // the panel's HTTP status
    std::string_view pythonClass;  // "BusError": the class the Python package raises
};

// Every kind, in the order of the enumeration.
VEXAR_CLIENT_API std::span<const ErrorKindInfo> errorKinds();

// The exit statuses that are no kind's failure, beside the kinds' own, so that each status means
// one thing to scripts in every command (vexar-ctl, vexar-station).
namespace ExitStatus {
inline constexpr int Success = 0;
// Not a failure: what state diff --exit-code ends with when the two differ (as diff's 1, which
// is taken by refusals).
inline constexpr int Differs = 5;
// A module that worked but did not pass a station's checks: the unit failed, not the station.
inline constexpr int UnitFailed = 6;
}  // namespace ExitStatus
VEXAR_CLIENT_API const ErrorKindInfo& kindInfo(ErrorKind kind);

// Every failure of the library. The message is complete and meant for people.
class VEXAR_CLIENT_API Error : public std::runtime_error {
  public:
    struct Details {
        std::optional<std::int32_t> code;       // the plug-in's result code
        std::string lastError;                  // the plug-in's last-error text
        std::string allowed;                    // what the range allows: "min=0 max=60 step=0.01"
        std::optional<int> busErrno;            // the positive errno of a failed transaction
                                                // or of an adapter that cannot be opened;
                                                // EBUSY for Busy
        std::string subject;                    // what failed: "FrameRate = 70", "state load"
    };

    Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    // The message is "<subject>: <reason>", or the reason alone without a subject.
    Error(ErrorKind kind, const std::string& reason, Details details)
        : std::runtime_error(details.subject.empty() ? reason : details.subject + ": " + reason),
          kind_(kind),
          details_(std::move(details)),
          reason_(reason) {}

    ErrorKind kind() const { return kind_; }
    // kindInfo(kind()).name: "Refused".
    std::string_view kindName() const { return kindInfo(kind_).name; }
    const Details& details() const { return details_; }
    const std::optional<std::int32_t>& code() const { return details_.code; }
    const std::string& lastError() const { return details_.lastError; }
    const std::string& allowed() const { return details_.allowed; }
    const std::optional<int>& busErrno() const { return details_.busErrno; }
    const std::string& subject() const { return details_.subject; }
    // The message without its subject, for a caller that names the subject its own way.
    std::string reason() const { return reason_.empty() ? what() : reason_; }
    // The name of the plug-in's code: "OutOfRange"; "HostError" for a code the plug-in does not
    // name; empty without a code, as for a bus failure, whose code the plug-in only passed on.
    std::string codeName() const;

  private:
    ErrorKind kind_;
    Details details_;
    std::string reason_;
};

// "OutOfRange (-5)", "HostError (-121)".
VEXAR_CLIENT_API std::string describeCode(std::int32_t code);

}  // namespace vexar
