#include "io/LockedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/Failure.h"
#include "io/FileLock.h"
#include "io/InputReader.h"
#include "io/OutputWriter.h"

namespace vexar::detail::io {

namespace fs = std::filesystem;

namespace {
Failure cannot(const std::string& doing, const fs::path& path, int error) {
    return badInputFailure("cannot " + doing + " " + path.string() + ": " + std::strerror(error));
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
}  // namespace

LockedFile::LockedFile(fs::path path, const LockWait& wait) : path_(std::move(path)) {
    const auto deadline = std::chrono::steady_clock::now() + wait.timeout;
    const fs::path folder = path_.has_parent_path() ? path_.parent_path() : fs::path(".");
    for (;;) {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        existed_ = fd_ >= 0;
        if (fd_ < 0 && errno == ENOENT) {
            struct stat link {};
            if (::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
                std::error_code ignored;
                throw badInputFailure("cannot use " + path_.string() +
                                      " as a register image: it is a symbolic link to " +
                                      fs::read_symlink(path_, ignored).string() +
                                      ", which does not exist");
            }
            fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        if (fd_ < 0) {
            throw cannot("open", path_, errno);
        }
        struct stat held {};
        if (::fstat(fd_, &held) != 0) {
            const int error = errno;
            ::close(fd_);
            fd_ = -1;
            throw cannot("open", path_, error);
        }
        if (existed_ && !S_ISREG(held.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            if (S_ISDIR(held.st_mode)) {
                throw cannot("open", path_, EISDIR);
            }
            throw badInputFailure("cannot use " + path_.string() +
                                  " as a register image: not a regular file");
        }
        // A retry after the name moved (each write replaces the file) waits only for what is
        // left of the time.
        int error = 0;
        try {
            error = lockExclusive(fd_, path_.string(), deadline, wait);
        } catch (...) {
            ::close(fd_);
            fd_ = -1;
            throw;
        }
        if (error != 0) {
            ::close(fd_);
            fd_ = -1;
            throw cannot("lock", path_, error);
        }
        // Another run may have renamed a new file over the name, or created it, while this
        // one waited: then the lock covers what nobody reads any more, and must be taken anew.
        struct stat named {};
        const bool present = ::stat(path_.c_str(), &named) == 0;
        if (existed_ ? present && sameFile(held, named) : !present) {
            break;
        }
        ::close(fd_);
        fd_ = -1;
    }
    try {
        removeStaleTemporaries(path_);
        if (existed_) {
            text_ = readDescriptor(fd_, path_.string(), kRegisterImageInput);
        }
    } catch (const Failure&) {
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

void LockedFile::replace(std::string_view bytes) const {
    replaceRegularFile(path_, bytes);
}

}  // namespace vexar::detail::io
