#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "bench/BusTime.h"
#include "bench/Operations.h"
#include "sim/SimulatedModule.h"

namespace Lumivor::Bench {
namespace {

bool isBaseline(const Operation& operation) {
    return std::string(operation.group) == "baseline";
}

// A benchmark of a failing call would time an early return; every call must succeed, and do
// the same work each time, since the table counts one call and times many.
TEST(MeasuredOperations, SucceedRepeatedlyWithTheSameTraffic) {
    for (const Operation& operation : operations()) {
        SCOPED_TRACE(operation.name);
        PluginOnBus plugin;
        if (operation.prepare != nullptr) {
            operation.prepare(plugin);
        }
        plugin.bus.clearTraffic();
        EXPECT_EQ(operation.run(plugin), 0);
        const BusTraffic first = plugin.bus.traffic();
        plugin.bus.clearTraffic();
        EXPECT_EQ(operation.run(plugin), 0);
        EXPECT_EQ(plugin.bus.traffic(), first);
    }
}

// The zero-cost bus must behave as the module does, or the plug-in would take other paths
// on it than on a camera: same results, same traffic, same registers afterwards.
TEST(MeasuredOperations, SeeTheSameBusOnTheZeroCostBusAsOnTheSimulatedModule) {
    for (const Operation& operation : operations()) {
        SCOPED_TRACE(operation.name);
        PluginOnBus fast;
        Sim::SimulatedModule module;
        PluginOnBus simulated(module.hostContext(), &Sim::SimulatedModule::readCallback,
                              &Sim::SimulatedModule::writeCallback);
        if (operation.prepare != nullptr) {
            operation.prepare(fast);
            operation.prepare(simulated);
        }
        fast.bus.clearTraffic();
        module.clearLog();
        EXPECT_EQ(operation.run(fast), operation.run(simulated));

        BusTraffic logged;
        for (const Sim::Transaction& t : module.transactions()) {
            const auto length = static_cast<std::uint32_t>(t.bytes.size());
            if (t.direction == Sim::Direction::Read) {
                ++logged.reads;
                logged.clocks += I2c::readClocks(length);
            } else {
                ++logged.writes;
                logged.byteWrites += length == 1 ? 1 : 0;
                logged.clocks += I2c::writeClocks(length);
            }
        }
        EXPECT_EQ(fast.bus.traffic(), logged) << module.describeLog();
        for (const std::uint32_t address : Sim::SimulatedModule::knownRegisters()) {
            EXPECT_EQ(fast.bus.registerValue(address), module.registerValue(address))
                << "register 0x" << std::hex << address;
        }
        for (const std::uint16_t device : {0x21, 0x28, 0x2A, 0x2B}) {
            EXPECT_EQ(fast.bus.latchedByte(device), module.latchedByte(device).value_or(0))
                << "device 0x" << std::hex << device;
        }
    }
}

// Nothing is cached, so each operation costs exactly the transactions its conversion names:
// every field read one read, every field write a read and a write, every level one byte.
// More would be a regression of the bus time, which dwarfs everything else.
TEST(MeasuredOperations, CostNoTransactionBeyondWhatTheirConversionNeeds) {
    struct Expected {
        std::uint64_t reads;
        std::uint64_t writes;
        std::uint64_t byteWrites;
    };
    const std::map<std::string, Expected> expected{
        {"readSubRegister (clock)", {1, 0, 0}},
        {"writeSubRegister (integration fraction)", {1, 1, 0}},
        {"readFloat 3 frame rate", {5, 0, 0}},
        {"readInt 4 micro-frame number", {1, 0, 0}},
        {"readFloat 5 integration time", {7, 0, 0}},  // frame rate, count, fraction
        {"readFloat 6 modulation frequency", {5, 0, 0}},
        {"readBool 7 dealiasing on", {1, 0, 0}},
        {"readFloat 8 dealiasing frequency", {5, 0, 0}},
        {"readInt 9 mixing signals mode", {2, 0, 0}},
        {"readInt 10 illumination mode", {1, 0, 0}},
        {"readInt 11 raw output mode", {7, 0, 0}},
        {"readFloat 12 range, dealiasing off", {6, 0, 0}},
        {"readFloat 12 range, dealiasing on", {11, 0, 0}},
        {"getRegionOfInterest (13)", {4, 0, 0}},
        {"readBool 14 stream enable", {1, 0, 0}},
        {"readInt 15 native frame format", {0, 0, 0}},
        {"writeFloat 0 left illumination 50 %", {0, 1, 1}},
        {"writeFloat 1 right illumination 50 %", {0, 1, 1}},
        {"writeFloat 2 mixing voltage 50 %", {0, 1, 1}},
        {"writeFloat 3 frame rate 30", {5, 2, 0}},
        {"writeInt 4 micro-frame number 4", {1, 1, 0}},
        {"writeFloat 5 integration time 1 ms", {7, 1, 0}},
        {"writeFloat 6 modulation frequency 30", {6, 5, 0}},
        {"writeFloat 6 modulation frequency 30.1 (inexact)", {6, 5, 0}},
        {"writeFloat 8 dealiasing frequency 20", {14, 8, 0}},
        {"writeFloat 8 dealiasing frequency 19.9 (inexact)", {14, 8, 0}},
        {"writeInt 9 mixing signals mode 3", {2, 2, 0}},
        {"writeInt 10 illumination mode 1", {2, 2, 0}},
        {"writeInt 11 raw output mode 3", {8, 8, 0}},
        {"writeBool 14 stream enable", {1, 2, 1}},
        {"getParameterRange 3 (float min/max/step)", {0, 0, 0}},
        {"getParameterRange 4 (int discrete set)", {0, 0, 0}},
        {"getParameterRange 13 (region of interest)", {0, 0, 0}},
        // Thirteen writes, dealiasing on and both illumination boards fitted.
        {"writeSystemState (78 bytes)", {50, 37, 3}},
        // Eleven reads; the voltages are not read.
        {"readSystemState (78 bytes)", {38, 0, 0}},
        {"writeCalibration", {10, 10, 0}},
        {"readCalibration", {10, 0, 0}},
        {"getPhaseScaling, dealiasing off", {2, 0, 0}},
        {"getPhaseScaling, dealiasing on", {5, 0, 0}},
    };
    for (const Operation& operation : operations()) {
        if (isBaseline(operation)) {
            continue;
        }
        SCOPED_TRACE(operation.name);
        const auto it = expected.find(operation.name);
        if (it == expected.end()) {
            ADD_FAILURE() << "no expected traffic for this operation";
            continue;
        }
        PluginOnBus plugin;
        if (operation.prepare != nullptr) {
            operation.prepare(plugin);
        }
        plugin.bus.clearTraffic();
        EXPECT_EQ(operation.run(plugin), 0);
        EXPECT_EQ(plugin.bus.traffic().reads, it->second.reads);
        EXPECT_EQ(plugin.bus.traffic().writes, it->second.writes);
        EXPECT_EQ(plugin.bus.traffic().byteWrites, it->second.byteWrites);
    }
}

TEST(MeasuredOperations, SystemStateHoldsOneRecordPerParameter) {
    const std::vector<std::uint8_t> state = fullSystemState();
    ASSERT_EQ(state.size(), 78u);
    // Record starts in ascending identifier order.
    const std::size_t starts[] = {0, 5, 10, 15, 20, 25, 30, 35, 37, 42, 47, 52, 57, 62, 71, 73};
    for (std::size_t id = 0; id < 16; ++id) {
        EXPECT_EQ(state[starts[id]], id) << "record at " << starts[id];
    }
}

TEST(MeasuredOperations, LifecycleLeavesNoBusTraffic) {
    ZeroCostBus bus;
    void* instance = createAndInitialize(bus);
    ASSERT_NE(instance, nullptr);
    disposeAndDestroy(instance);
    EXPECT_EQ(bus.traffic(), BusTraffic{});
}

}  // namespace
}  // namespace Lumivor::Bench
