#include "Parameters.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "Values.h"
#include "vexar/error.hpp"
#include "vexar_param_interp.h"

namespace vexar::detail {

namespace {
// The plug-in's public header lists its parameters; the tool keeps no list of its own.
#define CTL_PARAMETER_INFO(suffix, name, value, unit, access) \
    ParameterInfo{VEXAR_PARAM_##suffix, #name, static_cast<ValueType>(VEXAR_VALUE_##value)},
constexpr ParameterInfo kParameters[] = {VEXAR_PARAMETERS(CTL_PARAMETER_INFO)};
#undef CTL_PARAMETER_INFO

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

struct CodeName {
    std::int32_t code;
    std::string_view name;
};
constexpr CodeName kCodeNames[] = {
    {VEXAR_SUCCESS, "Success"},
    {VEXAR_NOT_SUPPORTED, "NotSupported"},
    {VEXAR_INVALID_ARGUMENT, "InvalidArgument"},
    {VEXAR_OUT_OF_RANGE, "OutOfRange"},
    {VEXAR_BUFFER_TOO_SMALL, "BufferTooSmall"},
};
}  // namespace

std::span<const ParameterInfo> parameters() {
    return kParameters;
}

const ParameterInfo* parameterById(std::uint32_t id) {
    return id < std::size(kParameters) ? &kParameters[id] : nullptr;
}

const ParameterInfo* findParameter(std::string_view nameOrId) {
    if (const auto id = parseUnsigned(nameOrId)) {
        return parameterById(*id);
    }
    const auto found = std::ranges::find_if(
        kParameters, [&](const ParameterInfo& p) { return equalsIgnoringCase(p.name, nameOrId); });
    return found != std::end(kParameters) ? &*found : nullptr;
}

const ParameterInfo& requireParameter(std::string_view nameOrId) {
    const ParameterInfo* parameter = findParameter(nameOrId);
    if (parameter == nullptr) {
        Error::Details details;
        details.subject = std::string(nameOrId);
        throw Error(ErrorKind::BadInput,
                    "no such parameter (a name as 'list' shows it, or an id 0-15)",
                    std::move(details));
    }
    return *parameter;
}

std::string_view valueTypeName(ValueType type) {
    switch (type) {
        case ValueType::Float:
            return "float";
        case ValueType::Int:
            return "int";
        case ValueType::Bool:
            return "bool";
        case ValueType::RegionOfInterest:
            return "region";
    }
    return "?";
}

std::string unitName(std::uint32_t unit) {
    switch (static_cast<UnitType>(unit)) {
        case UnitType::None:
            return "none";
        case UnitType::Milliseconds:
            return "ms";
        case UnitType::Megahertz:
            return "MHz";
        case UnitType::Meters:
            return "m";
        case UnitType::Percent:
            return "%";
    }
    return "code " + std::to_string(unit);
}

std::string accessName(std::uint32_t access) {
    switch (static_cast<AccessMode>(access)) {
        case AccessMode::ReadWrite:
            return "read-write";
        case AccessMode::ReadOnly:
            return "read-only";
        case AccessMode::WriteOnly:
            return "write-only";
    }
    return "code " + std::to_string(access);
}

std::string describeCode(std::int32_t code) {
    const auto known = std::ranges::find(kCodeNames, code, &CodeName::code);
    const std::string_view name = known != std::end(kCodeNames) ? known->name : "HostError";
    return std::string(name) + " (" + std::to_string(code) + ")";
}

}  // namespace vexar::detail
