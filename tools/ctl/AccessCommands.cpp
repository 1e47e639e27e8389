#include <nlohmann/json.hpp>
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
    Json json = Json::array();
    for (const ParameterInfo* parameter : wanted) {
        const std::string what = "get " + std::string(parameter->name);
        Value value;
        const std::int32_t status = context.session.read(*parameter, value);
        if (status != VEXAR_SUCCESS) {
            const std::string hint = status == VEXAR_NOT_SUPPORTED
                                         ? readHint(context.session, *parameter)
                                         : std::string();
            context.session.check(status, what, hint);
        }
        if (context.json) {
            json.push_back({{"name", parameter->name},
                            {"id", parameter->id},
                            {"type", valueTypeName(parameter->type)},
                            {"unit", unitName(context.session.unit(*parameter, what))},
                            {"value", toJson(value)}});
        } else {
            context.out << parameter->name << ": " << formatValue(value) << '\n';
        }
    }
    if (context.json) {
        context.out << json.dump(2) << '\n';
    }
}

void runSet(Context& context, const std::vector<std::string>& assignments) {
    std::vector<Assignment> parsed;
    for (const std::string& text : assignments) {
        parsed.push_back(parseAssignment(text));
    }
    for (const Assignment& assignment : parsed) {
        const std::int32_t status = context.session.write(*assignment.parameter, assignment.value);
        if (status != VEXAR_SUCCESS) {
            const std::string hint = status == VEXAR_NOT_SUPPORTED
                                         ? writeHint(context.session, *assignment.parameter)
                                         : std::string();
            context.session.check(status, "set " + assignment.text, hint);
        }
    }
}

}  // namespace Lumivor::Ctl
