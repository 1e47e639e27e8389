#pragma once

#include <cstdint>
#include <initializer_list>

#include "core/VEXARParameterInterpreter.h"
#include "host/ErrorCode.h"

namespace Lumivor {

// Every conversion of the plug-in touches its fields in a fixed order and gives up at the first
// failure, handing its code back as it came: variables after a failed read keep their values and
// fields written before a failed write stay written, as they would on the module.

struct FieldRead {
    std::uint32_t index;
    std::uint32_t* value;
};

struct FieldWrite {
    std::uint32_t index;
    std::uint32_t value;
};

inline ErrorCode readFields(VEXARParameterInterpreter& interpreter,
                            std::initializer_list<FieldRead> reads) {
    for (const FieldRead& read : reads) {
        if (const ErrorCode status = interpreter.readSubRegister(read.index, read.value);
            status != Error::Success) {
            return status;
        }
    }
    return Error::Success;
}

// Each write is its own read-modify-write of the register, so a later field of the same register
// sees an earlier one.
inline ErrorCode writeFields(VEXARParameterInterpreter& interpreter,
                             std::initializer_list<FieldWrite> writes) {
    for (const FieldWrite& write : writes) {
        if (const ErrorCode status = interpreter.writeSubRegister(write.index, write.value);
            status != Error::Success) {
            return status;
        }
    }
    return Error::Success;
}

// The largest values the fields hold; no bus traffic.
inline ErrorCode fieldMaxima(VEXARParameterInterpreter& interpreter,
                             std::initializer_list<FieldRead> maxima) {
    for (const FieldRead& maximum : maxima) {
        if (const ErrorCode status =
                interpreter.getSubRegisterMaximum(maximum.index, maximum.value);
            status != Error::Success) {
            return status;
        }
    }
    return Error::Success;
}

}  // namespace Lumivor
