#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "core/VEXARParameterInterpreter.h"

namespace Lumivor::YorinD {

// Reads sub-registers in the order given, each into its variable, and stops at the first
// failure, whose code it returns; variables after it keep their values.
inline ErrorCode readFields(
    VEXARParameterInterpreter& interpreter,
    std::initializer_list<std::pair<std::uint32_t, std::uint32_t*>> fields) {
    for (const auto& [index, value] : fields) {
        if (const ErrorCode status = interpreter.readSubRegister(index, value);
            status != Error::Success) {
            return status;
        }
    }
    return Error::Success;
}

}  // namespace Lumivor::YorinD
