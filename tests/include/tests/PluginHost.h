#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "PluginLoader.h"
#include "bus/Backend.h"
#include "sim/SimulatedModule.h"

namespace Lumivor::Testing {

// The plug-in as a host meets it: the shared library opened with dlopen once per process and
// driven only through its exported functions.
inline vexar::detail::PluginLibrary& pluginLibrary() {
    static vexar::detail::PluginLibrary library;
    static const bool loaded = library.load(VEXAR_PLUGIN_PATH);
    EXPECT_TRUE(loaded) << library.error();
    return library;
}

// Lines of nm run on the built plug-in with the given options.
inline std::vector<std::string> nmLines(const std::string& options) {
    const std::string command = "nm " + options + " '" + VEXAR_PLUGIN_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return {};
    }
    std::vector<std::string> lines;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        lines.push_back(text);
    }
    return lines;
}

// One instance per test, created through the exports and released through them again. The
// simulated module stands behind the bus's callbacks, whose record counts the traffic.
class PluginHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        api = &pluginLibrary().api();
        ASSERT_NE(api->createInstance, nullptr);
        instance = api->createInstance();
        ASSERT_NE(instance, nullptr);
    }
    void TearDown() override {
        if (instance != nullptr) {
            api->dispose(instance);
            api->destroyInstance(instance);
        }
    }

    std::int32_t initializeWith(const ModuleKey& key, const ModuleDescriptor& descriptor) {
        return api->initialize(instance, bus.hostContext(),
                               &vexar::detail::bus::Backend::readCallback,
                               &vexar::detail::bus::Backend::writeCallback, key, descriptor);
    }
    std::int32_t initializeServed() {
        return initializeWith(Sim::SimulatedModule::moduleKey(),
                              Sim::SimulatedModule::moduleDescriptor());
    }

    // Fetches (and so clears) the last-error text with the two-step size protocol.
    std::string takeLastError() const { return pluginLibrary().lastError(instance); }

    // Leaves a known text behind, for checks that an operation does not touch it.
    void leaveMarkerText() {
        float ignored = 0;
        ASSERT_EQ(api->readFloat(instance, 0, &ignored), VEXAR_NOT_SUPPORTED);
    }
    static constexpr const char* kMarkerText = "failed to read parameter 0";

    const vexar::detail::PluginApi* api = nullptr;
    void* instance = nullptr;
    vexar::detail::bus::SimulatedBackend bus;
    Sim::SimulatedModule& module = bus.module();
};

}  // namespace Lumivor::Testing
