#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vexar/export.hpp"
#include "vexar/value.hpp"

namespace vexar {

using Json = nlohmann::ordered_json;
struct Range;
struct Profile;
struct DryRun;
struct Parameter;
struct StateWritten;
class Error;

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

// {"name", "id", "type", "unit", "access", "state_only", "range": toJson(range) or null}: a
// parameter as vexar-ctl list and the panel describe it.
VEXAR_CLIENT_API Json toJson(const Parameter& parameter);
// Members: {"Name": value, ...} in order, the "parameters" of a profile.
VEXAR_CLIENT_API Json toJson(const Settings& members);
// A profile as vexar-ctl state save --format json writes it: {"format": "vexar-profile",
// "version": 1, "module": {"key": [...], "type": N, "hardwareVersion": N}, "plugin": "0.1.0",
// "saved": "...Z", "name"?, "note"?, "parameters": {...}}; docs/profile.schema.json has it.
VEXAR_CLIENT_API Json toJson(const Profile& profile);
// That document, or a bare object of members (version 0). Error(BadInput) for anything else:
// another format, a version newer than Profile::kFormatVersion, a bad member.
VEXAR_CLIENT_API Profile profileFromJson(const Json& json);
// Members named by parameter name (any letter case) or identifier, with values of the
// parameter's type; Error(BadInput) for anything else, a member given twice included.
VEXAR_CLIENT_API Settings settingsFromJson(const Json& profile);
// What a dry run found: {"parameters": {...} as the module would hold them, "changed":
// [{"name", "before", "after"}], "assumed": [...], "fields": [{"index", "name", "address", "lsb",
// "msb", "was", "will_be"}], "devices": [{"role", "device", "was", "will_be"}], "transactions":
// ["w4@0x5c ..."], "registers_read": [{"address", "value"}], "phase_count": 4}.
VEXAR_CLIENT_API Json toJson(const DryRun& dryRun);
// What a write through a state moved beside what was asked: {"changed": [{"name", "before",
// "after"}], "assumed": [name, ...]}, the values as toJson writes them.
VEXAR_CLIENT_API Json toJson(const StateWritten& written);
// A member of a profile that cannot be used, and why; member is empty when the profile is not
// an object at all.
struct ProfileProblem {
    std::string member;
    std::string reason;
};
// Every member settingsFromJson would refuse, and every member no system state holds (Range,
// StreamEnable), each once: what a face lists before it writes anything. For a profile
// document, what is wrong with its other members too, and then of its parameters.
VEXAR_CLIENT_API std::vector<ProfileProblem> profileProblems(const Json& profile);

// The readable form of a calibration record:
//   {"phaseOffset1": {"offset": 1000, "state": 2}, "phaseOffset2": {...},
//    "temperatureCalibration1": {"values": [25.0, 40.0], "state": 2},
//    "temperatureCompensation1": {"kind": 3, "values": [1.5, -1.5], "state": 2}}
// Error(BadInput) for bytes that are not a record; reading, a missing entry or "state" keeps
// the record's default, and unknown members, values of the wrong type and offsets outside 16
// bits are Error(BadInput).
VEXAR_CLIENT_API Json calibrationToJson(std::span<const std::uint8_t> record);
VEXAR_CLIENT_API std::vector<std::uint8_t> calibrationFromJson(const Json& record);

// A failure as every front end writes it: {"kind": "Refused", "code": -5, "code_name":
// "OutOfRange", "message": "...", "allowed": "min=0 max=60 step=0.01", "errno": null}; code,
// code_name, allowed and errno are null when the failure has none.
VEXAR_CLIENT_API Json toJson(const Error& error);

// One JSON value and nothing after it, nested at most 32 deep, without duplicate keys;
// Error(BadInput) giving the line and column and a short printable excerpt, with shown naming
// the text's origin.
VEXAR_CLIENT_API Json parseJson(std::string_view text, const std::string& shown);

}  // namespace vexar
