#pragma once

#include <cstdint>
#include <initializer_list>

#include "core/VEXARParameterInterpreter.h"
#include "host/ErrorCode.h"
#include "host/ParameterRange.h"
#include "variant/ReadFields.h"

namespace Lumivor::YorinD {

// The numbers of a float range as the host is shown them.
struct FloatBounds {
    float minimum;
    float maximum;
    float step;
};

inline ParameterRangeBaseInternal* makeFloatRange(const FloatBounds& bounds) {
    return new ParameterRangeInternal<float>(MinMaxStepRange, bounds.minimum, bounds.maximum,
                                             bounds.step);
}

// Parameter conversions touch their fields in a fixed order and give up at the first failure,
// handing its code back as it came; these run such a sequence and keep nothing of their own
// (readFields, for plain field reads, is in ReadFields.h).

struct FieldMaximum {
    std::uint32_t index;
    std::uint32_t* value;
};

struct FieldWrite {
    std::uint32_t index;
    std::uint32_t value;
};

inline ErrorCode fieldMaxima(VEXARParameterInterpreter& interpreter,
                             std::initializer_list<FieldMaximum> maxima) {
    for (const FieldMaximum& maximum : maxima) {
        if (const ErrorCode status =
                interpreter.getSubRegisterMaximum(maximum.index, maximum.value);
            status != Error::Success) {
            return status;
        }
    }
    return Error::Success;
}

// Fields already written stay written when a later one fails.
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

}  // namespace Lumivor::YorinD
