// vexar-ctl: drives the plug-in like a real host, on the simulated module.

#include <cstdio>
#include <string>

#include "sim/SimulatedModule.h"
#include "tools/PluginLoader.h"

namespace {
const char* valueTypeName(std::uint32_t type) {
    switch (type) {
        case 1: return "float";
        case 2: return "int";
        case 3: return "bool";
        case 4: return "region";
        default: return "?";
    }
}

int runDemo(const Lumivor::Tools::PluginLibrary& plugin) {
    const auto& api = plugin.api();
    std::uint32_t major = 0, minor = 0, patch = 0;
    api.getPluginVersion(&major, &minor, &patch);
    std::printf("plug-in version %u.%u.%u, implementation type %d\n", major, minor, patch,
                api.getImplType());

    Lumivor::Sim::SimulatedModule module;
    void* instance = api.createInstance();
    const int status = api.initialize(instance, module.hostContext(),
                                      &Lumivor::Sim::SimulatedModule::readCallback,
                                      &Lumivor::Sim::SimulatedModule::writeCallback,
                                      Lumivor::Sim::SimulatedModule::moduleKey(),
                                      Lumivor::Sim::SimulatedModule::moduleDescriptor());
    if (status != 0) {
        std::fprintf(stderr, "initialize failed: %d %s\n", status,
                     plugin.lastError(instance).c_str());
        api.destroyInstance(instance);
        return 1;
    }
    for (std::uint32_t id = 0; id < 16; ++id) {
        std::uint32_t unit = 0, access = 0;
        api.getUnitType(instance, id, &unit);
        api.getAccessMode(instance, id, &access);
        std::printf("parameter %2u: unit %u, access %u\n", id, unit, access);
    }
    (void)valueTypeName;
    api.dispose(instance);
    api.destroyInstance(instance);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    Lumivor::Tools::PluginLibrary plugin;
    const std::string path = Lumivor::Tools::defaultPluginPath(argc > 0 ? argv[0] : "");
    if (!plugin.load(path)) {
        std::fprintf(stderr, "vexar-ctl: %s\n", plugin.error().c_str());
        return 1;
    }
    return runDemo(plugin);
}
