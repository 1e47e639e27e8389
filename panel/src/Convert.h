#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vexar/camera.hpp"
#include "vexar/json.hpp"

// The panel's JSON vocabulary: what the API answers and what it takes, in one place, so that
// the page, the event stream and the documentation see one form of each thing.
namespace vexar::panel {

// A request the panel cannot use, with the reason people read: the library's bad input.
inline Error badInput(const std::string& reason) {
    return Error(ErrorKind::BadInput, reason);
}

// The HTTP layer's own failures, which never come from the library; every other failure is
// the library's error, answered with the status the library's table gives its kind.
enum class HttpKind {
    Unauthorized,
    Forbidden,
    NotFound,
    MethodNotAllowed,
    LengthRequired,
    TooLarge,
    UnsupportedEncoding,
    HeadTooLarge,
    Unavailable
};

// A failed request: the status and the body {"error": {...}}, with the sequence number when
// the action reached the module (a refusal may leave what was written before it).
struct ActionError {
    int status;
    Json body;
};
ActionError failureOf(const Error& error);
ActionError failureOf(HttpKind kind, const std::string& message);

// {"value": number|bool|region|null, "reason"?: "nan"|"inf"|"-inf", "text": "..."}: the value
// as the client library writes a parameter's (a float as its shortest decimal), with the text
// vexar-ctl prints.
void putShownValue(Json& into, const char* member, const Value& value);
Json rangeJson(const Range& range);
Json parameterJson(const Parameter& parameter);
// A value for the parameter from JSON as a person or a script writes it: a number, a flag, a
// region object, or text as the tool takes it ("nan", "0x10", "on", "0,0,320,240").
Value valueFromRequest(const Parameter& parameter, const Json& json);
// What a write through a system state did beside the values asked for: "changed", every
// other value it moved ({"name", "before", "after"}), and "assumed", the voltages it wrote at
// their power-on value.
void putStateWritten(Json& object, const StateWritten& written);
Json fieldJson(const Field& field);
Json timingJson(const Timing& timing);
Json transactionJson(const Transaction& transaction);
// Parses JSON text as every face does, refusing a member named twice in one object: bad input
// naming the line and column and quoting the text around them, shown naming the text.
Json parseStrict(std::string_view text, const std::string& shown = "the body");

}  // namespace vexar::panel
