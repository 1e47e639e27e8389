#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>

#include "tools/ctl/Commands.h"

namespace Lumivor::Ctl {

namespace {
std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

std::string guidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1,
                  g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4],
                  g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

// The descriptor entries the plug-in looks at, in the roles the module gives them.
struct Component {
    const char* role;
    std::size_t index;
};
constexpr Component kComponents[] = {
    {"sensor board", 1}, {"module", 2}, {"left illumination", 3}, {"right illumination", 4}};
}  // namespace

void runInfo(Context& context) {
    const auto& api = context.session.api();
    void* instance = context.session.instance();
    std::uint32_t major = 0, minor = 0, patch = 0, a = 0, b = 0, c = 0, d = 0;
    api.getPluginVersion(&major, &minor, &patch);
    api.getSDKVersion(&a, &b, &c, &d);
    const std::string pluginVersion =
        std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
    const std::string sdkVersion = std::to_string(a) + "." + std::to_string(b) + "." +
                                   std::to_string(c) + "." + std::to_string(d);
    const ModuleKey& key = context.session.identity().key;
    const ModuleDescriptor& descriptor = context.session.identity().descriptor;

    // The interpreter counts 6 phases per micro-frame with dealiasing on and 4 without.
    bool dealiasing = false;
    context.session.check(api.readBool(instance, DealiasingOn, &dealiasing), "info: DealiasingOn");
    const int phaseCount = dealiasing ? 6 : 4;
    float scaling = 0;
    context.session.check(api.getPhaseScaling(instance, &scaling), "info: phase scaling");

    if (context.json) {
        Json json = {{"plugin", context.session.pluginPath()},
                     {"pluginVersion", pluginVersion},
                     {"sdkVersion", sdkVersion},
                     {"guid", guidText(api.getImplGUID())},
                     {"implementationType", api.getImplType()},
                     {"bus", context.session.bus().name()},
                     {"moduleIdentity", context.session.identity().source},
                     {"moduleKey", {key.word0, key.word1, key.word2, key.word3}},
                     {"headerValue", descriptor.headerValue}};
        Json components = Json::object();
        for (const Component& component : kComponents) {
            const ComponentIdentity& id = descriptor.components[component.index];
            components[component.role] = {{"type", id.type}, {"version", id.version}};
        }
        json["components"] = components;
        json["dealiasing"] = dealiasing;
        json["phaseCount"] = phaseCount;
        json["phaseScaling"] = floatToJson(scaling);
        context.out << json.dump(2) << '\n';
        return;
    }
    std::ostream& out = context.out;
    out << "plug-in              " << context.session.pluginPath() << '\n'
        << "plug-in version      " << pluginVersion << '\n'
        << "SDK version          " << sdkVersion << '\n'
        << "GUID                 " << guidText(api.getImplGUID()) << '\n'
        << "implementation type  " << api.getImplType() << '\n'
        << "bus                  " << context.session.bus().name() << '\n'
        << "module identity      " << context.session.identity().source << '\n'
        << "module key           " << hex(key.word0) << ' ' << hex(key.word1) << ' '
        << hex(key.word2) << ' ' << hex(key.word3) << '\n'
        << "module header        " << hex(descriptor.headerValue) << '\n';
    for (const Component& component : kComponents) {
        const ComponentIdentity& id = descriptor.components[component.index];
        char line[64];
        std::snprintf(line, sizeof line, "%-20s type 0x%03x version 0x%04x\n", component.role,
                      id.type, id.version);
        out << line;
    }
    out << "phase count          " << phaseCount << " (dealiasing " << (dealiasing ? "on" : "off")
        << ")\n"
        << "phase scaling        " << formatFloat(scaling) << '\n';
}

}  // namespace Lumivor::Ctl
