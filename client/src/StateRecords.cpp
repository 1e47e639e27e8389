#include "StateRecords.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <type_traits>

#include "Errors.h"
#include "interface/ByteOrder.h"
#include "io/BoundedJson.h"
#include "records/ValueRecord.h"
#include "vexar/json.hpp"
#include "yorind/ModuleDescription.h"

namespace vexar::detail {

namespace {
constexpr std::int32_t kRegionFieldMax = 0xFFFF;

bool regionFits(const Value& value) {
    if (!value.isRegion()) {
        return true;
    }
    const Region region = value.asRegion();
    for (const std::int32_t field : {region.x, region.y, region.width, region.height}) {
        if (field < 0 || field > kRegionFieldMax) {
            return false;
        }
    }
    return true;
}

// The records speak the plug-in's values; here, and only here, they meet the library's.
Value fromRecord(const Lumivor::Records::Value& value) {
    struct Convert {
        Value operator()(float v) const { return v; }
        Value operator()(std::int32_t v) const { return v; }
        Value operator()(bool v) const { return v; }
        Value operator()(const RegionOfInterestInternal& r) const {
            return Region{r.x, r.y, r.width, r.height};
        }
    };
    return std::visit(Convert{}, value);
}

Lumivor::Records::Value toRecord(const Value& value) {
    using Record = Lumivor::Records::Value;
    switch (value.type()) {
        case ValueType::Float:
            return Record(std::in_place_type<float>, value.asFloat());
        case ValueType::Int:
            return Record(std::in_place_type<std::int32_t>, value.asInt());
        case ValueType::Bool:
            return Record(std::in_place_type<bool>, value.asBool());
        case ValueType::Region:
            break;
    }
    const Region r = value.asRegion();
    return RegionOfInterestInternal{r.x, r.y, r.width, r.height};
}
}  // namespace

bool stateHolds(std::uint32_t id) {
    return std::ranges::any_of(yorind::kStateReadOrder,
                               [&](const yorind::StateRead& read) { return read.id == id; });
}

std::vector<std::uint8_t> stateReadTemplate() {
    std::vector<std::uint8_t> bytes;
    for (const ParameterInfo& p : parameters()) {
        if (stateHolds(p.id)) {
            const auto zero = Lumivor::Records::withValueType(
                p.recordType,
                []<typename T>(std::type_identity<T>) -> Lumivor::Records::Value { return T{}; });
            Lumivor::Records::appendRecord(bytes, static_cast<std::uint8_t>(p.id), zero);
        }
    }
    return bytes;
}

std::vector<std::uint8_t> encodeState(const std::vector<StateRecord>& records) {
    std::vector<std::uint8_t> bytes;
    for (const StateRecord& record : records) {
        Lumivor::Records::appendRecord(bytes, static_cast<std::uint8_t>(record.parameter->id),
                                       toRecord(record.value));
    }
    return bytes;
}

std::vector<StateRecord> decodeState(std::span<const std::uint8_t> bytes) {
    std::vector<StateRecord> records;
    Lumivor::Bytes::Reader in(bytes);
    while (in.remaining() > 0) {
        const std::size_t at = in.position();
        const ParameterInfo* parameter = parameterById(*in.u8());
        if (parameter == nullptr) {
            throw badInput("state record at byte " + std::to_string(at) +
                           " names no parameter (identifier " + std::to_string(bytes[at]) + ")");
        }
        const auto value = Lumivor::Records::readPayload(in, parameter->recordType);
        if (!value) {
            throw badInput("state record at byte " + std::to_string(at) + " (" +
                           std::string(parameter->name) + ") is cut short");
        }
        records.push_back({parameter, fromRecord(*value)});
    }
    return records;
}

Json stateToJson(const std::vector<StateRecord>& records) {
    Json json = Json::object();
    for (const StateRecord& record : records) {
        json[std::string(record.parameter->name)] = toJson(record.value);
    }
    return json;
}

namespace {
// The member's parameter, once only.
const ParameterInfo& memberParameter(const std::vector<StateRecord>& records,
                                     const std::string& key) {
    // Refused as every call that names a parameter refuses it, with the nearest name.
    const ParameterInfo* parameter = &requireParameter(io::excerpt(key));
    const auto same = [&](const StateRecord& r) { return r.parameter == parameter; };
    if (std::ranges::any_of(records, same)) {
        throw badInput("state gives " + std::string(parameter->name) + " twice (\"" +
                       io::excerpt(key) + "\")");
    }
    return *parameter;
}

vexar::Error notAValueOf(const ParameterInfo& parameter, const std::string& shown) {
    return badInput(
        "state value of " + std::string(parameter.name) + " is not " + aValueOf(parameter.type) +
        (parameter.type == ValueType::Region ? " of fields 0 to 65535" : "") + ": " + shown);
}
}  // namespace

namespace {
StateRecord memberRecord(const std::vector<StateRecord>& records, const std::string& key,
                         const Json& member) {
    const ParameterInfo& parameter = memberParameter(records, key);
    const auto value = valueFromJson(parameter.type, member);
    if (!value || !regionFits(*value)) {
        throw notAValueOf(parameter, io::jsonExcerpt(member));
    }
    return {&parameter, *value};
}

constexpr const char* kNotAnObject = "a state in JSON is an object of \"Name\": value members";
}  // namespace

std::vector<StateRecord> stateFromJson(const Json& json) {
    if (!json.is_object()) {
        throw badInput(kNotAnObject);
    }
    std::vector<StateRecord> records;
    for (const auto& [key, member] : json.items()) {
        records.push_back(memberRecord(records, key, member));
    }
    return records;
}

std::vector<std::pair<std::string, std::string>> stateProblems(const Json& json) {
    if (!json.is_object()) {
        return {{"", kNotAnObject}};
    }
    const std::vector<StateRecord> kept = decodeState(stateReadTemplate());
    std::vector<StateRecord> records;
    std::vector<std::pair<std::string, std::string>> problems;
    for (const auto& [key, member] : json.items()) {
        try {
            StateRecord record = memberRecord(records, key, member);
            if (std::ranges::none_of(
                    kept, [&](const StateRecord& r) { return r.parameter == record.parameter; })) {
                problems.emplace_back(
                    key, std::string(record.parameter->name) + " is not part of a system state");
            }
            records.push_back(std::move(record));
        } catch (const vexar::Error& error) {
            problems.emplace_back(key, error.what());
        }
    }
    return problems;
}

vexar::Settings toSettings(const std::vector<StateRecord>& records) {
    vexar::Settings members;
    for (const StateRecord& record : records) {
        members.emplace_back(std::string(record.parameter->name), record.value);
    }
    return members;
}

std::vector<StateRecord> fromSettings(const vexar::Settings& members) {
    std::vector<StateRecord> records;
    for (const auto& [key, given] : members) {
        const ParameterInfo& parameter = memberParameter(records, key);
        const auto typed = given.as(parameter.type);
        if (!typed || !regionFits(*typed)) {
            throw notAValueOf(parameter, given.toString());
        }
        records.push_back({&parameter, *typed});
    }
    return records;
}

namespace {
bool notANumber(const Value& value) {
    return value.isFloat() && !std::isfinite(value.asFloat());
}
}  // namespace

std::vector<const StateRecord*> unloadableRecords(const std::vector<StateRecord>& records) {
    const auto dealiasing = std::ranges::find_if(
        records, [](const StateRecord& r) { return r.parameter->id == DealiasingOn; });
    const bool dealiasingOn = dealiasing != records.end() && dealiasing->value.asBool();
    std::vector<const StateRecord*> found;
    for (const StateRecord& record : records) {
        if (notANumber(record.value) &&
            (record.parameter->id != DealiasingFrequency || dealiasingOn)) {
            found.push_back(&record);
        }
    }
    return found;
}

std::string assignment(const StateRecord& record) {
    return std::string(record.parameter->name) + " = " + record.value.toString();
}

vexar::Error nameRefusedRecord(const vexar::Error& refusal,
                               const std::vector<StateRecord>& records) {
    static constexpr std::string_view kFailed = "failed to write parameter ";
    const std::string& text = refusal.lastError();
    const std::size_t at = text.find(kFailed);
    std::uint32_t id = 0;
    if (at == std::string::npos ||
        std::from_chars(text.data() + at + kFailed.size(), text.data() + text.size(), id).ec !=
            std::errc()) {
        return refusal;
    }
    const auto named =
        std::ranges::find_if(records, [&](const StateRecord& r) { return r.parameter->id == id; });
    if (named == records.end()) {
        return refusal;
    }
    std::string reason = assignment(*named) + ": " + refusal.reason();
    if (notANumber(named->value)) {
        reason += " (saved while " + std::string(named->parameter->name) +
                  " was not a number, as at power-on: write it, then save the state again)";
    }
    vexar::Error::Details details{refusal.code(), refusal.lastError(), refusal.allowed(),
                                  refusal.busErrno(), refusal.subject()};
    return vexar::Error(refusal.kind(), reason, std::move(details));
}

}  // namespace vexar::detail

namespace vexar {

Json toJson(const Settings& members) {
    Json json = Json::object();
    for (const auto& [name, value] : members) {
        json[name] = toJson(value);
    }
    return json;
}

Settings settingsFromJson(const Json& profile) {
    return detail::toSettings(detail::stateFromJson(profile));
}

}  // namespace vexar
