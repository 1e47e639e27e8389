#pragma once

#include "host/ParameterRange.h"

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

}  // namespace Lumivor::YorinD
