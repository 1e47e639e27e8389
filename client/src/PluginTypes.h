#pragma once

#include "host/ParameterTypes.h"

namespace vexar::detail {

// The plug-in's own spellings of units, access modes and parameter identifiers, as its exports
// speak them. Values and their types are the public ones throughout; only the record codec and
// the typed exports meet the plug-in's value types.
using Lumivor::AccessMode;
using Lumivor::UnitType;
using enum Lumivor::ParameterType;

}  // namespace vexar::detail
