#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "boundary/PluginHost.h"

namespace Lumivor::Testing {

// The plug-in loaded into the test itself and initialised on a simulated module of its own:
// what the tool should have done, done directly through the exports.
class ReferenceHost {
  public:
    ReferenceHost() : api(pluginLibrary().api()) {
        instance = api.createInstance();
        EXPECT_EQ(
            api.initialize(instance, module.hostContext(), &Sim::SimulatedModule::readCallback,
                           &Sim::SimulatedModule::writeCallback, Sim::SimulatedModule::moduleKey(),
                           Sim::SimulatedModule::moduleDescriptor()),
            0);
    }
    ReferenceHost(const ReferenceHost&) = delete;
    ReferenceHost& operator=(const ReferenceHost&) = delete;
    ~ReferenceHost() {
        api.dispose(instance);
        api.destroyInstance(instance);
    }

    // Starts from the register image the tool keeps in a file.
    void loadImage(const std::string& path) {
        std::ifstream in(path);
        EXPECT_TRUE(module.loadImage(in)) << path;
    }

    // The trace the tool prints for what was done since the log was last cleared.
    std::string trace() const {
        return module.describeLog() + std::to_string(module.transactionCount()) +
               " transactions (" + std::to_string(module.readCount()) + " reads, " +
               std::to_string(module.writeCount()) + " writes)\n";
    }

    const Tools::PluginApi& api;
    Sim::SimulatedModule module;
    void* instance = nullptr;
};

}  // namespace Lumivor::Testing
