#include <cstdio>
#include <ostream>

#include "Commands.h"
#include "Errors.h"
#include "vexar/json.hpp"
#include "yorind/ModuleDescription.h"

namespace vexar::ctl {

namespace {
std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

}  // namespace

void runInfo(Context& context) {
    vexar::Camera& camera = context.camera;
    const vexar::Versions versions = camera.versions();
    const std::string pluginVersion = std::to_string(versions.plugin[0]) + "." +
                                      std::to_string(versions.plugin[1]) + "." +
                                      std::to_string(versions.plugin[2]);
    const std::string sdkVersion =
        std::to_string(versions.sdk[0]) + "." + std::to_string(versions.sdk[1]) + "." +
        std::to_string(versions.sdk[2]) + "." + std::to_string(versions.sdk[3]);
    const vexar::ModuleIdentity& identity = camera.identity();
    const vexar::ModuleKey& key = identity.key;
    const vexar::ModuleDescriptor& descriptor = identity.descriptor;
    int phaseCount = 0;
    float scaling = 0;
    try {
        phaseCount = camera.phaseCount();
        scaling = camera.phaseScaling();
    } catch (const vexar::Error& error) {
        throw reworded(error, "info: ");
    }
    const bool dealiasing = phaseCount != 4;

    if (context.json) {
        vexar::Json json = {{"plugin", camera.pluginPath()},
                            {"plugin_version", pluginVersion},
                            {"sdk_version", sdkVersion},
                            {"guid", versions.guid},
                            {"implementation_type", versions.implementationType},
                            {"bus", camera.backend()},
                            {"module_identity", identity.source},
                            {"module_key", {key.word0, key.word1, key.word2, key.word3}},
                            {"header_value", descriptor.headerValue}};
        vexar::Json components = vexar::Json::object();
        for (const yorind::Component& component : yorind::kComponents) {
            const vexar::ComponentIdentity& id = descriptor.components[component.index];
            components[std::string(component.role)] = {{"type", id.type}, {"version", id.version}};
        }
        json["components"] = components;
        json["dealiasing"] = dealiasing;
        json["phase_count"] = phaseCount;
        json["phase_scaling"] = vexar::floatToJson(scaling);
        context.out << json.dump(2) << '\n';
        return;
    }
    std::ostream& out = context.out;
    out << "plug-in              " << camera.pluginPath() << '\n'
        << "plug-in version      " << pluginVersion << '\n'
        << "SDK version          " << sdkVersion << '\n'
        << "GUID                 " << versions.guid << '\n'
        << "implementation type  " << versions.implementationType << '\n'
        << "bus                  " << camera.backend() << '\n'
        << "module identity      " << identity.source << '\n'
        << "module key           " << hex(key.word0) << ' ' << hex(key.word1) << ' '
        << hex(key.word2) << ' ' << hex(key.word3) << '\n'
        << "module header        " << hex(descriptor.headerValue) << '\n';
    for (const yorind::Component& component : yorind::kComponents) {
        const vexar::ComponentIdentity& id = descriptor.components[component.index];
        char line[64];
        std::snprintf(line, sizeof line, "%-20s type 0x%03x version 0x%04x\n",
                      std::string(component.role).c_str(), id.type, id.version);
        out << line;
    }
    out << "phase count          " << phaseCount << " (dealiasing " << (dealiasing ? "on" : "off")
        << ")\n"
        << "phase scaling        " << vexar::Value(scaling).toString() << '\n';
}

}  // namespace vexar::ctl
