#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

// Values are the public vexar::Value throughout the library; these are the pieces of their text
// and JSON forms that other readers share (identifiers, calibration numbers).
namespace vexar::detail {

using Json = nlohmann::ordered_json;

// Numbers as people type them: decimal with an optional sign, integers also in 0x-hexadecimal
// (an unsigned one without a sign), floats also "nan" and "inf". Nothing when the text is not
// one.
std::optional<std::uint32_t> parseUnsigned(std::string_view text);
std::optional<std::int32_t> parseInt(std::string_view text);
std::optional<float> parseFloat(std::string_view text);

// The shortest text that reads back as the same float ("30", "0.01", "nan").
std::string formatFloat(float value);
// A float as floatToJson writes it: a number, or "nan", "-nan", "inf", "-inf".
std::optional<float> floatFromJson(const Json& json);

}  // namespace vexar::detail
