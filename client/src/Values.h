#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "PluginTypes.h"
#include "records/ValueRecord.h"
#include "vexar_param_interp.h"

namespace vexar::detail {

using Json = nlohmann::ordered_json;

// One parameter value, held in the type of the export that reads or writes it: the value a state
// record carries.
using Lumivor::Records::Value;

ValueType typeOf(const Value& value);

// Text as people type it: numbers in decimal with an optional sign (integers also in
// 0x-hexadecimal), floats also "nan" and "inf", flags as 1/0, true/false, on/off or yes/no in
// any case, a region as x,y,width,height.
// Nothing when the text is not a value of that type.
std::optional<Value> parseValue(ValueType type, std::string_view text);
std::optional<std::uint32_t> parseUnsigned(std::string_view text);
std::optional<std::int32_t> parseInt(std::string_view text);
std::optional<float> parseFloat(std::string_view text);

// The shortest text that reads back as the same value ("30", "0.01", "nan", "0,0,320,240").
std::string formatValue(const Value& value);
std::string formatFloat(float value);

// JSON carries floats as numbers and the non-finite ones as the strings "nan", "-nan" (the
// sign of a NaN matters to a state), "inf" and "-inf"; a region as {"x", "y", "width", "height"}.
// fromJson answers nothing for a JSON value that is not of the type.
Json toJson(const Value& value);
// A value as a member of an object that describes a parameter: "value" holds the number, or
// null with "reason" "write-only", "nan", "inf" or "-inf", so that a reader never meets a
// string where it expects a number.
void putValue(Json& object, const std::optional<Value>& value);
Json floatToJson(float value);
std::optional<Value> fromJson(ValueType type, const Json& json);
std::optional<float> floatFromJson(const Json& json);

}  // namespace vexar::detail
