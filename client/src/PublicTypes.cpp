// The public value, range and error types: what they print and how they compare.
#include <bit>
#include <cmath>
#include <cstdio>

#include "Conversions.h"
#include "ModuleIdentity.h"
#include "Parameters.h"
#include "vexar/camera.hpp"

namespace vexar::detail {

vexar::ValueType toPublic(ValueType type) {
    switch (type) {
        case ValueType::Float:
            return vexar::ValueType::Float;
        case ValueType::Int:
            return vexar::ValueType::Int;
        case ValueType::Bool:
            return vexar::ValueType::Bool;
        case ValueType::RegionOfInterest:
            break;
    }
    return vexar::ValueType::Region;
}

ValueType toInternal(vexar::ValueType type) {
    switch (type) {
        case vexar::ValueType::Float:
            return ValueType::Float;
        case vexar::ValueType::Int:
            return ValueType::Int;
        case vexar::ValueType::Bool:
            return ValueType::Bool;
        case vexar::ValueType::Region:
            break;
    }
    return ValueType::RegionOfInterest;
}

vexar::Value toPublic(const Value& value) {
    struct Convert {
        vexar::Value operator()(float v) const { return v; }
        vexar::Value operator()(std::int32_t v) const { return v; }
        vexar::Value operator()(bool v) const { return v; }
        vexar::Value operator()(const RegionOfInterestInternal& r) const {
            return vexar::Region{r.x, r.y, r.width, r.height};
        }
    };
    return std::visit(Convert{}, value);
}

Value toInternal(const vexar::Value& value) {
    switch (value.type()) {
        case vexar::ValueType::Float:
            return value.asFloat();
        case vexar::ValueType::Int:
            return value.asInt();
        case vexar::ValueType::Bool:
            return value.asBool();
        case vexar::ValueType::Region:
            break;
    }
    const vexar::Region r = value.asRegion();
    return RegionOfInterestInternal{r.x, r.y, r.width, r.height};
}

vexar::Range toPublic(const Lumivor::RangeWire::RangeDescription& range) {
    struct Convert {
        vexar::Range operator()(const Lumivor::RangeWire::Bounds<int>& b) const {
            return {vexar::Bounds<std::int32_t>{b.minimum, b.maximum, b.step}};
        }
        vexar::Range operator()(const Lumivor::RangeWire::Bounds<float>& b) const {
            return {vexar::Bounds<float>{b.minimum, b.maximum, b.step}};
        }
        vexar::Range operator()(const std::vector<int>& values) const {
            return {std::vector<std::int32_t>(values.begin(), values.end())};
        }
        vexar::Range operator()(const Lumivor::RangeWire::RegionBounds& r) const {
            const auto one = [](const Lumivor::RangeWire::Bounds<int>& b) {
                return vexar::Bounds<std::int32_t>{b.minimum, b.maximum, b.step};
            };
            return {vexar::RegionBounds{one(r.x), one(r.y), one(r.width), one(r.height)}};
        }
    };
    return std::visit(Convert{}, range.numbers);
}

vexar::Access toPublicAccess(std::uint32_t access) {
    switch (static_cast<AccessMode>(access)) {
        case AccessMode::ReadOnly:
            return vexar::Access::ReadOnly;
        case AccessMode::WriteOnly:
            return vexar::Access::WriteOnly;
        case AccessMode::ReadWrite:
            break;
    }
    return vexar::Access::ReadWrite;
}

std::string describeRange(const Lumivor::RangeWire::RangeDescription& range) {
    return toPublic(range).toString();
}

}  // namespace vexar::detail

