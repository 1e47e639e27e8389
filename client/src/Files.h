#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "io/InputReader.h"

namespace vexar::detail {

// Whole files in and out, for state and calibration, named on the command line relative to
// base; "-" is the given standard stream. Reading goes through io::readInput under the kind's
// limit, writing through io::writeOutput; their failures are io::Failure, an empty name or a
// failed standard stream Error(BadInput).
std::vector<std::uint8_t> readFile(const std::filesystem::path& base, const std::string& name,
                                   std::istream& standardInput, const io::InputKind& kind);
void writeFile(const std::filesystem::path& base, const std::string& name,
               const std::vector<std::uint8_t>& bytes, std::ostream& standardOutput);

std::string asText(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> asBytes(const std::string& text);

// The JSON forms begin with '{' after any white space or byte-order mark; binary state and
// calibration never do (a state begins with an identifier below 16, a calibration with its
// magic).
bool looksLikeJson(const std::vector<std::uint8_t>& bytes);

}  // namespace vexar::detail
