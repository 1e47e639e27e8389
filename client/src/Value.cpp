// The public value: its type, the value itself, conversion between types and comparison.
#include "vexar/value.hpp"

#include <bit>
#include <cmath>
#include <cstdio>

#include "vexar/error.hpp"

namespace vexar {

std::string_view typeName(ValueType type) {
    switch (type) {
        case ValueType::Float:
            return "float";
        case ValueType::Int:
            return "int";
        case ValueType::Bool:
            return "bool";
        case ValueType::Region:
            break;
    }
    return "region";
}

std::string aValueOf(ValueType type) {
    return (type == ValueType::Int ? "an " : "a ") + std::string(typeName(type));
}

namespace detail {
void throwIntDoesNotFit(const std::string& number) {
    throw Error(ErrorKind::BadInput, number + " does not fit a 32-bit integer");
}

void throwFloatDoesNotFit(long double number) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9Lg", number);
    throw Error(ErrorKind::BadInput,
                std::string(text) + " does not fit single precision (" +
                    (std::fabs(number) < 1 ? "it would be 0)" : "it would be infinite)"));
}
}  // namespace detail

Value::Value(Checked, std::int32_t value) : value_(value) {}
Value::Value(Checked, float value, bool rounded) : value_(value), rounded_(rounded) {}
Value::Value(bool value) : value_(value) {}
Value::Value(Region value) : value_(value) {}

ValueType Value::type() const {
    return static_cast<ValueType>(value_.index());
}
bool Value::isFloat() const {
    return std::holds_alternative<float>(value_);
}
bool Value::isInt() const {
    return std::holds_alternative<std::int32_t>(value_);
}
bool Value::isBool() const {
    return std::holds_alternative<bool>(value_);
}
bool Value::isRegion() const {
    return std::holds_alternative<Region>(value_);
}

namespace {
[[noreturn]] void wrongType(const Value& value, ValueType wanted) {
    throw Error(ErrorKind::BadInput,
                value.toString() + " is " + aValueOf(value.type()) + ", not " + aValueOf(wanted));
}
}  // namespace

float Value::asFloat() const {
    if (!isFloat()) wrongType(*this, ValueType::Float);
    return std::get<float>(value_);
}

std::int32_t Value::asInt() const {
    if (!isInt()) wrongType(*this, ValueType::Int);
    return std::get<std::int32_t>(value_);
}

bool Value::asBool() const {
    if (!isBool()) wrongType(*this, ValueType::Bool);
    return std::get<bool>(value_);
}

Region Value::asRegion() const {
    if (!isRegion()) wrongType(*this, ValueType::Region);
    return std::get<Region>(value_);
}

std::optional<Value> Value::as(ValueType wanted) const {
    if (type() == wanted) {
        return *this;
    }
    if (wanted == ValueType::Float && isInt()) {
        return Value(static_cast<float>(asInt()));
    }
    if (wanted == ValueType::Int && isFloat() && !rounded_) {
        const float v = asFloat();
        if (std::isfinite(v) && std::trunc(v) == v && v >= -2147483648.0f && v < 2147483648.0f) {
            return Value(static_cast<std::int32_t>(v));
        }
    }
    return std::nullopt;
}

bool Value::operator==(const Value& other) const {
    if (isFloat() && other.isFloat()) {
        return std::bit_cast<std::uint32_t>(asFloat()) ==
               std::bit_cast<std::uint32_t>(other.asFloat());
    }
    return value_ == other.value_;
}

}  // namespace vexar
