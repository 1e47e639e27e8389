#include "io/FileLock.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace vexar::detail::io {

namespace {
std::string processName(pid_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

std::string seconds(std::chrono::milliseconds wait) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(wait.count()) / 1000.0);
    return text;
}
}  // namespace

std::optional<pid_t> flockHolder(int fd) {
    struct stat held {};
    if (::fstat(fd, &held) != 0) {
        return std::nullopt;
    }
    // "1: FLOCK  ADVISORY  WRITE 4242 00:1a:1234 0 EOF"; waiters' lines carry "->" after the
    // number and hold nothing.
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:%lu", major(held.st_dev), minor(held.st_dev),
                  static_cast<unsigned long>(held.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, file;
        pid_t pid = 0;
        fields >> number >> kind;
        if (kind == "->") {
            continue;
        }
        fields >> mode >> access >> pid >> file;
        if (kind == "FLOCK" && file == device && pid > 0) {
            return pid;
        }
    }
    return std::nullopt;
}

int lockExclusive(int fd, const std::string& shown, std::chrono::steady_clock::time_point deadline,
                  const LockWait& wait) {
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return 0;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return errno;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            break;
        }
        // Short pauses first, so that turns between quick commands stay quick.
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
        if (wait.stop()) {
            throw LockBusy(shown + " is in use by another process; the wait for it was interrupted",
                           flockHolder(fd));
        }
    }
    std::string holder = "another process";
    const auto pid = flockHolder(fd);
    if (pid) {
        const std::string name = processName(*pid);
        holder = "process " + std::to_string(*pid) + (name.empty() ? "" : " (" + name + ")");
    }
    throw LockBusy(
        shown + " is in use by " + holder + "; gave up after waiting " + seconds(wait.timeout),
        pid);
}

}  // namespace vexar::detail::io
