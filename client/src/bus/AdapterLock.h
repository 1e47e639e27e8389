#pragma once

#include <chrono>
#include <string>

#include "io/FileLock.h"

namespace vexar::detail::bus {

// An exclusive flock on an adapter's open device node, from construction to destruction; it
// holds a descriptor of its own, so that it may outlive the caller's. A
// parameter write is several read-modify-writes of shared registers; processes that take
// this lock around a whole operation cannot interleave theirs. It keeps out only processes
// that take it too: other programs on the bus (i2cset, a kernel driver) are not held back.
class AdapterLock {
  public:
    // Waits up to timeout (zero: not at all); io::LockBusy naming the holding process when
    // the wait runs out; io::Failure(BusFailure) when the node cannot be locked at all.
    AdapterLock(int fd, const std::string& shown, const io::LockWait& wait);
    AdapterLock(const AdapterLock&) = delete;
    AdapterLock& operator=(const AdapterLock&) = delete;
    ~AdapterLock();

  private:
    int fd_;
};

}  // namespace vexar::detail::bus
