#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "PluginTypes.h"
#include "vexar/value.hpp"

namespace vexar::detail {

// What a host knows of each parameter identifier before it asks the plug-in anything: its
// name and the value type its typed exports take. Unit, access and range come from the plug-in.
struct ParameterInfo {
    std::uint32_t id;
    std::string_view name;
    ValueType type;
    // The same type as the plug-in's value records spell it, for the record codec alone.
    Lumivor::ValueType recordType;
};

std::span<const ParameterInfo> parameters();
const ParameterInfo* parameterById(std::uint32_t id);
// A name (any letter case) or an identifier in decimal or 0x-hexadecimal.
const ParameterInfo* findParameter(std::string_view nameOrId);
// The same, or Error(BadInput) with nameOrId as its subject.
const ParameterInfo& requireParameter(std::string_view nameOrId);

// The name of the plug-in's unit code; a code it should never answer reads "code N".
std::string unitName(std::uint32_t unit);

}  // namespace vexar::detail
