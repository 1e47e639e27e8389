#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

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

// One parameter value, in the type of the export that reads or writes it.
class VEXAR_CLIENT_API Value {
  public:
    Value(float value) : value_(value) {}
    // Doubles are what literals and other languages give; parameters hold single precision.
    Value(double value) : value_(static_cast<float>(value)) {}
    Value(std::int32_t value) : value_(value) {}
    Value(bool value) : value_(value) {}
    Value(Region value) : value_(value) {}

    ValueType type() const;
    bool isFloat() const { return std::holds_alternative<float>(value_); }
    bool isInt() const { return std::holds_alternative<std::int32_t>(value_); }
    bool isBool() const { return std::holds_alternative<bool>(value_); }
    bool isRegion() const { return std::holds_alternative<Region>(value_); }
    // The value itself; Error(BadInput) when it is of another type.
    float asFloat() const;
    std::int32_t asInt() const;
    bool asBool() const;
    Region asRegion() const;

    // The shortest text that reads back as the same value, as vexar-ctl prints it: "30",
    // "0.01", "nan", "-nan", "true", "0,0,320,240".
    std::string toString() const;

    // Text as people type it for a parameter of the type: numbers in decimal with an optional
    // sign (integers also in 0x-hexadecimal), floats also "nan" and "inf", flags as 1/0,
    // true/false, on/off or yes/no in any case, a region as x,y,width,height. Nothing when the
    // text is not a value of the type.
    static std::optional<Value> parse(ValueType type, std::string_view text);

    // The same value in the given type where nothing is lost (an integer as a float, an
    // integral float as an integer); nothing otherwise.
    std::optional<Value> as(ValueType type) const;

    // Bitwise for floats, so that a NaN equals the same NaN and 0 differs from -0.
    bool operator==(const Value& other) const;

  private:
    std::variant<float, std::int32_t, bool, Region> value_;
};

}  // namespace vexar
