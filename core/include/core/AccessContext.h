#pragma once

#include "vexar_param_interp.h"

namespace Lumivor {

class VEXARParameterInterpreter;

// What every parameter operation receives: the host's bus and the interpreter it works for.
struct AccessContext {
    void* hostContext = nullptr;
    RegisterReadCallback readCallback = nullptr;
    RegisterWriteCallback writeCallback = nullptr;
    VEXARParameterInterpreter* interpreter = nullptr;
};

}  // namespace Lumivor
