#include "Convert.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <set>

namespace vexar::panel {
namespace {

std::string hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", value);
    return buffer;
}

const char* expected(ValueType type) {
    switch (type) {
        case ValueType::Float:
            return "a number, or \"nan\" or \"inf\" as text";
        case ValueType::Int:
            return "a whole number";
        case ValueType::Bool:
            return "true or false";
        case ValueType::Region:
            return "a region {\"x\", \"y\", \"width\", \"height\"}";
    }
    return "a value";
}

std::string jsonTypeName(const Json& json) {
    if (json.is_number_float()) return "a fractional number";
    if (json.is_number()) return "a number";
    return std::string(json.type_name()) == "array" ? "an array"
                                                    : std::string("a ") + json.type_name();
}

Value regionFromJson(const Json& json) {
    Region region;
    std::set<std::string> seen;
    for (const auto& [key, member] : json.items()) {
        std::int32_t* target = key == "x"        ? &region.x
                               : key == "y"      ? &region.y
                               : key == "width"  ? &region.width
                               : key == "height" ? &region.height
                                                 : nullptr;
        if (!target) throw badInput("unknown region field '" + key + "'");
        // The state keeps each field in 16 bits; anything wider would be cut, not refused.
        if (!member.is_number_integer() || member.get<std::int64_t>() < 0 ||
            member.get<std::int64_t>() > 65535) {
            throw badInput("region field '" + key + "' must be a whole number from 0 to 65535");
        }
        *target = member.get<std::int32_t>();
        seen.insert(key);
    }
    if (seen.size() != 4) throw badInput("a region needs x, y, width and height");
    return region;
}

}  // namespace

void putShownValue(Json& into, const char* member, const Value& value) {
    Json& out = into[member];
    out = Json::object();
    putValue(out, value);
    out["text"] = value.toString();
}

// The library's range JSON (floats as their shortest decimal, which is what the page puts into
// a slider's step), with the text the tool shows.
Json rangeJson(const Range& range) {
    Json out = toJson(range);
    out["text"] = range.toString();
    return out;
}

Json parameterJson(const Parameter& parameter) {
    Json out = toJson(parameter);
    if (parameter.range) {
        out["range"] = rangeJson(*parameter.range);
    }
    return out;
}

Value valueFromRequest(const Parameter& parameter, const Json& json) {
    const ParameterName named{parameter.id, parameter.name, parameter.type};
    if (json.is_string()) return valueFor(named, json.get<std::string>());
    if (json.is_boolean()) return valueFor(named, Value(json.get<bool>()));
    if (json.is_number_unsigned()) return valueFor(named, Value(json.get<std::uint64_t>()));
    if (json.is_number_integer()) return valueFor(named, Value(json.get<std::int64_t>()));
    if (json.is_number_float()) return valueFor(named, Value(json.get<double>()));
    if (json.is_object() && parameter.type == ValueType::Region) return regionFromJson(json);
    throw badInput("value for " + parameter.name + ": expected " + expected(parameter.type) +
                   ", got " + jsonTypeName(json));
}

void putStateWritten(Json& object, const StateWritten& written) {
    Json json = toJson(written);
    object["changed"] = std::move(json["changed"]);
    object["assumed"] = std::move(json["assumed"]);
}

Json fieldJson(const Field& field) {
    return Json{{"index", field.index}, {"name", field.name}, {"address", hex(field.address)},
                {"lsb", field.lsb},     {"msb", field.msb},   {"value", field.value},
                {"reset", field.reset}};
}

Json timingJson(const Timing& timing) {
    return Json{{"frame_period_ms", timing.framePeriod},
                {"micro_frames", timing.microFrames},
                {"micro_frame_period_ms", timing.microFramePeriod},
                {"phases_per_micro_frame", timing.phasesPerMicroFrame},
                {"integration_ms", timing.integration},
                {"idle_ms", timing.idle},
                {"text", timing.toText()}};
}

Json transactionJson(const Transaction& transaction) {
    return Json{{"direction", transaction.direction == Direction::Read ? "read" : "write"},
                {"device", hex(transaction.device)},
                {"register", hex(transaction.reg)},
                {"bytes", transaction.bytes},
                {"result", transaction.result},
                {"text", transaction.toString()}};
}

ActionError failureOf(const Error& error) {
    return ActionError{kindInfo(error.kind()).httpStatus, Json{{"error", toJson(error)}}};
}

ActionError failureOf(HttpKind kind, const std::string& message) {
    struct Row {
        std::string_view name;
        int status;
    };
    static constexpr Row kRows[] = {
        {"Unauthorized", 401},        {"Forbidden", 403},      {"NotFound", 404},
        {"MethodNotAllowed", 405},    {"LengthRequired", 411}, {"TooLarge", 413},
        {"UnsupportedEncoding", 415}, {"HeadTooLarge", 431},   {"Unavailable", 503}};
    const Row& row = kRows[static_cast<std::size_t>(kind)];
    // The library's object with the HTTP layer's name, so that every error has one form.
    Json error = toJson(Error(ErrorKind::Internal, message));
    error["kind"] = std::string(row.name);
    return ActionError{row.status, Json{{"error", std::move(error)}}};
}

Json parseStrict(std::string_view text, const std::string& shown) {
    return parseJson(text, shown);
}

}  // namespace vexar::panel
