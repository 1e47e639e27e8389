// The text and JSON forms of values: what people type and read, and what files and faces carry.
#include "Values.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "vexar/json.hpp"
#include "vexar/value.hpp"

namespace vexar::detail {

namespace {
template <typename T>
std::optional<T> parseWhole(std::string_view text) {
    int base = 10;
    bool negative = false;
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    if (digits.empty() || digits.front() == '-' || digits.front() == '+') {
        return std::nullopt;
    }
    std::int64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
        return std::nullopt;
    }
    return static_cast<T>(value);
}

// A decimal number, "nan" and "inf" included, with an optional sign.
template <typename T>
std::optional<T> parseDecimal(std::string_view text) {
    // from_chars takes no leading '+'; people do, but not "+-".
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return std::nullopt;
        }
    }
    T value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (text.empty() || error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}
}  // namespace

std::optional<std::uint32_t> parseUnsigned(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        return std::nullopt;
    }
    return parseWhole<std::uint32_t>(text);
}

std::optional<std::int32_t> parseInt(std::string_view text) {
    return parseWhole<std::int32_t>(text);
}

std::optional<float> parseFloat(std::string_view text) {
    return parseDecimal<float>(text);
}

std::string formatFloat(float value) {
    if (std::isnan(value)) {
        return "nan";  // whatever its sign bit
    }
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

std::optional<float> floatFromJson(const Json& json) {
    if (json.is_string()) {
        const auto& text = json.get_ref<const std::string&>();
        if (text == "nan" || text == "-nan" || text == "inf" || text == "-inf") {
            return parseFloat(text);
        }
        return std::nullopt;
    }
    if (!json.is_number()) {
        return std::nullopt;
    }
    const double number = json.get<double>();
    // Rounds the decimal text to a float directly, as the command line does, rather than
    // rounding twice (text to double, double to float); beyond the float range is refused.
    std::array<char, 32> text{};
    const auto written = std::to_chars(text.data(), text.data() + text.size(), number);
    return parseFloat(std::string_view(text.data(), written.ptr));
}

}  // namespace vexar::detail

