// The public range: its text, whether a value lies inside, and its JSON form.
#include <algorithm>
#include <cmath>

#include "Values.h"
#include "vexar/camera.hpp"
#include "vexar/json.hpp"

namespace vexar {

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

}  // namespace vexar
