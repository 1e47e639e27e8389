#pragma once

#include "host/ParameterTypes.h"

namespace vexar::detail {

// The plug-in's own spellings of value types, units, access modes and parameter identifiers,
// as its exports and records speak them. Declared here by name, so that inside the library
// they win over the public types of the same name in <vexar/...>, which mirror them.
using Lumivor::AccessMode;
using Lumivor::code;
using Lumivor::UnitType;
using Lumivor::ValueType;
using enum Lumivor::ParameterType;

}  // namespace vexar::detail
