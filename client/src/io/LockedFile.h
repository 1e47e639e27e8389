#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "io/FileLock.h"

namespace vexar::detail::io {

// A regular file held under an exclusive flock from construction to destruction, so that runs
// sharing it take turns; its contents are read under the lock (as a register image, by size).
// A missing file is not created: its folder is locked instead until the file is written, so
// that a run that fails leaves nothing behind. Every run checks after locking that what it
// holds is still what the name points to, so replace() keeps the name covered.
// Taking the lock removes the file's stale temporaries. Failure(BadInput) when the file
// cannot be opened, locked or read, or is not a regular file; LockBusy when another process
// holds it longer than the wait allows. A name that is a symbolic link to nothing is refused
// (BadInput): replacing it would put a regular file where the link was.
class LockedFile {
  public:
    LockedFile(std::filesystem::path path, const LockWait& wait);
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    ~LockedFile();

    bool existed() const { return existed_; }
    const std::string& text() const { return text_; }
    const std::filesystem::path& path() const { return path_; }
    // Swaps in new contents atomically (replaceRegularFile).
    void replace(std::string_view bytes) const;

  private:
    std::filesystem::path path_;
    int fd_ = -1;
    bool existed_ = false;
    std::string text_;
};

}  // namespace vexar::detail::io
