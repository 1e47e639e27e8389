#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "vexar/export.hpp"

namespace vexar {

// A rectangle of the 320 x 240 sensor, in pixels.
struct Region {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const Region&) const = default;
};

// The value types of the plug-in's typed exports.
enum class ValueType { Float, Int, Bool, Region };

// "float", "int", "bool", "region".
VEXAR_CLIENT_API std::string_view typeName(ValueType type);
// "a float", "an int", "a bool", "a region": what a message says a parameter takes.
VEXAR_CLIENT_API std::string aValueOf(ValueType type);

namespace detail {
// Error(BadInput) saying that the number does not fit; out of line, so that this header needs
// no more than it declares.
[[noreturn]] VEXAR_CLIENT_API void throwIntDoesNotFit(const std::string& number);
[[noreturn]] VEXAR_CLIENT_API void throwFloatDoesNotFit(long double number);
}  // namespace detail

// One parameter value, in the type of the export that reads or writes it.
class VEXAR_CLIENT_API Value {
  public:
    // Any integer type: Error(BadInput) outside 32 bits, never a wrap.
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    Value(T value) : Value(Checked{}, checkedInt(value)) {}
    // Any floating type, held in single precision as parameters are: Error(BadInput) for a
    // finite number beyond it, or one that is not 0 but would become 0. NaN and the
    // infinities are values (whether a parameter takes them is set's to say).
    template <std::floating_point T>
    Value(T value) : Value(Checked{}, checkedFloat(value), value == value && value != float(value)) {}
    Value(bool value);
    Value(Region value);
    // Text is no value until a parameter's type reads it (parse, or valueFor): without this, a
    // string literal would become the flag true.
    Value(const char*) = delete;

    ValueType type() const;
    bool isFloat() const;
    bool isInt() const;
    bool isBool() const;
    bool isRegion() const;
    // The value itself; Error(BadInput) when it is of another type.
    float asFloat() const;
    std::int32_t asInt() const;
    bool asBool() const;
    Region asRegion() const;

    // The shortest text that reads back as the same value, as vexar-ctl prints it: "30",
    // "0.01", "nan" (whatever its sign: JSON keeps that, as "-nan"), "true", "0,0,320,240".
    std::string toString() const;

    // Text as people type it for a parameter of the type: numbers in decimal with an optional
    // sign (integers also in 0x-hexadecimal or as a whole decimal such as 8.0 or 8e0), floats
    // also "nan" and "inf", flags as 1/0,
    // true/false, on/off or yes/no in any case, a region as x,y,width,height. Nothing when the
    // text is not a value of the type.
    static std::optional<Value> parse(ValueType type, std::string_view text);

    // The same value in the given type where nothing is lost (an integer as a float, an
    // integral float as an integer, but not one that only became integral in single
    // precision, as 3.9999999 does); nothing otherwise.
    std::optional<Value> as(ValueType type) const;

    // Bitwise for floats, so that a NaN equals the same NaN and 0 differs from -0.
    bool operator==(const Value& other) const;

  private:
    // Out of line, as every member that touches the variant: an integrator's build then
    // instantiates none of it.
    struct Checked {};
    Value(Checked, std::int32_t value);
    Value(Checked, float value, bool rounded);

    template <typename T>
    static std::int32_t checkedInt(T value) {
        if (!std::in_range<std::int32_t>(value)) {
            detail::throwIntDoesNotFit(std::to_string(value));
        }
        return static_cast<std::int32_t>(value);
    }
    template <typename T>
    static float checkedFloat(T value) {
        using Float = std::numeric_limits<float>;
        const T magnitude = value < 0 ? -value : value;
        // NaN compares false and passes, as do the infinities, which are not "finite numbers
        // beyond": both are values of their own.
        if (magnitude > static_cast<T>(Float::max()) && magnitude != Float::infinity()) {
            detail::throwFloatDoesNotFit(static_cast<long double>(value));
        }
        if (magnitude > 0 && magnitude <= static_cast<T>(Float::max()) &&
            static_cast<float>(magnitude) == 0) {
            detail::throwFloatDoesNotFit(static_cast<long double>(value));
        }
        return static_cast<float>(value);
    }

    std::variant<float, std::int32_t, bool, Region> value_;
    bool rounded_ = false;  // made from a number single precision does not hold exactly
};

// Parameters by name (or identifier) with their values, in order: a profile's members.
using Settings = std::vector<std::pair<std::string, Value>>;

}  // namespace vexar
