#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace vexar::detail::io {

// Writes bytes to path as cp would, never replacing what is not a regular file:
// - a regular file, or a symbolic link to one, is replaced atomically (replaceRegularFile);
//   a missing file is created the same way;
// - a character device or FIFO is written through (/dev/null, /dev/stdout, a FIFO that a
//   process reads; one that nobody reads is refused rather than waited on);
// - anything else (a folder, a socket, a block device, a dangling or looping link) is refused
//   and left untouched.
// Every failure is Failure(BadInput) naming the path and the system's reason.
void writeOutput(const std::filesystem::path& path, std::string_view bytes);

// Replaces a regular file so that a crash at any moment leaves either the old or the new file
// whole: a temporary file in the same folder is written, synced and renamed over path, then
// the folder is synced. An existing file keeps its permission bits. Temporaries this process
// left behind are removed first (removeStaleTemporaries).
void replaceRegularFile(const std::filesystem::path& path, std::string_view bytes);

// The temporaries of a replacement are named ".NAME.PID.XXXXXX" beside the target, NAME cut
// so that the whole fits in NAME_MAX for any valid target name. This removes those of target
// whose process is gone (killed while writing) and returns how many.
std::size_t removeStaleTemporaries(const std::filesystem::path& target);

// ".NAME." as the temporaries of target begin.
std::string temporaryPrefix(const std::filesystem::path& target);

}  // namespace vexar::detail::io
