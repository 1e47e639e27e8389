#include <string>

#include "core/VEXARParameterInterpreter.h"
#include "host/Format.h"

namespace Lumivor {

namespace {
std::string formatWithId(const char* text, std::uint32_t id) {
    return Utils::Format(text) % static_cast<int>(id);
}

// The parameter of this identifier if it holds values of type T. A parameter of another value
// type is refused as an invalid argument before it could read or write a T it does not hold.
template <typename T>
ErrorCode lookUp(const ParameterTable& table, std::uint32_t id, const Parameter<T>** parameter) {
    const ParameterInternal* found = table.find(id);
    if (found == nullptr) {
        return Error::NotSupported;
    }
    if (found->getValueType() != code(ValueTypeOf<T>::value)) {
        return Error::InvalidArgument;
    }
    *parameter = static_cast<const Parameter<T>*>(found);
    return Error::Success;
}
}  // namespace

template <typename T>
ErrorCode VEXARParameterInterpreter::readValue(std::uint32_t id, T* value) {
    if (value == nullptr) {
        return Error::InvalidArgument;
    }
    const Parameter<T>* parameter = nullptr;
    ErrorCode status = lookUp(parameters_, id, &parameter);
    if (status == Error::NotSupported) {
        return status;
    }
    if (status == Error::Success) {
        status = parameter->read(context_, value);
    }
    if (status != Error::Success) {
        setLastError(formatWithId("failed to read parameter %", id));
    }
    return status;
}

template <typename T>
ErrorCode VEXARParameterInterpreter::writeValue(std::uint32_t id, const T& value) {
    const Parameter<T>* parameter = nullptr;
    ErrorCode status = lookUp(parameters_, id, &parameter);
    if (status == Error::NotSupported) {
        return status;
    }
    if (status == Error::Success) {
        status = parameter->write(context_, value);
    }
    if (status != Error::Success) {
        setLastError(formatWithId("failed to write parameter %", id));
    }
    return status;
}

template ErrorCode VEXARParameterInterpreter::readValue<int>(std::uint32_t, int*);
template ErrorCode VEXARParameterInterpreter::readValue<float>(std::uint32_t, float*);
template ErrorCode VEXARParameterInterpreter::readValue<bool>(std::uint32_t, bool*);
template ErrorCode VEXARParameterInterpreter::readValue<RegionOfInterestInternal>(
    std::uint32_t, RegionOfInterestInternal*);
template ErrorCode VEXARParameterInterpreter::writeValue<int>(std::uint32_t, const int&);
template ErrorCode VEXARParameterInterpreter::writeValue<float>(std::uint32_t, const float&);
template ErrorCode VEXARParameterInterpreter::writeValue<bool>(std::uint32_t, const bool&);
template ErrorCode VEXARParameterInterpreter::writeValue<RegionOfInterestInternal>(
    std::uint32_t, const RegionOfInterestInternal&);

}  // namespace Lumivor
