#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace Lumivor::Ctl {

// Every failure here is CommandError(BadInput) naming the file and the system's reason.

// The whole of a regular file. A directory, a device or a file that cannot be read is an
// error, never an empty file.
std::string readRegularFile(const std::filesystem::path& path);

// Replaces path with bytes so that a crash at any moment leaves either the old or the new
// file whole: a temporary file in the same folder is written, synced and renamed over path,
// then the folder is synced. An existing file keeps its permission bits.
void replaceFile(const std::filesystem::path& path, std::string_view bytes);

// A file held under an exclusive flock from construction to destruction, so that runs sharing
// it take turns. A missing file is created empty. replace() swaps in new contents atomically;
// the lock keeps covering the name, since every run checks after locking that the file it
// holds is still the one the name points to.
class LockedFile {
  public:
    explicit LockedFile(std::filesystem::path path);
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    ~LockedFile();

    const std::string& text() const { return text_; }
    const std::filesystem::path& path() const { return path_; }
    void replace(std::string_view bytes) const { replaceFile(path_, bytes); }

  private:
    std::filesystem::path path_;
    int fd_ = -1;
    std::string text_;
};

// Whole files in and out, for state and calibration; "-" is the given standard stream.
std::vector<std::uint8_t> readFile(const std::filesystem::path& base, const std::string& name,
                                   std::istream& standardInput);
void writeFile(const std::filesystem::path& base, const std::string& name,
               const std::vector<std::uint8_t>& bytes, std::ostream& standardOutput);

std::string asText(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> asBytes(const std::string& text);

// The JSON forms begin with '{' after any white space or byte-order mark; binary state and
// calibration never do (a state begins with an identifier below 16, a calibration with its
// magic).
bool looksLikeJson(const std::vector<std::uint8_t>& bytes);

}  // namespace Lumivor::Ctl
