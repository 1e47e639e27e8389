#include "Parameters.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "Values.h"
#include "vexar/camera.hpp"
#include "vexar/error.hpp"
#include "vexar_param_interp.h"

namespace vexar::detail {

namespace {
// The public value type by the name the plug-in's header gives it.
namespace publicType {
constexpr ValueType FLOAT = ValueType::Float;
constexpr ValueType INT = ValueType::Int;
constexpr ValueType BOOL = ValueType::Bool;
constexpr ValueType REGION_OF_INTEREST = ValueType::Region;
}  // namespace publicType

// The plug-in's public header lists its parameters; the library keeps no list of its own.
#define CTL_PARAMETER_INFO(suffix, name, value, unit, access)     \
    ParameterInfo{VEXAR_PARAM_##suffix, #name, publicType::value, \
                  static_cast<Lumivor::ValueType>(VEXAR_VALUE_##value)},
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

std::size_t editDistanceIgnoringCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j < row.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                               diagonal + (lower(a[i - 1]) != lower(b[j - 1]) ? 1u : 0u)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

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
        std::vector<std::string> names;
        for (const ParameterInfo& known : kParameters) {
            names.emplace_back(known.name);
        }
        const auto nearest = vexar::nearestWord(nameOrId, names);
        throw Error(ErrorKind::BadInput,
                    "no such parameter (a parameter's name in any letter case, or an id 0-15)" +
                        (nearest ? "; did you mean '" + *nearest + "'?" : std::string()),
                    std::move(details));
    }
    return *parameter;
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

}  // namespace vexar::detail

namespace vexar {

std::string_view accessName(Access access) {
    switch (access) {
        case Access::ReadOnly:
            return "read-only";
        case Access::WriteOnly:
            return "write-only";
        case Access::ReadWrite:
            break;
    }
    return "read-write";
}

// A host callback's own code, which the plug-in passes through, reads "HostError (-121)".
std::string describeCode(std::int32_t code) {
    const auto known = std::ranges::find(detail::kCodeNames, code, &detail::CodeName::code);
    const std::string_view name = known != std::end(detail::kCodeNames) ? known->name : "HostError";
    return std::string(name) + " (" + std::to_string(code) + ")";
}

std::optional<std::string> nearestWord(std::string_view word,
                                       const std::vector<std::string>& candidates) {
    const std::string* best = nullptr;
    std::size_t bestDistance = 0;
    for (const std::string& candidate : candidates) {
        const std::size_t distance = detail::editDistanceIgnoringCase(word, candidate);
        if (best == nullptr || distance < bestDistance) {
            best = &candidate;
            bestDistance = distance;
        }
    }
    if (best == nullptr || bestDistance > 2 || bestDistance >= word.size()) {
        return std::nullopt;
    }
    return *best;
}

}  // namespace vexar
