#include <cmath>
#include <optional>
#include <ostream>
#include <string_view>

#include "Commands.h"
#include "Errors.h"
#include "vexar/json.hpp"

namespace vexar::ctl {

namespace {
// The parameter a command names; the library's refusal, naming the command, otherwise.
vexar::ParameterName lookUp(const std::string& command, const std::string& nameOrId) {
    try {
        return vexar::parameterNamed(nameOrId);
    } catch (const vexar::Error& error) {
        throw reworded(error, command + " ");
    }
}

struct Assignment {
    std::string text;
    vexar::ParameterName parameter;
    vexar::Value value;
};

Assignment parseAssignment(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        throw badInput("set " + text + ": expected NAME=VALUE");
    }
    vexar::ParameterName parameter = lookUp("set", text.substr(0, equals));
    try {
        vexar::Value value = vexar::valueFor(parameter, std::string_view(text).substr(equals + 1));
        return {text, std::move(parameter), std::move(value)};
    } catch (const vexar::Error& error) {
        throw retold("set " + text, error);
    }
}
}  // namespace

void runGet(Context& context, const std::vector<std::string>& names) {
    std::vector<vexar::ParameterName> wanted;
    for (const std::string& name : names) {
        wanted.push_back(lookUp("get", name));
    }
    // Text stops at the first failure, after the values before it; JSON, which must come out
    // whole, reports every parameter with its value or its error, then fails as text does.
    vexar::Json json = vexar::Json::array();
    std::optional<vexar::Error> failed;
    for (const vexar::ParameterName& parameter : wanted) {
        try {
            const vexar::Value value = context.camera.get(parameter.name);
            if (!context.json) {
                context.out << parameter.name << ": " << value.toString() << '\n';
                continue;
            }
            vexar::Json entry = {{"name", parameter.name},
                                 {"id", parameter.id},
                                 {"type", vexar::typeName(parameter.type)},
                                 {"unit", context.camera.parameter(parameter.name).unit}};
            vexar::putValue(entry, value);
            json.push_back(std::move(entry));
        } catch (const vexar::Error& error) {
            const vexar::Error reported = reworded(error, "get ");
            if (!context.json) {
                throw reported;
            }
            json.push_back({{"name", parameter.name},
                            {"id", parameter.id},
                            {"type", vexar::typeName(parameter.type)},
                            {"value", nullptr},
                            {"reason", "error"},
                            {"error", reported.what()}});
            failed = failed ? failed : reported;
        }
    }
    if (context.json) {
        context.out << json.dump(2) << '\n';
    }
    if (failed) {
        throw *failed;
    }
}

// One assignment as a script reads it: what was asked and what the module holds after it,
// null for a write-only parameter, and every other value the write moved.
vexar::Json appliedJson(const vexar::ParameterName& parameter, const vexar::Applied& applied) {
    vexar::Json written = vexar::toJson(applied.state);
    return {{"name", applied.name},
            {"id", parameter.id},
            {"requested", vexar::toJson(applied.requested)},
            {"applied", applied.applied ? vexar::toJson(*applied.applied) : vexar::Json(nullptr)},
            {"outside_range", applied.outsideAdvertisedRange},
            {"changed", std::move(written["changed"])},
            {"assumed", std::move(written["assumed"])}};
}

void reportStateWritten(Context& context, const std::string& what,
                        const vexar::StateWritten& written) {
    for (const std::string& name : written.assumed) {
        context.err << "vexar-ctl: warning: " << what << ": " << name
                    << " written at its power-on value "
                    << vexar::Value(vexar::kPowerOnVoltage).toString()
                    << ", nothing being known of it\n";
    }
}

void runSet(Context& context, const std::vector<std::string>& assignments) {
    std::vector<Assignment> parsed;
    for (const std::string& text : assignments) {
        parsed.push_back(parseAssignment(text));
        const vexar::Value& value = parsed.back().value;
        if (value.isFloat() && !std::isfinite(value.asFloat()) && !context.force) {
            throw badInput("set " + text + ": not a finite number (--force writes it anyway)");
        }
    }
    vexar::Json json = vexar::Json::array();
    for (const Assignment& assignment : parsed) {
        const std::string what = "set " + assignment.text;
        std::optional<vexar::Applied> done;
        try {
            done = context.camera.set(assignment.parameter.name, assignment.value,
                                      vexar::WriteOptions{true, context.force});
        } catch (const vexar::Error& error) {
            throw retold(what, error);
        }
        const vexar::Applied& applied = *done;
        reportStateWritten(context, what, applied.state);
        if (context.json) {
            json.push_back(appliedJson(assignment.parameter, applied));
            continue;
        }
        if (context.quiet) {
            continue;
        }
        if (applied.outsideAdvertisedRange) {
            context.err << "vexar-ctl: warning: " << what << ": outside the advertised range "
                        << applied.range->toString() << '\n';
        }
        if (applied.applied && applied.applied->toString() != applied.requested.toString()) {
            context.out << applied.name << ": " << applied.requested.toString() << " -> "
                        << applied.applied->toString() << '\n';
        }
        for (const vexar::Change& change : applied.state.changed) {
            context.out << change.name << ": " << change.before.toString() << " -> "
                        << change.after.toString() << " (moved by " << applied.name << ")\n";
        }
    }
    if (context.json) {
        context.out << json.dump(2) << '\n';
    }
}

}  // namespace vexar::ctl
