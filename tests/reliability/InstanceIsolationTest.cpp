// Instances share nothing mutable: several of them, each on its own simulated module and each
// driven from its own thread through the loaded plug-in, must give exactly what each gives
// alone. The suite runs under ThreadSanitizer too, which must stay silent.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "host/LVLogger.h"
#include "reliability/Rig.h"
#include "tools/PluginLoader.h"

namespace Lumivor::Testing {
namespace {

constexpr int kInstances = 6;
constexpr int kRounds = 8;

const Tools::PluginLibrary& plugin() {
    static Tools::PluginLibrary library;
    static const bool loaded = library.load(VEXAR_PLUGIN_PATH);
    EXPECT_TRUE(loaded) << library.error();
    return library;
}

// Everything an instance answered, as text: codes, values (floats by their bits), range and
// calibration bytes, error texts and the module's bus log.
class Transcript {
  public:
    void add(const std::string& what, std::int32_t status) {
        lines_.push_back(what + " -> " + std::to_string(status));
    }
    void add(const std::string& what, std::int32_t status, const ParameterValue& value) {
        add(what, status);
        lines_.back() += " " + std::visit([](const auto& v) { return text(v); }, value);
    }
    void addBytes(const std::string& what, std::int32_t status, const std::uint8_t* bytes,
                  std::size_t count) {
        add(what, status);
        for (std::size_t i = 0; i < count; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02x", bytes[i]);
            lines_.back() += hex;
        }
    }
    void addText(const std::string& what, const std::string& text) {
        lines_.push_back(what + ": " + text);
    }
    const std::vector<std::string>& lines() const { return lines_; }

  private:
    static std::string text(float v) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        return std::to_string(bits);
    }
    static std::string text(int v) { return std::to_string(v); }
    static std::string text(bool v) { return v ? "true" : "false"; }
    static std::string text(const RegionOfInterestInternal& r) {
        return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) +
               "," + std::to_string(r.height);
    }

    std::vector<std::string> lines_;
};

std::int32_t readThroughExports(const Tools::PluginApi& api, void* instance, std::uint32_t id,
                                ParameterValue& value) {
    struct Reader {
        const Tools::PluginApi& api;
        void* instance;
        std::uint32_t id;
        std::int32_t operator()(float& v) const { return api.readFloat(instance, id, &v); }
        std::int32_t operator()(int& v) const { return api.readInt(instance, id, &v); }
        std::int32_t operator()(bool& v) const { return api.readBool(instance, id, &v); }
        std::int32_t operator()(RegionOfInterestInternal& v) const {
            return api.getRegionOfInterest(instance, &v);
        }
    };
    return std::visit(Reader{api, instance, id}, value);
}

