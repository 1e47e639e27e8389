#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace Lumivor::Ctl {

// Whole files in and out, for state and calibration; "-" is the given standard stream.
// Failures are CommandError(BadInput) naming the file.
std::vector<std::uint8_t> readFile(const std::filesystem::path& base, const std::string& name,
                                   std::istream& standardInput);
void writeFile(const std::filesystem::path& base, const std::string& name,
               const std::vector<std::uint8_t>& bytes, std::ostream& standardOutput);

std::string asText(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> asBytes(const std::string& text);

// The JSON forms begin with '{'; binary state and calibration never do (a state begins with
// an identifier below 16, a calibration with its magic).
bool looksLikeJson(const std::vector<std::uint8_t>& bytes);

}  // namespace Lumivor::Ctl
