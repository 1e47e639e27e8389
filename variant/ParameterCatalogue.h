#pragma once

#include "core/ParameterTable.h"

namespace Lumivor::YorinD {

// The sixteen parameters of the module, identifiers 0 to 15.
ParameterTable buildParameterTable();

}  // namespace Lumivor::YorinD
