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

// The library says that a system state writes the parameter; the tool names its command.
vexar::Error stateLoadHint(const vexar::Error& error) {
    constexpr std::string_view kStateDoes = "; a system state does)";
    std::string reason = error.reason();
    if (error.kind() != vexar::ErrorKind::Refused || !reason.ends_with(kStateDoes)) {
        return error;
    }
    reason.insert(reason.size() - 1, ": see 'state load'");
    return vexar::Error(error.kind(), reason, error.details());
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

void runSet(Context& context, const std::vector<std::string>& assignments) {
    std::vector<Assignment> parsed;
    for (const std::string& text : assignments) {
        parsed.push_back(parseAssignment(text));
        const vexar::Value& value = parsed.back().value;
        if (value.isFloat() && !std::isfinite(value.asFloat()) && !context.force) {
            throw badInput("set " + text + ": not a finite number (--force writes it anyway)");
        }
    }
    for (const Assignment& assignment : parsed) {
        const std::string what = "set " + assignment.text;
        vexar::Applied applied{assignment.parameter.name, assignment.value, {}, false, {}};
        try {
            applied = context.camera.set(assignment.parameter.name, assignment.value, true);
        } catch (const vexar::Error& error) {
            throw stateLoadHint(retold(what, error));
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
    }
}

}  // namespace vexar::ctl
