#pragma once

#include "vexar_param_interp.h"

namespace Lumivor::YorinD {

// True for the one module key and descriptor that this variant serves.
bool servesModule(const ModuleKey& key, const ModuleDescriptor& descriptor);

}  // namespace Lumivor::YorinD
