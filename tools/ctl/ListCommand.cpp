#include <cstdio>
#include <ostream>

#include "Commands.h"
#include "Errors.h"
#include "vexar/json.hpp"

namespace vexar::ctl {

namespace {
// One parameter as the plug-in describes it. A write-only parameter is not read at all.
struct Row {
    vexar::Parameter parameter;
    std::optional<vexar::Value> value;
};

Row describe(vexar::Camera& camera, const vexar::ParameterName& name) {
    try {
        Row row{camera.parameter(name.name), {}};
        if (row.parameter.readable()) {
            row.value = camera.get(name.name);
        }
        return row;
    } catch (const vexar::Error& error) {
        throw reworded(error, "list: ");
    }
}
}  // namespace

void runList(Context& context) {
    std::vector<Row> rows;
    for (const vexar::ParameterName& name : vexar::parameterNames()) {
        rows.push_back(describe(context.camera, name));
    }
    if (context.json) {
        vexar::Json json = vexar::Json::array();
        for (const Row& row : rows) {
            json.push_back(vexar::toJson(row.parameter));
            vexar::putValue(json.back(), row.value);
        }
        context.out << json.dump(2) << '\n';
        return;
    }
    for (const Row& row : rows) {
        const vexar::Parameter& p = row.parameter;
        const std::string range = p.range ? p.range->toString() : "";
        char head[96];
        std::snprintf(head, sizeof head, "%24s %2u (%-6s) unit=%-4s %-10s :", p.name.c_str(), p.id,
                      std::string(vexar::typeName(p.type)).c_str(), p.unit.c_str(),
                      std::string(vexar::accessName(p.access)).c_str());
        context.out << head << (range.empty() ? "" : " ") << range
                    << " value=" << (row.value ? row.value->toString() : "write-only") << '\n';
    }
}

}  // namespace vexar::ctl
