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

namespace detail {
template <typename Item, typename Operation>
ErrorCode untilFailure(std::initializer_list<Item> items, Operation operation) {
    for (const Item& item : items) {
        if (const ErrorCode status = operation(item); status != Error::Success) {
            return status;
        }
    }
    return Error::Success;
}
}  // namespace detail

inline ErrorCode readFields(VEXARParameterInterpreter& interpreter,
                            std::initializer_list<FieldRead> reads) {
    return detail::untilFailure(reads, [&](const FieldRead& read) {
        return interpreter.readSubRegister(read.index, read.value);
    });
}

// Each write is its own read-modify-write of the register, so a later field of the same register
// sees an earlier one.
inline ErrorCode writeFields(VEXARParameterInterpreter& interpreter,
                             std::initializer_list<FieldWrite> writes) {
    return detail::untilFailure(writes, [&](const FieldWrite& write) {
        return interpreter.writeSubRegister(write.index, write.value);
    });
}

// The largest values the fields hold; no bus traffic.
inline ErrorCode fieldMaxima(VEXARParameterInterpreter& interpreter,
                             std::initializer_list<FieldRead> maxima) {
    return detail::untilFailure(maxima, [&](const FieldRead& maximum) {
        return interpreter.getSubRegisterMaximum(maximum.index, maximum.value);
    });
}

}  // namespace Lumivor
