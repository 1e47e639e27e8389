#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "vexar/export.hpp"

// Whole files in and out, as the front ends read and write states, profiles and calibration
// records: never more than the kind can hold, never replacing what is not a regular file.
namespace vexar {

enum class FileKind { State, Calibration, ModuleIdentity };

// NAME relative to base, "-" for the standard stream given. Regular files, pipes, FIFOs and
// character devices are read under the kind's size limit; folders, sockets and block devices
// are refused. Error(BadInput) "cannot read NAME: reason".
VEXAR_CLIENT_API std::vector<std::uint8_t> readFile(const std::filesystem::path& base,
                                                    const std::string& name,
                                                    std::istream& standardInput, FileKind kind);
// A regular file (or a link to one) is replaced atomically, a character device or FIFO written
// through, anything else refused untouched. Error(BadInput) "cannot write NAME: reason".
VEXAR_CLIENT_API void writeFile(const std::filesystem::path& base, const std::string& name,
                                const std::vector<std::uint8_t>& bytes,
                                std::ostream& standardOutput);
// The JSON forms begin with '{' after any white space or byte-order mark; binary states and
// calibration records never do.
VEXAR_CLIENT_API bool looksLikeJson(const std::vector<std::uint8_t>& bytes);

}  // namespace vexar
