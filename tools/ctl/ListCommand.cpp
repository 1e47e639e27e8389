#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>

#include "tools/ctl/Commands.h"

namespace Lumivor::Ctl {

namespace {
using RangeWire::Bounds;
using RangeWire::RangeDescription;
using RangeWire::RegionBounds;

std::string number(float v) {
    return formatFloat(v);
}
std::string number(int v) {
    return std::to_string(v);
}
Json jsonNumber(float v) {
    return floatToJson(v);
}
Json jsonNumber(int v) {
    return v;
}

template <typename T>
Json boundsJson(const Bounds<T>& b) {
    return {{"min", jsonNumber(b.minimum)},
            {"max", jsonNumber(b.maximum)},
            {"step", jsonNumber(b.step)}};
}

// The four region components, named as the region's fields.
template <typename Visit>
void forEachComponent(const RegionBounds& r, Visit visit) {
    visit("x", r.x);
    visit("y", r.y);
    visit("width", r.width);
    visit("height", r.height);
}

struct RangeText {
    template <typename T>
    std::string operator()(const Bounds<T>& b) const {
        return "min=" + number(b.minimum) + " max=" + number(b.maximum) + " step=" + number(b.step);
    }
    std::string operator()(const std::vector<int>& values) const {
        std::string text = "values=";
        for (std::size_t i = 0; i < values.size(); ++i) {
            text.append(i == 0 ? "" : ",").append(std::to_string(values[i]));
        }
        return text;
    }
    std::string operator()(const RegionBounds& r) const {
        std::string text;
        forEachComponent(r, [&](const char* name, const Bounds<int>& b) {
            // Appended piece by piece: GCC 12 at -O3 sees a false overlap in a chain of +.
            text.append(text.empty() ? "" : " ").append(name).append("=");
            text.append(number(b.minimum)).append("..").append(number(b.maximum));
            text.append("/").append(number(b.step));
        });
        return text;
    }
};

struct RangeJson {
    template <typename T>
    Json operator()(const Bounds<T>& b) const {
        return boundsJson(b);
    }
    Json operator()(const std::vector<int>& values) const { return {{"values", values}}; }
    Json operator()(const RegionBounds& r) const {
        Json json = Json::object();
        forEachComponent(
            r, [&](const char* name, const Bounds<int>& b) { json[name] = boundsJson(b); });
        return json;
    }
};

// One parameter as the plug-in describes it. A write-only parameter is not read at all.
struct Row {
    const ParameterInfo& parameter;
    std::uint32_t unit;
    std::uint32_t access;
    std::optional<RangeDescription> range;
    std::optional<Value> value;
};

Row describe(const Session& session, const ParameterInfo& p) {
    const std::string what = "list: " + std::string(p.name);
    Row row{p, session.unit(p, what), session.access(p, what), session.range(p, what), {}};
    if (row.access != code(AccessMode::WriteOnly)) {
        Value value;
        session.check(session.read(p, value), what);
        row.value = value;
    }
    return row;
}
}  // namespace

std::string describeRange(const RangeDescription& range) {
    return std::visit(RangeText{}, range.numbers);
}

void runList(Context& context) {
    std::vector<Row> rows;
    for (const ParameterInfo& p : parameters()) {
        rows.push_back(describe(context.session, p));
    }
    if (context.json) {
        Json json = Json::array();
        for (const Row& row : rows) {
            json.push_back({{"name", row.parameter.name},
                            {"id", row.parameter.id},
                            {"type", valueTypeName(row.parameter.type)},
                            {"unit", unitName(row.unit)},
                            {"access", accessName(row.access)},
                            {"range", row.range ? std::visit(RangeJson{}, row.range->numbers)
                                                : Json(nullptr)}});
            putValue(json.back(), row.value);
        }
        context.out << json.dump(2) << '\n';
        return;
    }
    for (const Row& row : rows) {
        const std::string range = row.range ? std::visit(RangeText{}, row.range->numbers) : "";
        char head[96];
        std::snprintf(head, sizeof head,
                      "%24s %2u (%-6s) unit=%-4s %-10s :", std::string(row.parameter.name).c_str(),
                      row.parameter.id, std::string(valueTypeName(row.parameter.type)).c_str(),
                      unitName(row.unit).c_str(), accessName(row.access).c_str());
        context.out << head << (range.empty() ? "" : " ") << range
                    << " value=" << (row.value ? formatValue(*row.value) : "write-only") << '\n';
    }
}

}  // namespace Lumivor::Ctl
