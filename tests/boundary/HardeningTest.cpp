#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/PluginHost.h"

namespace Lumivor::Testing {
namespace {

// ---- The last-error text is handed out with a size protocol ----

using LastErrorProtocol = PluginHostTest;

TEST_F(LastErrorProtocol, FreshInstanceNeedsOneByteAndHandsOutAnEmptyText) {
    std::int32_t size = 0;
    EXPECT_EQ(api->getLastError(instance, nullptr, &size), VEXAR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 1);
    char text[4] = {'x', 'x', 'x', 'x'};
    size = 1;
    EXPECT_EQ(api->getLastError(instance, text, &size), VEXAR_SUCCESS);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(text[1], 'x');
    EXPECT_EQ(size, 1);
}

class LastErrorAfterRefusal : public PluginHostTest {
  protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        ModuleKey key = Sim::SimulatedModule::moduleKey();
        key.word0 = 0x452;
        ASSERT_EQ(initializeWith(key, Sim::SimulatedModule::moduleDescriptor()),
                  VEXAR_NOT_SUPPORTED);
    }
    const std::string expected =
        "parameters not found for [ 0x452, 0x9100, 0 ] with [ moduleType: 258, hwVersion: 8192 ]";
    const std::int32_t needed = static_cast<std::int32_t>(expected.size()) + 1;
};

TEST_F(LastErrorAfterRefusal, IsCopiedOnlyIntoEnoughRoomAndThenEmpties) {
    // Too little room, or room without a buffer: refused, the text kept, nothing copied.
    for (std::int32_t capacity : {0, 1, needed - 1, -1, INT32_MIN, needed}) {
        std::vector<char> buffer(expected.size() + 8, 'x');
        std::int32_t size = capacity;
        const bool room = capacity == needed;
        EXPECT_EQ(api->getLastError(instance, room ? nullptr : buffer.data(), &size),
                  room ? VEXAR_INVALID_ARGUMENT : VEXAR_BUFFER_TOO_SMALL)
            << capacity;
        EXPECT_EQ(size, needed) << capacity;
        EXPECT_EQ(buffer[0], 'x') << capacity;
    }
    EXPECT_EQ(api->getLastError(instance, nullptr, nullptr), VEXAR_INVALID_ARGUMENT);
    // More room than needed: the text and its NUL only, the size left as the caller gave it.
    std::vector<char> buffer(512, 'x');
    std::int32_t size = 512;
    ASSERT_EQ(api->getLastError(instance, buffer.data(), &size), VEXAR_SUCCESS);
    EXPECT_EQ(std::string(buffer.data()), expected);
    EXPECT_EQ(buffer[expected.size() + 1], 'x');
    EXPECT_EQ(size, 512);
    size = 0;
    EXPECT_EQ(api->getLastError(instance, nullptr, &size), VEXAR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 1);
}

// ---- A null instance is refused by every export that can answer ----

struct InstanceCall {
    const char* name;
    std::function<std::int32_t(const vexar::detail::PluginApi&, void*)> call;
};

std::vector<InstanceCall> everyErrorCodeExport() {
    static std::uint8_t bytes[64];
    static std::uint32_t word;
    static std::int32_t integer;
    static float real;
    static bool flag;
    static char text[64];
    static RegionOfInterestInternal roi;
    return {
        {"initialize",
         [](const vexar::detail::PluginApi& a, void* i) {
             return a.initialize(i, nullptr, &Sim::SimulatedModule::readCallback,
                                 &Sim::SimulatedModule::writeCallback,
                                 Sim::SimulatedModule::moduleKey(),
                                 Sim::SimulatedModule::moduleDescriptor());
         }},
        {"getUnitType", [](const auto& a, void* i) { return a.getUnitType(i, 3, &word); }},
        {"getAccessMode", [](const auto& a, void* i) { return a.getAccessMode(i, 3, &word); }},
        {"getParameterRange",
         [](const auto& a, void* i) {
             word = sizeof bytes;
             return a.getParameterRange(i, 3, bytes, &word);
         }},
        {"writeSystemState",
         [](const auto& a, void* i) { return a.writeSystemState(i, bytes, sizeof bytes); }},
        {"readSystemState",
         [](const auto& a, void* i) { return a.readSystemState(i, bytes, sizeof bytes); }},
        {"getLastError",
         [](const auto& a, void* i) {
             integer = sizeof text;
             return a.getLastError(i, text, &integer);
         }},
        {"writeCalibration",
         [](const auto& a, void* i) { return a.writeCalibration(i, bytes, sizeof bytes); }},
        {"readCalibration",
         [](const auto& a, void* i) {
             word = sizeof bytes;
             return a.readCalibration(i, bytes, &word);
         }},
        {"getPhaseScaling", [](const auto& a, void* i) { return a.getPhaseScaling(i, &real); }},
        {"readInt", [](const auto& a, void* i) { return a.readInt(i, 4, &integer); }},
        {"readFloat", [](const auto& a, void* i) { return a.readFloat(i, 3, &real); }},
        {"readBool", [](const auto& a, void* i) { return a.readBool(i, 14, &flag); }},
        {"getRegionOfInterest",
         [](const auto& a, void* i) { return a.getRegionOfInterest(i, &roi); }},
        {"writeInt", [](const auto& a, void* i) { return a.writeInt(i, 4, 1); }},
        {"writeFloat", [](const auto& a, void* i) { return a.writeFloat(i, 3, 30.0f); }},
        {"writeBool14", [](const auto& a, void* i) { return a.writeBool(i, 14, true); }},
    };
}

TEST(NullInstance, IsRefusedByEveryExportThatAnswersAndIgnoredByTheOthers) {
    const vexar::detail::PluginApi& api = pluginLibrary().api();
    for (const InstanceCall& c : everyErrorCodeExport()) {
        EXPECT_EQ(c.call(api, nullptr), VEXAR_INVALID_ARGUMENT) << c.name;
    }
    api.dispose(nullptr);
    api.destroyInstance(nullptr);
    // writeBool checks the identifier first; setRegionOfInterest always refuses.
    EXPECT_EQ(api.writeBool(nullptr, 7, true), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(api.writeBool(nullptr, 14, false), VEXAR_INVALID_ARGUMENT);
    const RegionOfInterestInternal roi{0, 0, 320, 240};
    EXPECT_EQ(api.setRegionOfInterest(nullptr, &roi), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(api.setRegionOfInterest(nullptr, nullptr), VEXAR_NOT_SUPPORTED);
}

// ---- A null out-pointer or size pointer is refused before anything happens ----

class NullOutPointer : public PluginHostTest {
  protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        ASSERT_EQ(initializeServed(), VEXAR_SUCCESS);
        leaveMarkerText();
        bus.clearLog();
    }
};

TEST_F(NullOutPointer, IsInvalidWithoutBusTrafficAndLeavesTheText) {
    const InstanceCall calls[] = {
        {"getUnitType", [](const auto& a, void* i) { return a.getUnitType(i, 3, nullptr); }},
        {"getAccessMode", [](const auto& a, void* i) { return a.getAccessMode(i, 3, nullptr); }},
        {"getParameterRange",
         [](const auto& a, void* i) { return a.getParameterRange(i, 3, nullptr, nullptr); }},
        {"getLastError",
         [](const auto& a, void* i) { return a.getLastError(i, nullptr, nullptr); }},
        {"readInt", [](const auto& a, void* i) { return a.readInt(i, 4, nullptr); }},
        {"readFloat", [](const auto& a, void* i) { return a.readFloat(i, 3, nullptr); }},
        {"readBool", [](const auto& a, void* i) { return a.readBool(i, 14, nullptr); }},
        {"getRegionOfInterest",
         [](const auto& a, void* i) { return a.getRegionOfInterest(i, nullptr); }},
        {"getPhaseScaling", [](const auto& a, void* i) { return a.getPhaseScaling(i, nullptr); }},
        {"readCalibration",
         [](const auto& a, void* i) { return a.readCalibration(i, nullptr, nullptr); }},
        // Also where the parameter has no read, or the identifier is absent.
        {"readFloatWriteOnly", [](const auto& a, void* i) { return a.readFloat(i, 0, nullptr); }},
        {"readIntAbsent", [](const auto& a, void* i) { return a.readInt(i, 99, nullptr); }},
    };
    for (const InstanceCall& c : calls) {
        EXPECT_EQ(c.call(*api, instance), VEXAR_INVALID_ARGUMENT) << c.name;
    }
    EXPECT_EQ(bus.transactions().size(), 0u);
    EXPECT_EQ(takeLastError(), kMarkerText);
}

// ---- Null register callbacks are refused and leave no way to the bus ----

struct CallbackPair {
    const char* name;
    RegisterReadCallback read;
    RegisterWriteCallback write;
};
void PrintTo(const CallbackPair& value, std::ostream* os) {
    *os << value.name;
}

class NullCallbacks : public PluginHostTest, public ::testing::WithParamInterface<CallbackPair> {
  protected:
    std::int32_t initializeWithCallbacks() {
        return api->initialize(instance, module.hostContext(), GetParam().read, GetParam().write,
                               Sim::SimulatedModule::moduleKey(),
                               Sim::SimulatedModule::moduleDescriptor());
    }
};

TEST_P(NullCallbacks, AreRefusedWithTheirTextAndInstallNoTable) {
    EXPECT_EQ(initializeWithCallbacks(), VEXAR_INVALID_ARGUMENT);
    EXPECT_EQ(takeLastError(), "register callbacks must not be null");
    std::uint32_t unit = 0;
    EXPECT_EQ(api->getUnitType(instance, 3, &unit), VEXAR_NOT_SUPPORTED);
}

TEST_P(NullCallbacks, OnAnInitialisedInstanceLeaveNothingThatCouldCallThem) {
    ASSERT_EQ(initializeServed(), VEXAR_SUCCESS);
    EXPECT_EQ(initializeWithCallbacks(), VEXAR_INVALID_ARGUMENT);
    // Every road to the bus now ends at an absent identifier instead of a null callback.
    std::int32_t integer = 0;
    RegionOfInterestInternal roi{};
    EXPECT_EQ(api->readInt(instance, 4, &integer), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(api->getRegionOfInterest(instance, &roi), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(api->writeFloat(instance, 0, 50.0f), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(api->writeBool(instance, 14, true), VEXAR_NOT_SUPPORTED);
    EXPECT_EQ(takeLastError(), "register callbacks must not be null");
    // And a proper initialise brings everything back.
    ASSERT_EQ(initializeServed(), VEXAR_SUCCESS);
    std::uint32_t unit = 0;
    EXPECT_EQ(api->getUnitType(instance, 3, &unit), VEXAR_SUCCESS);
}

const CallbackPair kNullPairs[] = {
    {"ReadNull", nullptr, &Sim::SimulatedModule::writeCallback},
    {"WriteNull", &Sim::SimulatedModule::readCallback, nullptr},
    {"BothNull", nullptr, nullptr},
};
INSTANTIATE_TEST_SUITE_P(Each, NullCallbacks, ::testing::ValuesIn(kNullPairs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace Lumivor::Testing
