#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "vexar/export.hpp"
#include "vexar/value.hpp"

namespace vexar {

using Json = nlohmann::ordered_json;
struct Range;

// JSON carries floats as numbers and the non-finite ones as the strings "nan", "-nan" (the
// sign of a NaN matters to a state), "inf" and "-inf"; a region as {"x", "y", "width", "height"}.
VEXAR_CLIENT_API Json toJson(const Value& value);
// Nothing for a JSON value that is not of the type.
VEXAR_CLIENT_API std::optional<Value> valueFromJson(ValueType type, const Json& json);
VEXAR_CLIENT_API Json floatToJson(float value);
// A value as a member of an object that describes a parameter: "value" holds the number, or
// null with "reason" "write-only", "nan", "inf" or "-inf", so that a reader never meets a
// string where it expects a number.
VEXAR_CLIENT_API void putValue(Json& object, const std::optional<Value>& value);
// {"min", "max", "step"}, {"values": [...]}, or bounds for each field of a region.
VEXAR_CLIENT_API Json toJson(const Range& range);

// One JSON value and nothing after it, nested at most 32 deep, without duplicate keys;
// Error(BadInput) giving the line and column and a short printable excerpt, with shown naming
// the text's origin.
VEXAR_CLIENT_API Json parseJson(std::string_view text, const std::string& shown);

}  // namespace vexar
