#include "CalibrationJson.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "Errors.h"
#include "io/BoundedJson.h"
#include "vexar/json.hpp"

namespace vexar::detail {

namespace {
using Lumivor::ROM::ConfigurationEntry;

Lumivor::ROM::Object* makeConfiguration(void*, Lumivor::ROM::ContainerSectionType type,
                                        std::uint16_t) {
    return type == Lumivor::ROM::ContainerSectionType::Configuration
               ? new Lumivor::ROM::Configuration
               : nullptr;
}

constexpr const char* kPhaseOffset1 = "phaseOffset1";
constexpr const char* kPhaseOffset2 = "phaseOffset2";
constexpr const char* kCalibration = "temperatureCalibration1";
constexpr const char* kCompensation = "temperatureCompensation1";

Json floatList(const std::vector<float>& list) {
    Json values = Json::array();
    for (const float v : list) {
        values.push_back(floatToJson(v));
    }
    return values;
}

[[noreturn]] void refuse(const std::string& where, const std::string& what) {
    throw badInput("calibration " + where + ": " + what);
}

// Members of one entry, checked against the ones it may have.
void expectOnly(const Json& entry, const std::string& where,
                std::initializer_list<const char*> allowed) {
    if (!entry.is_object()) {
        refuse(where, "not an object");
    }
    for (const auto& item : entry.items()) {
        const std::string& key = item.key();  // clang 14 cannot capture a structured binding
        if (std::find_if(allowed.begin(), allowed.end(),
                         [&](const char* name) { return key == name; }) == allowed.end()) {
            refuse(where, "unknown member \"" + io::excerpt(key) + "\"");
        }
    }
}

std::int64_t wholeNumber(const Json& entry, const char* key, const std::string& where,
                         std::int64_t minimum, std::int64_t maximum, std::int64_t fallback) {
    const auto member = entry.find(key);
    if (member == entry.end()) {
        return fallback;
    }
    // Compared as the JSON's own type: a large unsigned number must not wrap into range.
    const bool inRange = member->is_number_unsigned()
                             ? member->get<std::uint64_t>() <= static_cast<std::uint64_t>(maximum)
                             : member->is_number_integer() &&
                                   member->get<std::int64_t>() >= minimum &&
                                   member->get<std::int64_t>() <= maximum;
    if (!inRange) {
        refuse(where, std::string(key) + " must be a whole number from " + std::to_string(minimum) +
                          " to " + std::to_string(maximum));
    }
    return member->get<std::int64_t>();
}

// A list of the module's: none, or as many values as its fields take (the plug-in would use the
// first of a longer one and drop the rest without a word).
std::vector<float> floatsOf(const Json& entry, const std::string& where, const char* holds) {
    const auto member = entry.find("values");
    if (member == entry.end()) {
        return {};
    }
    if (!member->is_array()) {
        refuse(where, "values must be a list of numbers");
    }
    std::vector<float> values;
    for (const Json& item : *member) {
        const auto v = floatFromJson(item);
        if (!v) {
            refuse(where, "values must be numbers (or \"nan\", \"inf\" and the like): " +
                              io::jsonExcerpt(item));
        }
        values.push_back(*v);
    }
    if (!values.empty() && values.size() != 2) {
        refuse(where, std::string("values must hold 2 numbers (") + holds + "), not " +
                          std::to_string(values.size()));
    }
    return values;
}

std::uint32_t stateOf(const Json& entry, const std::string& where) {
    return static_cast<std::uint32_t>(
        wholeNumber(entry, "state", where, 0, std::numeric_limits<std::uint32_t>::max(), 0));
}
}  // namespace

std::unique_ptr<Lumivor::ROM::Configuration> parseCalibration(
    const std::vector<std::uint8_t>& bytes) {
    return std::unique_ptr<Lumivor::ROM::Configuration>(
        Lumivor::ROM::Configuration::deserialize(bytes, 0, &makeConfiguration, nullptr));
}

Json calibrationToJson(const Lumivor::ROM::Configuration& record) {
    Json json = Json::object();
    json[kPhaseOffset1] = {{"offset", record.phaseOffset1().offset()},
                           {"state", record.phaseOffset1().state}};
    json[kPhaseOffset2] = {{"offset", record.phaseOffset2().offset()},
                           {"state", record.phaseOffset2().state}};
    const auto& calibration = record.temperatureCalibration1();
    json[kCalibration] = {{"values", floatList(calibration.values())},
                          {"state", calibration.state}};
    const auto& compensation = record.temperatureCompensation1();
    json[kCompensation] = {{"kind", compensation.kind()},
                           {"values", floatList(compensation.values())},
                           {"state", compensation.state}};
    return json;
}

Lumivor::ROM::Configuration calibrationFromJson(const Json& json) {
    expectOnly(json, "record", {kPhaseOffset1, kPhaseOffset2, kCalibration, kCompensation});
    Lumivor::ROM::Configuration record;
    constexpr std::int64_t kOffsetMin = std::numeric_limits<std::int16_t>::min();
    constexpr std::int64_t kOffsetMax = std::numeric_limits<std::int16_t>::max();

    const std::pair<const char*, ConfigurationEntry> offsets[] = {
        {kPhaseOffset1, ConfigurationEntry::PhaseOffset1},
        {kPhaseOffset2, ConfigurationEntry::PhaseOffset2}};
    for (const auto& [key, entry] : offsets) {
        if (const auto member = json.find(key); member != json.end()) {
            expectOnly(*member, key, {"offset", "state"});
            Lumivor::ROM::PhaseOffset offset(static_cast<std::int16_t>(
                wholeNumber(*member, "offset", key, kOffsetMin, kOffsetMax, 0)));
            offset.state = stateOf(*member, key);
            entry == ConfigurationEntry::PhaseOffset1 ? record.phaseOffset1(offset)
                                                      : record.phaseOffset2(offset);
        }
    }
    if (const auto member = json.find(kCalibration); member != json.end()) {
        expectOnly(*member, kCalibration, {"values", "state"});
        Lumivor::ROM::TemperatureCalibrationData calibration;
        calibration.setValues(
            floatsOf(*member, kCalibration, "the illumination and the sensor temperature"));
        calibration.state = stateOf(*member, kCalibration);
        record.temperatureCalibration1(calibration);
    }
    if (const auto member = json.find(kCompensation); member != json.end()) {
        expectOnly(*member, kCompensation, {"kind", "values", "state"});
        Lumivor::ROM::TemperatureCompensationData compensation(
            static_cast<std::uint32_t>(wholeNumber(*member, "kind", kCompensation, 0,
                                                   std::numeric_limits<std::uint32_t>::max(), 0)));
        compensation.setValues(floatsOf(*member, kCompensation, "the two coefficients"));
        compensation.state = stateOf(*member, kCompensation);
        record.temperatureCompensation1(compensation);
    }
    return record;
}

}  // namespace vexar::detail

namespace vexar {

Json calibrationToJson(std::span<const std::uint8_t> record) {
    const auto parsed = detail::parseCalibration({record.begin(), record.end()});
    if (!parsed) {
        throw detail::badInput("not a calibration record");
    }
    return detail::calibrationToJson(*parsed);
}

std::vector<std::uint8_t> calibrationFromJson(const Json& record) {
    return detail::calibrationFromJson(record).serialize();
}

}  // namespace vexar
