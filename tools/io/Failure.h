#pragma once

#include <stdexcept>
#include <string>

namespace Lumivor::Io {

// What went wrong, in the classes a caller tells apart; a command-line front end maps each
// to an exit status of its own (exitStatus gives the tool's).
enum class FailureKind {
    Refused,      // the plug-in refused an operation
    BadInput,     // a file or value that cannot be used, or output that cannot be written
    LoadFailure,  // the plug-in cannot be loaded
    BusFailure,   // the bus failed or could not be had, other than by a plug-in refusal
};

constexpr int exitStatus(FailureKind kind) {
    switch (kind) {
        case FailureKind::Refused:
            return 1;
        case FailureKind::BadInput:
            return 2;
        case FailureKind::LoadFailure:
            return 3;
        case FailureKind::BusFailure:
            return 4;
    }
    return 70;
}

// The error of the reading, writing, parsing and locking units; the message is complete and
// meant for people ("cannot read s.bin: Is a directory").
class Failure : public std::runtime_error {
  public:
    Failure(FailureKind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    FailureKind kind() const { return kind_; }

  private:
    FailureKind kind_;
};

inline Failure badInputFailure(const std::string& message) {
    return Failure(FailureKind::BadInput, message);
}

}  // namespace Lumivor::Io
