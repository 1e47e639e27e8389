#include "tools/ctl/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <ostream>

#include "tools/ctl/Errors.h"

namespace Lumivor::Ctl {

namespace fs = std::filesystem;

namespace {
CommandError fileError(const fs::path& path, const std::string& doing, int error) {
    return badInput("cannot " + doing + " " + path.string() + ": " + std::strerror(error));
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
            throw fileError(path, "write", errno);
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

void syncFolder(const fs::path& folder, const fs::path& path) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw fileError(path, "sync the folder of", errno);
    }
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0) {
        throw fileError(path, "sync the folder of", error);
    }
}

fs::path resolve(const fs::path& base, const std::string& name) {
    return base.empty() ? fs::path(name) : base / name;
}
}  // namespace

std::string readRegularFile(const fs::path& path) {
    // Non-blocking, so that a named pipe given by mistake is refused rather than waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw fileError(path, "read", errno);
    }
    struct stat info {};
    std::string text;
    int error = 0;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    }
    char buffer[4096];
    while (error == 0) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    ::close(fd);
    if (error == EINVAL) {
        throw badInput("cannot read " + path.string() + ": not a regular file");
    }
    if (error != 0) {
        throw fileError(path, "read", error);
    }
    return text;
}

void replaceFile(const fs::path& given, std::string_view bytes) {
    CrashPoint crash;
    // Through a symbolic link, the file it points to is what the user means to replace.
    const fs::path path = fs::is_symlink(given) ? fs::canonical(given) : given;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    // Built by appending: GCC 12 at -O3 sees a false overlap in the chained operator+.
    std::string name = ".";
    name.append(path.filename().string()).append(".XXXXXX");
    std::string temporary = (folder / name).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        throw fileError(path, "write", errno);
    }
    crash.step();
    try {
        if (::fchmod(fd, modeForNewFile(path)) != 0) {
            throw fileError(path, "write", errno);
        }
        writeAll(fd, bytes, crash, path);
        if (::fsync(fd) != 0) {
            throw fileError(path, "sync", errno);
        }
        crash.step();
        const int closed = ::close(fd);
        if (closed != 0) {
            throw fileError(path, "write", errno);
        }
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            throw fileError(path, "replace", errno);
        }
    } catch (const CommandError&) {
        ::close(fd);  // harmless EBADF when it was closed already
        ::unlink(temporary.c_str());
        throw;
    }
    crash.step();
    syncFolder(folder, path);
    crash.step();
}

LockedFile::LockedFile(fs::path path) : path_(std::move(path)) {
    for (;;) {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0 && errno == ENOENT) {
            fd_ = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
        }
        if (fd_ < 0) {
            throw fileError(path_, "open", errno);
        }
        int locked = 0;
        do {
            locked = ::flock(fd_, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            const int error = errno;
            ::close(fd_);
            fd_ = -1;
            throw fileError(path_, "lock", error);
        }
        // Another run may have renamed a new file over the name while this one waited: then
        // the lock is on a file nobody reads any more, and the name must be locked anew.
        struct stat held {
        }, named{};
        if (::fstat(fd_, &held) == 0 && ::stat(path_.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            break;
        }
        ::close(fd_);
        fd_ = -1;
    }
    try {
        text_ = readRegularFile(path_);
    } catch (const CommandError&) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
}

LockedFile::~LockedFile() {
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock
    }
}

std::vector<std::uint8_t> readFile(const fs::path& base, const std::string& name,
                                   std::istream& standardInput) {
    if (name == "-") {
        std::string text(std::istreambuf_iterator<char>(standardInput), {});
        if (standardInput.bad()) {
            throw badInput("cannot read standard input");
        }
        return asBytes(text);
    }
    return asBytes(readRegularFile(resolve(base, name)));
}

void writeFile(const fs::path& base, const std::string& name,
               const std::vector<std::uint8_t>& bytes, std::ostream& standardOutput) {
    if (name == "-") {
        errno = 0;
        standardOutput << asText(bytes);
        standardOutput.flush();
        if (!standardOutput) {
            throw badInput(std::string("cannot write standard output") +
                           (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
        }
        return;
    }
    replaceFile(resolve(base, name), asText(bytes));
}

std::string asText(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> asBytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

bool looksLikeJson(const std::vector<std::uint8_t>& bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

}  // namespace Lumivor::Ctl