namespace vexar {

std::string_view typeName(ValueType type) {
    return detail::valueTypeName(detail::toInternal(type));
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

std::string Value::toString() const {
    return detail::formatValue(detail::toInternal(*this));
}

std::optional<Value> Value::parse(ValueType type, std::string_view text) {
    const auto parsed = detail::parseValue(detail::toInternal(type), text);
    if (!parsed) {
        return std::nullopt;
    }
    return detail::toPublic(*parsed);
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

std::string_view accessName(Access access) {
    switch (access) {
        case Access::ReadOnly:
            return "read-only";
        case Access::WriteOnly:
            return "write-only";
        case Access::ReadWrite:
            break;
    }
    return "read-write";
}

namespace {
std::string number(float v) {
    return detail::formatFloat(v);
}
std::string number(std::int32_t v) {
    return std::to_string(v);
}

struct RangeText {
    template <typename T>
    std::string operator()(const Bounds<T>& b) const {
        return "min=" + number(b.minimum) + " max=" + number(b.maximum) + " step=" + number(b.step);
    }
    std::string operator()(const std::vector<std::int32_t>& values) const {
        std::string text = "values=";
        for (std::size_t i = 0; i < values.size(); ++i) {
            text.append(i == 0 ? "" : ",").append(std::to_string(values[i]));
        }
        return text;
    }
    std::string operator()(const RegionBounds& r) const {
        std::string text;
        const std::pair<const char*, const Bounds<std::int32_t>*> parts[] = {
            {"x", &r.x}, {"y", &r.y}, {"width", &r.width}, {"height", &r.height}};
        for (const auto& [name, b] : parts) {
            // Appended piece by piece: GCC 12 at -O3 sees a false overlap in a chain of +.
            text.append(text.empty() ? "" : " ").append(name).append("=");
            text.append(number(b->minimum)).append("..").append(number(b->maximum));
            text.append("/").append(number(b->step));
        }
        return text;
    }
};

double scalar(const Value& value) {
    switch (value.type()) {
        case ValueType::Float:
            return value.asFloat();
        case ValueType::Int:
            return value.asInt();
        case ValueType::Bool:
            return value.asBool() ? 1 : 0;
        case ValueType::Region:
            break;
    }
    return 0;
}

struct Inside {
    const Value& value;
    template <typename T>
    bool operator()(const Bounds<T>& b) const {
        const double v = scalar(value);
        return !std::isnan(v) && v >= static_cast<double>(b.minimum) &&
               v <= static_cast<double>(b.maximum);
    }
    bool operator()(const std::vector<std::int32_t>& allowed) const {
        const double v = scalar(value);
        return std::ranges::any_of(allowed, [&](std::int32_t a) { return a == v; });
    }
    bool operator()(const RegionBounds& b) const {
        if (!value.isRegion()) {
            return true;
        }
        const Region r = value.asRegion();
        const auto in = [](std::int32_t v, const Bounds<std::int32_t>& bounds) {
            return v >= bounds.minimum && v <= bounds.maximum;
        };
        return in(r.x, b.x) && in(r.y, b.y) && in(r.width, b.width) && in(r.height, b.height);
    }
};
}  // namespace

std::string Range::toString() const {
    return std::visit(RangeText{}, numbers);
}

bool Range::contains(const Value& value) const {
    return std::visit(Inside{value}, numbers);
}

std::string Error::codeName() const {
    if (!details_.code) {
        return {};
    }
    const std::string described = describeCode(*details_.code);
    return described.substr(0, described.find(' '));
}

std::string describeCode(std::int32_t code) {
    return detail::describeCode(code);
}

ModuleIdentity ModuleIdentity::builtIn() {
    return detail::builtInIdentity();
}

ModuleIdentity ModuleIdentity::load(const std::string& file) {
    return detail::loadModuleIdentity(file);
}

}  // namespace vexar

// The JSON and file forms, for every front end alike.
#include "CalibrationJson.h"
#include "Errors.h"
#include "Files.h"
#include "StateRecords.h"
#include "io/BoundedJson.h"
#include "io/InputReader.h"
#include "vexar/files.hpp"
#include "vexar/json.hpp"

namespace vexar {

Json toJson(const Value& value) {
    return detail::toJson(detail::toInternal(value));
}

std::optional<Value> valueFromJson(ValueType type, const Json& json) {
    const auto value = detail::fromJson(detail::toInternal(type), json);
    return value ? std::optional(detail::toPublic(*value)) : std::nullopt;
}

Json toJson(const Settings& members) {
    Json json = Json::object();
    for (const auto& [name, value] : members) {
        json[name] = toJson(value);
    }
    return json;
}

Settings settingsFromJson(const Json& profile) {
    return detail::toSettings(detail::stateFromJson(profile));
}

Json calibrationToJson(std::span<const std::uint8_t> record) {
    const auto parsed = detail::parseCalibration({record.begin(), record.end()});
    if (!parsed) {
        throw detail::badInput("not a calibration record");
    }
    return detail::calibrationToJson(*parsed);
}

std::vector<std::uint8_t> calibrationFromJson(const Json& record) {
    return detail::calibrationFromJson(record).serialize();
}

Json floatToJson(float value) {
    return detail::floatToJson(value);
}

void putValue(Json& object, const std::optional<Value>& value) {
    detail::putValue(object, value ? std::optional(detail::toInternal(*value)) : std::nullopt);
}

namespace {
template <typename T>
Json boundsJson(const Bounds<T>& b) {
    if constexpr (std::is_same_v<T, float>) {
        return {{"min", floatToJson(b.minimum)},
                {"max", floatToJson(b.maximum)},
                {"step", floatToJson(b.step)}};
    } else {
        return {{"min", b.minimum}, {"max", b.maximum}, {"step", b.step}};
    }
}

struct RangeJson {
    template <typename T>
    Json operator()(const Bounds<T>& b) const {
        return boundsJson(b);
    }
    Json operator()(const std::vector<std::int32_t>& values) const { return {{"values", values}}; }
    Json operator()(const RegionBounds& r) const {
        return {{"x", boundsJson(r.x)},
                {"y", boundsJson(r.y)},
                {"width", boundsJson(r.width)},
                {"height", boundsJson(r.height)}};
    }
};
}  // namespace

Json toJson(const Range& range) {
    return std::visit(RangeJson{}, range.numbers);
}

Json parseJson(std::string_view text, const std::string& shown) {
    return detail::io::parseBoundedJson(text, shown);
}

namespace {
const detail::io::InputKind& inputKind(FileKind kind) {
    switch (kind) {
        case FileKind::Calibration:
            return detail::io::kCalibrationInput;
        case FileKind::ModuleIdentity:
            return detail::io::kModuleIdentityInput;
        case FileKind::State:
            break;
    }
    return detail::io::kStateInput;
}
}  // namespace

std::vector<std::uint8_t> readFile(const std::filesystem::path& base, const std::string& name,
                                   std::istream& standardInput, FileKind kind) {
    return detail::readFile(base, name, standardInput, inputKind(kind));
}

void writeFile(const std::filesystem::path& base, const std::string& name,
               const std::vector<std::uint8_t>& bytes, std::ostream& standardOutput) {
    detail::writeFile(base, name, bytes, standardOutput);
}

bool looksLikeJson(const std::vector<std::uint8_t>& bytes) {
    return detail::looksLikeJson(bytes);
}

}  // namespace vexar
