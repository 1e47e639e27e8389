#include "bus/AdapterLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/FileLock.h"

namespace vexar::detail::bus {

namespace {
io::Failure cannotLock(const std::string& shown, int error) {
    vexar::Error::Details details;
    details.busErrno = error;
    return io::Failure(io::FailureKind::BusFailure,
                       "cannot lock " + shown + ": " + std::strerror(error), details);
}
}  // namespace

AdapterLock::AdapterLock(int fd, const std::string& shown, const io::LockWait& wait)
    : fd_(::fcntl(fd, F_DUPFD_CLOEXEC, 0)) {
    if (fd_ < 0) {
        throw cannotLock(shown, errno);
    }
    int error = 0;
    try {
        error =
            io::lockExclusive(fd_, shown, std::chrono::steady_clock::now() + wait.timeout, wait);
    } catch (...) {
        ::close(fd_);
        throw;
    }
    if (error != 0) {
        ::close(fd_);
        throw cannotLock(shown, error);
    }
}

AdapterLock::~AdapterLock() {
    // The lock belongs to the open file, which the caller's descriptor keeps open too.
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

}  // namespace vexar::detail::bus
