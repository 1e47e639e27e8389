#pragma once

#include <cstdint>

#include "host/ParameterTypes.h"
#include "host/RegionOfInterestInternal.h"

namespace Lumivor {

// One value of one parameter, boxed so that a table can hold values of every type side by
// side while a system state travels between its byte form and the parameters.
class ParameterValue {
  public:
    ParameterValue(std::uint32_t valueType, std::uint32_t parameterType)
        : valueType_(valueType), parameterType_(parameterType) {}
    ParameterValue(const ParameterValue&) = delete;
    ParameterValue& operator=(const ParameterValue&) = delete;
    virtual ~ParameterValue() = default;

    virtual std::uint32_t getParameterType() const { return parameterType_; }
    virtual std::uint32_t getValueType() const { return valueType_; }

  private:
    std::uint32_t valueType_;
    std::uint32_t parameterType_;
};

template <typename T>
class ParameterValueImpl final : public ParameterValue {
  public:
    ParameterValueImpl(std::uint32_t valueType, std::uint32_t parameterType, const T& value)
        : ParameterValue(valueType, parameterType), value_(value) {}

    T getValue() const { return value_; }
    void setValue(const T& value) { value_ = value; }

  private:
    T value_;
};

}  // namespace Lumivor
