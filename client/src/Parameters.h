#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "PluginTypes.h"

namespace vexar::detail {

// What a host knows of each parameter identifier before it asks the plug-in anything: its
// name and the value type its typed exports take. Unit, access and range come from the plug-in.
struct ParameterInfo {
    std::uint32_t id;
    std::string_view name;
    ValueType type;
};

std::span<const ParameterInfo> parameters();
const ParameterInfo* parameterById(std::uint32_t id);
// A name (any letter case) or an identifier in decimal or 0x-hexadecimal.
const ParameterInfo* findParameter(std::string_view nameOrId);
// The same, or Error(BadInput) with nameOrId as its subject.
const ParameterInfo& requireParameter(std::string_view nameOrId);

std::string_view valueTypeName(ValueType type);
// Names of the plug-in's unit and access codes; codes it should never answer read "code N".
std::string unitName(std::uint32_t unit);
std::string accessName(std::uint32_t access);

// "OutOfRange (-5)"; a host callback's own code, which the plug-in passes through, reads
// "HostError (-121)".
std::string describeCode(std::int32_t code);

}  // namespace vexar::detail