// One host session on one module with settings of its own, so that instances that leaked
// into each other would answer differently.
void session(const Tools::PluginApi& api, int seed, int round, Transcript& out) {
    Sim::SimulatedModule module;
    void* instance = api.createInstance();
    const auto initialise = [&] {
        return api.initialize(instance, module.hostContext(), &Sim::SimulatedModule::readCallback,
                              &Sim::SimulatedModule::writeCallback,
                              Sim::SimulatedModule::moduleKey(),
                              Sim::SimulatedModule::moduleDescriptor());
    };
    out.add("initialize", initialise());

    const int variant = seed + round;
    constexpr int kMicroFrames[] = {1, 2, 4, 8};
    out.add("micro frames", api.writeInt(instance, MicroFrameNumber, kMicroFrames[variant % 4]));
    out.add("raw output", api.writeInt(instance, RawOutputMode, 1 + variant % 4));
    out.add("frame rate", api.writeFloat(instance, FrameRate, 5.0f + static_cast<float>(seed)));
    out.add("modulation",
            api.writeFloat(instance, ModulationFrequency, 10.0f + static_cast<float>(variant)));
    out.add("integration", api.writeFloat(instance, IntegrationTime, 0.05f * (1 + seed % 5)));
    out.add("mixing voltage", api.writeFloat(instance, MixingVoltage, 20.0f + 7.0f * seed));
    out.add("stream", api.writeBool(instance, StreamEnable, variant % 2 == 0));

    for (const auto& [id, sample] : sampleValues()) {
        ParameterValue value = sample;
        const std::int32_t status = readThroughExports(api, instance, id, value);
        out.add("read " + std::to_string(id), status, value);
        std::uint8_t range[64] = {};
        std::uint32_t size = sizeof range;
        out.addBytes("range " + std::to_string(id),
                     api.getParameterRange(instance, id, range, &size), range, size);
    }

    const std::vector<std::uint8_t> record = calibrationRecord(
        static_cast<std::int16_t>(8 * seed), static_cast<std::int16_t>(-16 * round), 3,
        {20.0f + static_cast<float>(seed), 30.0f}, {0.5f * static_cast<float>(seed), -1.0f});
    out.add("write calibration", api.writeCalibration(instance, record.data(),
                                                      static_cast<std::uint32_t>(record.size())));
    std::uint8_t calibration[128] = {};
    std::uint32_t size = sizeof calibration;
    out.addBytes("read calibration", api.readCalibration(instance, calibration, &size), calibration,
                 size);
    float factor = 0.0f;
    out.add("phase scaling", api.getPhaseScaling(instance, &factor), factor);

    // The whole state out, changed, back in, and out again (with logging to the shared logger).
    std::vector<std::uint8_t> state = sampleState(variant % 2 == 0);
    out.addBytes(
        "read state",
        api.readSystemState(instance, state.data(), static_cast<std::uint32_t>(state.size())),
        state.data(), state.size());
    state = sampleState(variant % 2 == 0);
    state[16] = static_cast<std::uint8_t>(state[16] + seed);  // frame rate, low mantissa bits
    out.add("write state",
            api.writeSystemState(instance, state.data(), static_cast<std::uint32_t>(state.size())));
    out.addText("its text", plugin().lastError(instance));
    out.addBytes(
        "read state again",
        api.readSystemState(instance, state.data(), static_cast<std::uint32_t>(state.size())),
        state.data(), state.size());

    // Failures and their texts stay with their own instance.
    std::uint8_t unused[64];
    std::uint32_t unusedSize = sizeof unused;
    out.add("undefined range",
            api.getParameterRange(instance, static_cast<std::uint32_t>(100 + seed), unused,
                                  &unusedSize));
    out.addText("its text", plugin().lastError(instance));
    module.failNthTransaction(2 + static_cast<std::size_t>(seed), -900 - seed);
    ParameterValue integration = 0.0f;
    out.add("failing read", readThroughExports(api, instance, IntegrationTime, integration),
            integration);
    out.addText("its text", plugin().lastError(instance));

    api.dispose(instance);
    out.add("read after dispose", api.readInt(instance, MicroFrameNumber, nullptr));
    out.add("initialize again", initialise());
    ParameterValue microFrames = 0;
    out.add("micro frames again", readThroughExports(api, instance, MicroFrameNumber, microFrames),
            microFrames);
    api.dispose(instance);
    api.destroyInstance(instance);
    out.addText("bus", module.describeLog());
}

Transcript workload(int seed) {
    Transcript transcript;
    for (int round = 0; round < kRounds; ++round) {
        session(plugin().api(), seed, round, transcript);
    }
    return transcript;
}

// Counts the lines the instances log; the logger is the one thing the instances share.
std::atomic<long> loggedLines{0};
void countLine(void*, const std::string&) {
    loggedLines.fetch_add(1, std::memory_order_relaxed);
}

TEST(InstanceIsolation, ConcurrentInstancesAnswerExactlyAsEachDoesAlone) {
    ASSERT_NE(plugin().api().createInstance, nullptr);
    Utils::LVLogger::installSink(&countLine, nullptr);
    std::vector<Transcript> alone;
    for (int seed = 0; seed < kInstances; ++seed) {
        alone.push_back(workload(seed));
    }
    // Different settings must show in the answers, or the comparison below would prove nothing.
    for (int seed = 1; seed < kInstances; ++seed) {
        EXPECT_NE(alone[0].lines(), alone[seed].lines()) << "instance " << seed;
    }

    const long linesAlone = loggedLines.exchange(0);
    EXPECT_GT(linesAlone, 0);

    std::vector<Transcript> together(kInstances);
    {
        std::latch start(kInstances);
        std::vector<std::jthread> threads;
        for (int seed = 0; seed < kInstances; ++seed) {
            threads.emplace_back([&, seed] {
                start.arrive_and_wait();
                together[seed] = workload(seed);
            });
        }
    }
    for (int seed = 0; seed < kInstances; ++seed) {
        EXPECT_EQ(together[seed].lines(), alone[seed].lines()) << "instance " << seed;
    }
    EXPECT_EQ(loggedLines.load(), linesAlone);
    Utils::LVLogger::installSink(nullptr, nullptr);
    expectNoLeaks();
}

}  // namespace
}  // namespace Lumivor::Testing
