#pragma once

#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "io/Failure.h"

namespace vexar::detail::io {

// The lock was not had in time: another process holds the adapter or the image.
class LockBusy : public Failure {
  public:
    LockBusy(const std::string& message, std::optional<pid_t> holder)
        : Failure(FailureKind::Busy, message, busy()), holder_(holder) {}
    std::optional<pid_t> holder() const { return holder_; }

  private:
    // EBUSY, as the errno a caller that knows only bus failures looks at.
    static vexar::Error::Details busy() {
        vexar::Error::Details details;
        details.busErrno = EBUSY;
        return details;
    }
    std::optional<pid_t> holder_;
};

// How long a lock may be waited for, and who may end the wait early (a Python caller's Ctrl-C):
// interrupted is asked between polls, at least every 50 ms, and true gives up at once.
struct LockWait {
    std::chrono::milliseconds timeout{};
    std::function<bool()> interrupted;
    bool stop() const { return interrupted && interrupted(); }
};

// Takes an exclusive flock on fd, waiting until deadline (one already past: not at all). The
// wait polls rather than blocks, so that it ends when its time is up whatever the holder does.
// 0 once locked, the errno of a flock that cannot succeed at all; LockBusy naming shown, the
// holding process, as /proc/locks tells it, and the whole wait the caller allowed, when the
// wait runs out or is interrupted.
int lockExclusive(int fd, const std::string& shown, std::chrono::steady_clock::time_point deadline,
                  const LockWait& wait);

// The process that holds a flock on the open file fd, from /proc/locks; nothing when there is
// none or it cannot be told (another pid namespace).
std::optional<pid_t> flockHolder(int fd);

}  // namespace vexar::detail::io
