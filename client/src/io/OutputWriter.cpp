#include "io/OutputWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "io/Failure.h"

namespace vexar::detail::io {

namespace fs = std::filesystem;

namespace {
// ".NAME." + up to 10 digits of a pid + "." + mkstemp's six characters.
constexpr std::size_t kTemporaryOverhead = 1 + 1 + 10 + 1 + 6;
constexpr std::size_t kNameRoom = NAME_MAX - kTemporaryOverhead;

Failure cannotWrite(const fs::path& path, const std::string& doing, int error) {
    return badInputFailure("cannot " + doing + " " + path.string() + ": " + std::strerror(error));
}

// Crash tests set VEXAR_CTL_KILL_AT_STEP=N to have the writer kill itself, as kill -9 would,
// at the N-th step of a replacement; the data then goes out in small pieces so that there are
// many steps to stop at.
class CrashPoint {
  public:
    CrashPoint() {
        const char* setting = std::getenv("VEXAR_CTL_KILL_AT_STEP");
        killAt_ = setting != nullptr ? std::strtol(setting, nullptr, 10) : 0;
    }
    bool armed() const { return killAt_ > 0; }
    void step() {
        if (armed() && ++steps_ == killAt_) {
            std::raise(SIGKILL);
        }
    }

  private:
    long killAt_ = 0;
    long steps_ = 0;
};

void writeAll(int fd, std::string_view bytes, CrashPoint& crash, const fs::path& path) {
    const std::size_t piece = crash.armed() ? 8 : bytes.size();
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), std::min(piece, bytes.size()));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw cannotWrite(path, "write", errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        crash.step();
    }
}

mode_t modeForNewFile(const fs::path& path) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        return existing.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

fs::path folderOf(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

void syncFolder(const fs::path& path) {
    const int fd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw cannotWrite(path, "sync the folder of", errno);
    }
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0) {
        throw cannotWrite(path, "sync the folder of", error);
    }
}

// Devices and FIFOs are written as they are; they have nothing to replace or sync.
void writeThrough(const fs::path& path, std::string_view bytes, bool fifo) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (fifo && errno == ENXIO) {
            throw badInputFailure("cannot write " + path.string() +
                                  ": a FIFO that no process reads");
        }
        throw cannotWrite(path, "write", errno);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    CrashPoint never;
    try {
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
            throw cannotWrite(path, "write", errno);
        }
        writeAll(fd, bytes, never, path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) {
        throw cannotWrite(path, "write", errno);
    }
}

// Through a symbolic link, the file it points to is what the user means to replace, and its
// temporaries live beside it.
fs::path linkTarget(const fs::path& path) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return path;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return path;
    }
    fs::path target(resolved);
    std::free(resolved);
    return target;
}

bool processGone(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

bool temporarySuffix(std::string_view rest, pid_t& pid) {
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos || dot == 0 || rest.size() - dot - 1 != 6) {
        return false;
    }
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + dot, pid);
    if (error != std::errc() || end != rest.data() + dot) {
        return false;
    }
    for (const char c : rest.substr(dot + 1)) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}
}  // namespace

std::string temporaryPrefix(const fs::path& target) {
    const std::string name = target.filename().string();
    std::string prefix = ".";
    prefix.append(name, 0, std::min(name.size(), kNameRoom)).append(".");
    return prefix;
}

std::size_t removeStaleTemporaries(const fs::path& given) {
    const fs::path target = linkTarget(given);
    const fs::path folder = folderOf(target);
    const std::string prefix = temporaryPrefix(target);
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return 0;
    }
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        pid_t pid = 0;
        if (name.starts_with(prefix) && temporarySuffix(name.substr(prefix.size()), pid) &&
            pid != ::getpid() && processGone(pid) &&
            ::unlinkat(::dirfd(listing), entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(listing);
    return removed;
}

void replaceRegularFile(const fs::path& given, std::string_view bytes) {
    CrashPoint crash;
    const fs::path path = linkTarget(given);
    removeStaleTemporaries(path);
    std::string temporary =
        (folderOf(path) / (temporaryPrefix(path) + std::to_string(::getpid()) + ".XXXXXX"))
            .string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        // The file itself may be there and writable: what failed is the new file beside it
        // that replaces it whole.
        throw badInputFailure("cannot write " + given.string() + ": its folder " +
                              folderOf(path).string() + " takes no new file (" +
                              std::strerror(errno) +
                              "), and the file is only ever replaced "
                              "whole, never written over in place");
    }
    crash.step();
    try {
        if (::fchmod(fd, modeForNewFile(path)) != 0) {
            throw cannotWrite(given, "write", errno);
        }
        writeAll(fd, bytes, crash, given);
        if (::fsync(fd) != 0) {
            throw cannotWrite(given, "sync", errno);
        }
        crash.step();
        const int closed = ::close(fd);
        if (closed != 0) {
            throw cannotWrite(given, "write", errno);
        }
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            throw cannotWrite(given, "replace", errno);
        }
    } catch (const Failure&) {
        ::close(fd);  // harmless EBADF when it was closed already
        ::unlink(temporary.c_str());
        throw;
    }
    crash.step();
    syncFolder(path);
    crash.step();
}

void writeOutput(const fs::path& path, std::string_view bytes) {
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0) {
        if (errno != ENOENT) {
            throw cannotWrite(path, "write", errno);
        }
        replaceRegularFile(path, bytes);  // a new file; a missing folder fails there
        return;
    }
    struct stat target = named;
    if (S_ISLNK(named.st_mode) && ::stat(path.c_str(), &target) != 0) {
        const int error = errno;
        throw badInputFailure("cannot write " + path.string() + ": " + std::strerror(error) +
                              (error == ENOENT ? " (a symbolic link to nothing)" : ""));
    }
    if (S_ISREG(target.st_mode)) {
        replaceRegularFile(path, bytes);
    } else if (S_ISCHR(target.st_mode) || S_ISFIFO(target.st_mode)) {
        writeThrough(path, bytes, S_ISFIFO(target.st_mode));
    } else if (S_ISDIR(target.st_mode)) {
        throw cannotWrite(path, "write", EISDIR);
    } else {
        throw badInputFailure("cannot write " + path.string() +
                              ": not a regular file, character device or FIFO, so it is left "
                              "as it is");
    }
}

}  // namespace vexar::detail::io
