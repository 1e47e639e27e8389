#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "tools/ctl/Commands.h"
#include "tools/ctl/Errors.h"

namespace Lumivor::Ctl {

namespace {
const ParameterInfo& lookUp(const std::string& command, const std::string& nameOrId) {
    const ParameterInfo* parameter = findParameter(nameOrId);
    if (parameter == nullptr) {
        throw badInput(command + " " + nameOrId +
                       ": no such parameter (a name as 'list' shows it, or an id 0-15)");
    }
    return *parameter;
}

struct Assignment {
    std::string text;
    const ParameterInfo* parameter;
    Value value;
};

Assignment parseAssignment(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        throw badInput("set " + text + ": expected NAME=VALUE");
    }
    const ParameterInfo& parameter = lookUp("set", text.substr(0, equals));
    const auto value = parseValue(parameter.type, std::string_view(text).substr(equals + 1));
    if (!value) {
        throw badInput(
            "set " + text + ": not " + aValueOf(parameter.type) +
            (parameter.type == ValueType::RegionOfInterest ? " (x,y,width,height)" : ""));
    }
    return {text, &parameter, *value};
}

struct OutsideRange {
    const Value& value;
    template <typename T>
    bool operator()(const RangeWire::Bounds<T>& bounds) const {
        const double v = std::visit(Scalar{}, value);
        return std::isnan(v) || v < static_cast<double>(bounds.minimum) ||
               v > static_cast<double>(bounds.maximum);
    }
    bool operator()(const std::vector<int>& allowed) const {
        const double v = std::visit(Scalar{}, value);
        return std::ranges::none_of(allowed, [&](int a) { return a == v; });
    }
    bool operator()(const RangeWire::RegionBounds& bounds) const {
        const auto* region = std::get_if<RegionOfInterestInternal>(&value);
        const auto out = [](std::int32_t v, const RangeWire::Bounds<int>& b) {
            return v < b.minimum || v > b.maximum;
        };
        return region != nullptr &&
               (out(region->x, bounds.x) || out(region->y, bounds.y) ||
                out(region->width, bounds.width) || out(region->height, bounds.height));
    }
    struct Scalar {
        double operator()(float v) const { return v; }
        double operator()(std::int32_t v) const { return v; }
        double operator()(bool v) const { return v ? 1 : 0; }
        double operator()(const RegionOfInterestInternal&) const { return 0; }
    };
};

bool outside(const RangeWire::RangeDescription& range, const Value& value) {
    return std::visit(OutsideRange{value}, range.numbers);
}

// Why the exports refuse what no value could change.
std::string readHint(const Session& session, const ParameterInfo& parameter) {
    std::uint32_t access = 0;
    if (session.api().getAccessMode(session.instance(), parameter.id, &access) == VEXAR_SUCCESS &&
        access == code(AccessMode::WriteOnly)) {
        return " (" + std::string(parameter.name) + " is write-only)";
    }
    return {};
}

std::string writeHint(const Session& session, const ParameterInfo& parameter) {
    if (parameter.id == DealiasingOn || parameter.id == RegionOfInterest) {
        return " (the plug-in's exports do not write " + std::string(parameter.name) +
               "; a system state does: see 'state load')";
    }
    std::uint32_t access = 0;
    if (session.api().getAccessMode(session.instance(), parameter.id, &access) == VEXAR_SUCCESS &&
        access == code(AccessMode::ReadOnly)) {
        return " (" + std::string(parameter.name) + " is read-only)";
    }
    return {};
}
}  // namespace

void runGet(Context& context, const std::vector<std::string>& names) {
    std::vector<const ParameterInfo*> wanted;
    for (const std::string& name : names) {
        wanted.push_back(&lookUp("get", name));
    }
    // Text stops at the first failure, after the values before it; JSON, which must come out
    // whole, reports every parameter with its value or its error, then fails as text does.
    Json json = Json::array();
    std::optional<CommandError> failed;
    for (const ParameterInfo* parameter : wanted) {
        const std::string what = "get " + std::string(parameter->name);
        try {
            Value value;
            const std::int32_t status = context.session.read(*parameter, value);
            if (status != VEXAR_SUCCESS) {
                const std::string hint = status == VEXAR_NOT_SUPPORTED
                                             ? readHint(context.session, *parameter)
                                             : std::string();
                context.session.check(status, what, hint);
            }
            if (!context.json) {
                context.out << parameter->name << ": " << formatValue(value) << '\n';
                continue;
            }
            Json entry = {{"name", parameter->name},
                          {"id", parameter->id},
                          {"type", valueTypeName(parameter->type)},
                          {"unit", unitName(context.session.unit(*parameter, what))}};
            putValue(entry, value);
            json.push_back(std::move(entry));
        } catch (const CommandError& error) {
            if (!context.json) {
                throw;
            }
            json.push_back({{"name", parameter->name},
                            {"id", parameter->id},
                            {"type", valueTypeName(parameter->type)},
                            {"value", nullptr},
                            {"reason", "error"},
                            {"error", error.what()}});
            failed = failed ? failed : error;
        }
    }
    if (context.json) {
        context.out << json.dump(2) << '\n';
    }
    if (failed) {
        throw *failed;
    }
}

void runSet(Context& context, const std::vector<std::string>& assignments) {
    std::vector<Assignment> parsed;
    for (const std::string& text : assignments) {
        parsed.push_back(parseAssignment(text));
        const float* number = std::get_if<float>(&parsed.back().value);
        if (number != nullptr && !std::isfinite(*number) && !context.force) {
            throw badInput("set " + text + ": not a finite number (--force writes it anyway)");
        }
    }
    Session& session = context.session;
    for (const Assignment& assignment : parsed) {
        const ParameterInfo& parameter = *assignment.parameter;
        const std::string what = "set " + assignment.text;
        const auto range = session.range(parameter, what);
        session.takeLastError();  // the range query's text must not pass for the write's
        const std::int32_t status = session.write(parameter, assignment.value);
        if (status != VEXAR_SUCCESS) {
            std::string hint;
            if (status == VEXAR_NOT_SUPPORTED) {
                hint = writeHint(session, parameter);
            } else if (range) {
                hint = " (allowed: " + describeRange(*range) + ")";
            }
            session.check(status, what, hint);
        }
        if (context.quiet) {
            continue;
        }
        if (range && outside(*range, assignment.value)) {
            context.err << "vexar-ctl: warning: " << what << ": outside the advertised range "
                        << describeRange(*range) << '\n';
        }
        // What the module holds may differ from what was asked: quantised to register steps or
        // cut to a field's width. Only a readable parameter can tell.
        Value applied;
        if (session.read(parameter, applied) != VEXAR_SUCCESS) {
            session.takeLastError();
            continue;
        }
        if (formatValue(applied) != formatValue(assignment.value)) {
            context.out << parameter.name << ": " << formatValue(assignment.value) << " -> "
                        << formatValue(applied) << '\n';
        }
    }
}

}  // namespace Lumivor::Ctl
