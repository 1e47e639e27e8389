#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vexar/files.hpp"

namespace vexar::detail {

// Bytes and text are the same octets: files are read and written as bytes, parsed as text.
std::string asText(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> asBytes(const std::string& text);

}  // namespace vexar::detail
