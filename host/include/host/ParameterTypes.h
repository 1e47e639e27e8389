#pragma once

#include <cstdint>
#include <type_traits>

#include "vexar_param_interp.h"

namespace Lumivor {

// Identifiers, value types, units and access modes are the plug-in's public constants; these
// are their C++ spellings, so the two cannot drift apart.

// Parameter identifiers as the host names them; a plain 32-bit number at every interface.
#define LUMIVOR_PARAMETER_ENUMERATOR(suffix, name, value, unit, access) name = VEXAR_PARAM_##suffix,
enum ParameterType : std::uint32_t { VEXAR_PARAMETERS(LUMIVOR_PARAMETER_ENUMERATOR) };
#undef LUMIVOR_PARAMETER_ENUMERATOR

enum class ValueType : std::uint32_t {
    Float = VEXAR_VALUE_FLOAT,
    Int = VEXAR_VALUE_INT,
    Bool = VEXAR_VALUE_BOOL,
    RegionOfInterest = VEXAR_VALUE_REGION_OF_INTEREST,
};

enum class UnitType : std::uint32_t {
    None = VEXAR_UNIT_NONE,
    Milliseconds = VEXAR_UNIT_MILLISECONDS,
    Megahertz = VEXAR_UNIT_MEGAHERTZ,
    Meters = VEXAR_UNIT_METERS,
    Percent = VEXAR_UNIT_PERCENT,
};

enum class AccessMode : std::uint32_t {
    ReadWrite = VEXAR_ACCESS_READ_WRITE,
    ReadOnly = VEXAR_ACCESS_READ_ONLY,
    WriteOnly = VEXAR_ACCESS_WRITE_ONLY,
};

// The number an enumeration crosses the C boundary as.
template <typename Enum>
constexpr std::uint32_t code(Enum e) {
    return static_cast<std::uint32_t>(static_cast<std::underlying_type_t<Enum>>(e));
}

}  // namespace Lumivor
