#include <memory>
#include <string>

#include "core/VEXARParameterInterpreter.h"
#include "host/Format.h"

namespace Lumivor {

// Ranges are made fresh for every question and deleted once marshalled: nothing is cached, so
// an answer always reflects the parameter as it is.
ErrorCode VEXARParameterInterpreter::getParameterRange(std::uint32_t id, std::uint8_t* buffer,
                                                       std::uint32_t* size) {
    if (size == nullptr) {
        return Error::InvalidArgument;
    }
    const ParameterInternal* parameter = parameters_.find(id);
    if (parameter == nullptr) {
        setLastError(Utils::Format("Parameter % not defined") % static_cast<int>(id));
        return Error::NotSupported;
    }
    ParameterRangeBaseInternal* produced = nullptr;
    const ErrorCode rangeStatus = parameter->getRange(context_, &produced);
    const std::unique_ptr<ParameterRangeBaseInternal> range(produced);
    if (rangeStatus != Error::Success) {
        setLastError(Utils::Format("Could not get range for parameter %") % static_cast<int>(id));
        return rangeStatus;
    }
    const ErrorCode marshalStatus = range->marshal(buffer, size);
    if (marshalStatus != Error::Success) {
        setLastError(Utils::Format("Failed to marshal range for parameter %") %
                     static_cast<int>(id));
    }
    return marshalStatus;
}

}  // namespace Lumivor
