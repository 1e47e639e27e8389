#pragma once

#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>

#include "io/Failure.h"

namespace Lumivor::Bus {

// The lock was not had in time: another process holds the adapter.
class AdapterBusy : public Io::Failure {
  public:
    AdapterBusy(const std::string& message, std::optional<pid_t> holder)
        : Io::Failure(Io::FailureKind::BusFailure, message, busy()), holder_(holder) {}
    std::optional<pid_t> holder() const { return holder_; }

  private:
    // EBUSY tells a caller that waiting longer may help.
    static vexar::Error::Details busy() {
        vexar::Error::Details details;
        details.busErrno = EBUSY;
        return details;
    }
    std::optional<pid_t> holder_;
};

// The default wait for an adapter another process holds: far longer than any one command
// takes on a real bus, short enough that a hung holder is reported rather than waited out.
inline constexpr std::chrono::milliseconds kDefaultLockTimeout{10'000};

// An exclusive flock on an adapter's open device node, from construction to destruction; it
// holds a descriptor of its own, so that it may outlive the caller's. A
// parameter write is several read-modify-writes of shared registers; processes that take
// this lock around a whole operation cannot interleave theirs. It keeps out only processes
// that take it too: other programs on the bus (i2cset, a kernel driver) are not held back.
class AdapterLock {
  public:
    // Waits up to timeout (zero: not at all); AdapterBusy naming the holding process, as
    // /proc/locks tells it, when the wait runs out; Io::Failure(BusFailure) when the node
    // cannot be locked at all.
    AdapterLock(int fd, const std::string& shown, std::chrono::milliseconds timeout);
    AdapterLock(const AdapterLock&) = delete;
    AdapterLock& operator=(const AdapterLock&) = delete;
    ~AdapterLock();

  private:
    int fd_;
};

// The process that holds a flock on the open file fd, from /proc/locks; nothing when there is
// none or it cannot be told (another pid namespace).
std::optional<pid_t> flockHolder(int fd);

}  // namespace Lumivor::Bus
