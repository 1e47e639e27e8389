#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace vexar::detail::io {

using Json = nlohmann::ordered_json;

// Far deeper than any file of ours (three levels at most), shallow enough that nothing which
// walks a parsed value recursively can run out of stack.
inline constexpr std::size_t kJsonDepth = 32;

// One JSON value and nothing after it. Refused, as Failure(BadInput) that gives the line and
// column and quotes at most a short, printable excerpt:
//   "<shown> is not JSON: line 3, column 1: syntax error ... near '30,\n}'"
//   "<shown> is not JSON: line 1, column 70: nested deeper than 32 levels"
//   "<shown> line 1, column 21: member \"FrameRate\" appears twice in one object"
Json parseBoundedJson(std::string_view text, const std::string& shown,
                      std::size_t maxDepth = kJsonDepth);

// At most limit characters of text for a message: printable ASCII as it is, other bytes as
// \xHH, "..." when cut.
std::string excerpt(std::string_view text, std::size_t limit = 32);
// The same of a value's compact JSON text.
std::string jsonExcerpt(const Json& value, std::size_t limit = 32);

}  // namespace vexar::detail::io
