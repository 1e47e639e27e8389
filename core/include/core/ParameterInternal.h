#pragma once

#include <cstdint>

#include "core/AccessContext.h"
#include "core/ErrorCode.h"
#include "host/ParameterRange.h"
#include "host/ParameterTypes.h"
#include "host/RegionOfInterestInternal.h"

namespace Lumivor {

template <typename T>
struct ValueTypeOf;
template <>
struct ValueTypeOf<float> {
    static constexpr ValueType value = ValueType::Float;
};
template <>
struct ValueTypeOf<int> {
    static constexpr ValueType value = ValueType::Int;
};
template <>
struct ValueTypeOf<bool> {
    static constexpr ValueType value = ValueType::Bool;
};
template <>
struct ValueTypeOf<RegionOfInterestInternal> {
    static constexpr ValueType value = ValueType::RegionOfInterest;
};

// A camera setting the host can name. Parameter objects are stateless: every operation reads
// what it needs from the sensor, from other parameters or from the interpreter.
class ParameterInternal {
  public:
    ParameterInternal(ParameterType id, ValueType valueType) : id_(id), valueType_(valueType) {}
    ParameterInternal(const ParameterInternal&) = delete;
    ParameterInternal& operator=(const ParameterInternal&) = delete;
    virtual ~ParameterInternal() = default;

    virtual std::uint32_t getValueType() const { return code(valueType_); }
    virtual std::uint32_t getUnitType() const = 0;
    virtual std::uint32_t getAccessMode() const = 0;
    // Hands out a new range object that the caller owns, or answers NotSupported.
    virtual ErrorCode getRange(const AccessContext& context,
                               ParameterRangeBaseInternal** range) const = 0;

    ParameterType id() const { return id_; }

  private:
    ParameterType id_;
    ValueType valueType_;
};

template <typename T>
class Parameter : public ParameterInternal {
  public:
    explicit Parameter(ParameterType id) : ParameterInternal(id, ValueTypeOf<T>::value) {}

    // Checks the value before any bus traffic, then writes its fields in a fixed order and
    // stops at the first failure without undoing what was written.
    virtual ErrorCode write(const AccessContext& context, T value) const = 0;
    // Stores into *value only on success.
    virtual ErrorCode read(const AccessContext& context, T* value) const = 0;
};

// A parameter of the catalogue with its unit and access mode fixed by its class. Operations the
// class does not override answer NotSupported and touch nothing.
template <typename T, UnitType Unit, AccessMode Access>
class CatalogueParameter : public Parameter<T> {
  public:
    using Parameter<T>::Parameter;

    std::uint32_t getUnitType() const final { return code(Unit); }
    std::uint32_t getAccessMode() const final { return code(Access); }
    ErrorCode getRange(const AccessContext&, ParameterRangeBaseInternal**) const override {
        return Error::NotSupported;
    }
    ErrorCode write(const AccessContext&, T) const override { return Error::NotSupported; }
    ErrorCode read(const AccessContext&, T*) const override { return Error::NotSupported; }
};

}  // namespace Lumivor
