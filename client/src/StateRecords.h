#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Parameters.h"
#include "Values.h"
#include "vexar/error.hpp"
#include "vexar/value.hpp"

namespace vexar::detail {

// The system state as the plug-in takes and gives it: value records of one identifier byte
// and a little-endian payload by the parameter's value type (float and int 4 bytes, bool 1,
// region four 16-bit fields), without header or count.
struct StateRecord {
    const ParameterInfo* parameter;
    Value value;
};

// A buffer for readSystemState: one record for each parameter the plug-in reports (0 to 11,
// 13 and 15), ascending, with zero payloads for it to overwrite.
std::vector<std::uint8_t> stateReadTemplate();
// Whether the parameter has a record in the state the plug-in reports.
bool stateHolds(std::uint32_t id);

std::vector<std::uint8_t> encodeState(const std::vector<StateRecord>& records);
// Error(BadInput) for an identifier without a parameter or a record cut short.
std::vector<StateRecord> decodeState(std::span<const std::uint8_t> bytes);

// The readable form: one member per record, "Name": value, in record order.
Json stateToJson(const std::vector<StateRecord>& records);
// Members named by parameter name (any letter case) or identifier; Error(BadInput) for
// an unknown name, a value of the wrong type or a region field outside 0 to 65535.
std::vector<StateRecord> stateFromJson(const Json& json);
// Every member stateFromJson would refuse, by key, with why (a member no state holds too);
// the key is empty when the whole is not an object.
std::vector<std::pair<std::string, std::string>> stateProblems(const Json& json);

// Between records and the public members: names are looked up as stateFromJson does and a
// value of another type is converted where nothing is lost; Error(BadInput) as there.
vexar::Settings toSettings(const std::vector<StateRecord>& records);
std::vector<StateRecord> fromSettings(const vexar::Settings& members);

// The records that cannot be loaded back as they are: the plug-in writes only numbers back, and
// passes over the dealiasing frequency alone while dealiasing is off.
std::vector<const StateRecord*> unloadableRecords(const std::vector<StateRecord>& records);
// "ModulationFrequency = nan"
std::string assignment(const StateRecord& record);
// The plug-in writes a state's records one by one, stops at the first it refuses and names
// that one by number only: the refusal again, naming the record's parameter and value, and
// why, where it was a value that was not a number.
vexar::Error nameRefusedRecord(const vexar::Error& refusal,
                               const std::vector<StateRecord>& records);

}  // namespace vexar::detail
