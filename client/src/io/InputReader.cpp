#include "io/InputReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <istream>

#include "io/Failure.h"

namespace vexar::detail::io {

namespace {
Failure cannotRead(const std::string& shown, const std::string& reason) {
    return badInputFailure("cannot read " + shown + ": " + reason);
}

Failure tooLarge(const std::string& shown, const InputKind& kind) {
    return cannotRead(shown, "larger than " + std::to_string(kind.limit >> 10) +
                                 " KiB, far more than any " + kind.what);
}

// Why a file of this type is not read; empty when it is.
std::string refusedType(mode_t mode) {
    if (S_ISDIR(mode)) {
        return std::strerror(EISDIR);
    }
    if (S_ISSOCK(mode)) {
        return "a socket, not a file";
    }
    if (S_ISBLK(mode)) {
        return "a block device, not a file";
    }
    if (!S_ISREG(mode) && !S_ISFIFO(mode) && !S_ISCHR(mode)) {
        return "not a file, pipe or character device";
    }
    return {};
}

std::string pathReason(const std::filesystem::path& path, int error) {
    std::string reason = std::strerror(error);
    struct stat link {};
    if (error == ENOENT && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        reason += " (a symbolic link to nothing)";
    }
    return reason;
}
}  // namespace

std::string readInput(const std::filesystem::path& path, const InputKind& kind) {
    const std::string shown = path.string();
    // The type is checked before opening: opening a FIFO or a device can have effects of its
    // own, and a socket cannot be opened at all.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw cannotRead(shown, pathReason(path, errno));
    }
    if (const std::string refused = refusedType(info.st_mode); !refused.empty()) {
        throw cannotRead(shown, refused);
    }
    // A FIFO is read as cat reads it: from the moment its writer opens it (a non-blocking open
    // would see the end at once) until the writer closes it. A device is opened non-blocking,
    // so that one that waits for a carrier does not hold the open.
    const int blocking = S_ISFIFO(info.st_mode) ? 0 : O_NONBLOCK;
    const int fd = ::open(path.c_str(), O_RDONLY | blocking | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        throw cannotRead(shown, pathReason(path, errno));
    }
    try {
        std::string bytes = readDescriptor(fd, shown, kind);
        ::close(fd);
        return bytes;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

std::string readDescriptor(int fd, const std::string& shown, const InputKind& kind) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        throw cannotRead(shown, std::strerror(errno));
    }
    if (const std::string refused = refusedType(info.st_mode); !refused.empty()) {
        throw cannotRead(shown, refused);
    }
    if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) > kind.limit) {
        throw tooLarge(shown, kind);
    }
    if (!S_ISREG(info.st_mode)) {
        // Data from a pipe or device comes when it comes: wait for it.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
            throw cannotRead(shown, std::strerror(errno));
        }
    }
    std::string bytes;
    std::array<char, 16384> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got == 0) {
            return bytes;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw cannotRead(shown, std::strerror(errno));
        }
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
        if (bytes.size() > kind.limit) {
            throw tooLarge(shown, kind);
        }
    }
}

std::string readStream(std::istream& in, const std::string& shown, const InputKind& kind) {
    std::string bytes;
    std::array<char, 16384> buffer{};
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        bytes.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kind.limit) {
            throw tooLarge(shown, kind);
        }
    }
    if (in.bad()) {
        throw cannotRead(shown, "the stream failed");
    }
    return bytes;
}

}  // namespace vexar::detail::io