namespace vexar {

namespace {
std::optional<bool> parseBool(std::string_view given) {
    static constexpr std::array<std::string_view, 4> kTrue{"1", "true", "on", "yes"};
    static constexpr std::array<std::string_view, 4> kFalse{"0", "false", "off", "no"};
    std::string text(given);
    std::ranges::transform(text, text.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    for (std::size_t i = 0; i < kTrue.size(); ++i) {
        if (text == kTrue[i]) {
            return true;
        }
        if (text == kFalse[i]) {
            return false;
        }
    }
    return std::nullopt;
}

std::optional<Region> parseRegion(std::string_view text) {
    std::array<std::int32_t, 4> fields{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t comma = text.find(',');
        const bool last = i + 1 == fields.size();
        if (last != (comma == std::string_view::npos)) {
            return std::nullopt;
        }
        const auto field = detail::parseInt(text.substr(0, comma));
        if (!field) {
            return std::nullopt;
        }
        fields[i] = *field;
        text.remove_prefix(last ? text.size() : comma + 1);
    }
    return Region{fields[0], fields[1], fields[2], fields[3]};
}

constexpr std::array<const char*, 4> kRegionKeys{"x", "y", "width", "height"};

// A whole number written as a decimal with a fraction or an exponent ("8.0", "8e0"), as a
// number that came through JSON or a float of a script is written.
std::optional<std::int32_t> wholeDecimal(double number) {
    if (!std::isfinite(number) || std::trunc(number) != number || number < -2147483648.0 ||
        number >= 2147483648.0) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(number);
}

std::optional<std::int32_t> parseWholeDecimal(std::string_view text) {
    const auto number = detail::parseDecimal<double>(text);
    return number ? wholeDecimal(*number) : std::nullopt;
}
}  // namespace

std::optional<Value> Value::parse(ValueType type, std::string_view text) {
    switch (type) {
        case ValueType::Float:
            if (const auto v = detail::parseFloat(text)) return Value{*v};
            break;
        case ValueType::Int:
            if (const auto v = detail::parseInt(text)) return Value{*v};
            if (const auto v = parseWholeDecimal(text)) return Value{*v};
            break;
        case ValueType::Bool:
            if (const auto v = parseBool(text)) return Value{*v};
            break;
        case ValueType::Region:
            if (const auto v = parseRegion(text)) return Value{*v};
            break;
    }
    return std::nullopt;
}

std::string Value::toString() const {
    struct Formatter {
        std::string operator()(float v) const { return detail::formatFloat(v); }
        std::string operator()(std::int32_t v) const { return std::to_string(v); }
        std::string operator()(bool v) const { return v ? "true" : "false"; }
        std::string operator()(const Region& r) const {
            return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) +
                   "," + std::to_string(r.height);
        }
    };
    return std::visit(Formatter{}, value_);
}

Json floatToJson(float value) {
    if (std::isnan(value)) {
        return std::signbit(value) ? "-nan" : "nan";  // a state carries the sign bit of a NaN
    }
    if (!std::isfinite(value)) {
        return detail::formatFloat(value);  // "inf" or "-inf"
    }
    // Through the shortest decimal text, so that 0.01f shows as 0.01 and not as the double
    // nearest to the float; reading the text back as a float gives the same float.
    return std::stod(detail::formatFloat(value));
}

Json toJson(const Value& value) {
    switch (value.type()) {
        case ValueType::Float:
            return floatToJson(value.asFloat());
        case ValueType::Int:
            return value.asInt();
        case ValueType::Bool:
            return value.asBool();
        case ValueType::Region:
            break;
    }
    const Region r = value.asRegion();
    return {{"x", r.x}, {"y", r.y}, {"width", r.width}, {"height", r.height}};
}

void putValue(Json& object, const std::optional<Value>& value) {
    if (!value) {
        object["value"] = nullptr;
        object["reason"] = "write-only";
    } else if (value->isFloat() && !std::isfinite(value->asFloat())) {
        object["value"] = nullptr;
        object["reason"] = detail::formatFloat(value->asFloat());
    } else {
        object["value"] = toJson(*value);
    }
}

std::optional<Value> valueFromJson(ValueType type, const Json& json) {
    const auto wholeNumber = [](const Json& j) -> std::optional<std::int32_t> {
        // An unsigned number beyond the signed range would wrap as a signed one.
        if (!j.is_number_integer() ||
            (j.is_number_unsigned() &&
             j.get<std::uint64_t>() > std::numeric_limits<std::int32_t>::max())) {
            return std::nullopt;
        }
        const auto v = j.get<std::int64_t>();
        if (v < std::numeric_limits<std::int32_t>::min() ||
            v > std::numeric_limits<std::int32_t>::max()) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(v);
    };
    // Text in JSON is read as text people type, so that a profile may say "0x8" or "on" as the
    // command line does.
    if (json.is_string()) {
        return Value::parse(type, json.get_ref<const std::string&>());
    }
    switch (type) {
        case ValueType::Float:
            if (const auto v = detail::floatFromJson(json)) return Value{*v};
            break;
        case ValueType::Int:
            if (const auto v = wholeNumber(json)) return Value{*v};
            if (json.is_number_float()) {
                if (const auto v = wholeDecimal(json.get<double>())) return Value{*v};
            }
            break;
        case ValueType::Bool:
            if (json.is_boolean()) return Value{json.get<bool>()};
            break;
        case ValueType::Region: {
            if (!json.is_object() || json.size() != kRegionKeys.size()) {
                break;
            }
            std::array<std::int32_t, 4> fields{};
            for (std::size_t i = 0; i < fields.size(); ++i) {
                const auto field = json.find(kRegionKeys[i]);
                const auto v = field != json.end() ? wholeNumber(*field) : std::nullopt;
                if (!v) {
                    return std::nullopt;
                }
                fields[i] = *v;
            }
            return Value{Region{fields[0], fields[1], fields[2], fields[3]}};
        }
    }
    return std::nullopt;
}

}  // namespace vexar
