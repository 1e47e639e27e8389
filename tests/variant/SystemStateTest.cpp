#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <variant>
#include <vector>

#include "support/SimulatedCamera.h"
#include "support/StateRecords.h"

namespace Lumivor::Testing {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

// A consistent camera setting with a record for each of the sixteen parameters.
StateRecords fullState(bool dealiasing = false) {
    return {
        {0, 60.0f},  {1, 70.0f},
        {2, 40.0f},  {3, 25.0f},
        {4, 4},      {5, 1.0f},
        {6, 30.0f},  {7, dealiasing},
        {8, 20.0f},  {9, 3},
        {10, 1},     {11, 2},
        {12, 7.5f},  {13, RegionOfInterestInternal{16, 10, 288, 200}},
        {14, false}, {15, 4},
    };
}

StateRecords without(StateRecords s, std::uint8_t id) {
    std::erase_if(s, [id](const auto& r) { return r.first == id; });
    return s;
}

StateRecords with(StateRecords s, std::uint8_t id, Value v) {
    for (auto& r : s) {
        if (r.first == id) {
            r.second = v;
        }
    }
    return s;
}

float floatAt(const Bytes& b, std::size_t at) {
    return std::bit_cast<float>(static_cast<std::uint32_t>(b[at + 1]) | b[at + 2] << 8 |
                                b[at + 3] << 16 | static_cast<std::uint32_t>(b[at + 4]) << 24);
}

class SystemStateTest : public SimulatedCameraTest {
  protected:
    ErrorCode writeState(const Bytes& b) {
        return interp.writeSystemState(b.data(), static_cast<std::uint32_t>(b.size()));
    }
    ErrorCode readState(Bytes& b) {
        return interp.readSystemState(b.data(), static_cast<std::uint32_t>(b.size()));
    }
    std::map<std::uint32_t, std::uint32_t> registerImage() const {
        std::map<std::uint32_t, std::uint32_t> image;
        for (const std::uint32_t address : Sim::SimulatedModule::knownRegisters()) {
            image[address] = module.registerValue(address);
        }
        return image;
    }
    std::size_t writesTo(std::uint16_t device) const {
        std::size_t n = 0;
        for (const auto& t : module.transactions()) {
            n += t.direction == Sim::Direction::Write && t.device == device;
        }
        return n;
    }
};

TEST_F(SystemStateTest, SavedStateRestoresTheRegisterImageAfterTheModuleChanged) {
    ASSERT_EQ(writeState(stateBytes(fullState())), 0) << interp.lastError();
    Bytes saved = stateBytes(fullState());
    ASSERT_EQ(readState(saved), 0) << interp.lastError();
    const auto image = registerImage();

    // Move every written parameter somewhere else.
    ASSERT_EQ(writeState(stateBytes({{0, 1.0f},
                                     {1, 2.0f},
                                     {2, 3.0f},
                                     {3, 10.0f},
                                     {4, 8},
                                     {5, 0.5f},
                                     {6, 12.0f},
                                     {7, true},
                                     {8, 15.0f},
                                     {9, 0},
                                     {10, 0},
                                     {11, 4},
                                     {13, RegionOfInterestInternal{0, 0, 320, 240}}})),
              0)
        << interp.lastError();
    ASSERT_NE(registerImage(), image);

    ASSERT_EQ(writeState(saved), 0) << interp.lastError();
    EXPECT_EQ(registerImage(), image);
}

TEST_F(SystemStateTest, ReadReportsTheModuleAndFiftyPercentForTheUnreadableVoltages) {
    ASSERT_EQ(writeState(stateBytes(fullState())), 0) << interp.lastError();
    Bytes state = stateBytes(fullState());
    for (const std::size_t voltagePayload : {1, 6, 11}) {
        // Spoil the payloads: the read replaces them.
        std::fill_n(state.begin() + voltagePayload, 4, 0xEE);
    }
    ASSERT_EQ(readState(state), 0) << interp.lastError();
    EXPECT_EQ(floatAt(state, 0), 50.0f);
    EXPECT_EQ(floatAt(state, 5), 50.0f);
    EXPECT_EQ(floatAt(state, 10), 50.0f);
    EXPECT_EQ(floatAt(state, 15), 25.0f);
    EXPECT_EQ(floatAt(state, 30), 30.0f);
    EXPECT_EQ(floatAt(state, 37), 20.0f);
    EXPECT_THAT(Bytes(state.begin() + 62, state.begin() + 71),
                ElementsAre(13, 16, 0, 10, 0, 32, 1, 200, 0));
    EXPECT_THAT(Bytes(state.begin() + 73, state.end()), ElementsAre(15, 4, 0, 0, 0));
    const std::size_t offsets[] = {0, 5, 10, 15, 20, 25, 30, 35, 37, 42, 47, 52, 57, 62, 71, 73};
    for (std::uint8_t id = 0; id < 16; ++id) {
        EXPECT_EQ(state[offsets[id]], id) << "identifier bytes stay where they were";
    }
    // The range comes back as the caller gave it, stream enable as 0 or FF.
    state = stateBytes(with(with(fullState(), 12, 123.25f), 14, true));
    ASSERT_EQ(readState(state), 0) << interp.lastError();
    EXPECT_EQ(floatAt(state, 57), 123.25f);
    EXPECT_EQ(state[72], 0xFF);
    state[72] = 0x00;
    ASSERT_EQ(readState(state), 0);
    EXPECT_EQ(state[72], 0x00);
}

TEST_F(SystemStateTest, WriteIssuesTheSameTrafficAsTheThirteenWritesInDependencyOrder) {
    const Bytes state = stateBytes(fullState(true));
    ASSERT_EQ(writeState(state), 0) << interp.lastError();
    const auto stateLog = busLog();

    // The same writes by hand, on a fresh module, in the order the conversions depend on.
    Sim::SimulatedModule other;
    VEXAR_ParamInterp_YORINDImpl ref;
    ASSERT_EQ(initialiseOn(ref, other), 0);
    ref.setPhaseCount(6);
    ASSERT_EQ(ref.writeValue<int>(4, 4), 0);
    ASSERT_EQ(ref.writeValue<int>(10, 1), 0);
    ASSERT_EQ(ref.writeValue<int>(9, 3), 0);
    ASSERT_EQ(ref.writeValue<int>(11, 2), 0);
    ASSERT_EQ(ref.writeValue<float>(2, 40.0f), 0);
    ASSERT_EQ(ref.writeValue<float>(0, 60.0f), 0);
    ASSERT_EQ(ref.writeValue<float>(1, 70.0f), 0);
    ASSERT_EQ(ref.writeValue(13, RegionOfInterestInternal{16, 10, 288, 200}), 0);
    ASSERT_EQ(ref.writeValue<float>(3, 25.0f), 0);
    ASSERT_EQ(ref.writeValue<float>(6, 30.0f), 0);
    ASSERT_EQ(ref.writeValue<float>(8, 20.0f), 0);
    ASSERT_EQ(ref.writeValue<bool>(7, true), 0);
    ASSERT_EQ(ref.writeValue<float>(5, 1.0f), 0);
    std::vector<std::string> refLog;
    for (const auto& t : other.transactions()) {
        refLog.push_back(Sim::SimulatedModule::describe(t));
    }
    EXPECT_EQ(stateLog, refLog);
    EXPECT_EQ(interp.getPhaseCount(), 6u);
}

TEST_F(SystemStateTest, DealiasingValueOfTheStateSetsThePhaseCountForTheFrameRateWrite) {
    // Raw output mode 1 keeps the stored period undoubled.
    ASSERT_EQ(writeState(stateBytes(with(fullState(true), 11, 1))), 0) << interp.lastError();
    EXPECT_EQ(interp.getPhaseCount(), 6u);
    ASSERT_EQ(interp.writeValue<float>(3, 15.0f), 0);
    EXPECT_EQ(module.field(217), 133333u);

    ASSERT_EQ(writeState(stateBytes(with(fullState(false), 11, 1))), 0) << interp.lastError();
    EXPECT_EQ(interp.getPhaseCount(), 4u);
    ASSERT_EQ(interp.writeValue<float>(3, 15.0f), 0);
    EXPECT_EQ(module.field(217), 200000u);
}

TEST_F(SystemStateTest, OnlyAgreeingModePairsAreApplied) {
    struct Case {
        int mixing, illumination;
        bool applied;
    };
    for (const Case c :
         {Case{3, 1, true}, Case{2, 1, true}, Case{0, 0, true}, Case{0, 1, false},
          Case{2, 0, false}, Case{3, 0, false}, Case{1, 1, false}, Case{4, 1, false}}) {
        interp.setPhaseCount(4);
        interp.setLastError("before");
        module.clearLog();
        const ErrorCode status =
            writeState(stateBytes(with(with(fullState(true), 9, c.mixing), 10, c.illumination)));
        EXPECT_EQ(interp.getPhaseCount(), 6u) << "set before the modes are checked";
        if (c.applied) {
            EXPECT_EQ(status, 0) << c.mixing << "/" << c.illumination;
            EXPECT_FALSE(module.transactions().empty());
        } else {
            EXPECT_EQ(status, -4) << c.mixing << "/" << c.illumination;
            EXPECT_EQ(interp.lastError(), "incompatible Mixing signals mode and Illumination mode");
            EXPECT_TRUE(module.transactions().empty());
        }
    }
}

TEST_F(SystemStateTest, RefusedDealiasingFrequencyIsPassedOverOnlyWhenDealiasingIsOff) {
    const Bytes off = stateBytes(with(fullState(false), 8, 0.0f));
    ASSERT_EQ(writeState(off), 0);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 8");
    EXPECT_EQ(module.field(118), 6u)
        << "the integration time (6.3 raw at 25 fps) was still written";
    EXPECT_EQ(module.field(20), 0u);

    const Bytes on = stateBytes(with(fullState(true), 8, 0.0f));
    module.clearLog();
    EXPECT_EQ(writeState(on), -5);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 8");
    EXPECT_EQ(module.field(20), 0u) << "dealiasing enable comes after and was not written";
}

TEST_F(SystemStateTest, PassedOverFailureStillEndsWithTheIntegrationTimeResult) {
    // Integration time longer than the frame time at 25 fps and four micro-frames.
    const Bytes state = stateBytes(with(with(fullState(false), 8, 0.0f), 5, 11.0f));
    EXPECT_EQ(writeState(state), -5);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 5");
}

TEST_F(SystemStateTest, IlluminationVoltagesFollowTheirDriverComponents) {
    struct Case {
        std::uint32_t type;
        std::uint16_t version;
        std::uint8_t present;
        bool leftApplied, rightApplied;
    };
    const Case cases[] = {
        {4, 0x0001, 1, true, true},       {0x104, 0x2000, 1, true, true},
        {0x104, 0x2000, 0, false, false}, {0x107, 0x2100, 1, true, false},
        {0x108, 0x2100, 1, false, true},  {0x104, 0x2001, 1, false, false},
        {5, 0x0001, 1, false, false},
    };
    for (const Case& c : cases) {
        ModuleDescriptor descriptor = Sim::SimulatedModule::moduleDescriptor();
        for (const int side : {3, 4}) {
            descriptor.components[side].type = c.type;
            descriptor.components[side].version = c.version;
            descriptor.components[side].present = c.present;
        }
        VEXAR_ParamInterp_YORINDImpl other;
        ASSERT_EQ(initialiseOn(other, module, descriptor), 0);
        module.clearLog();
        // The voltage of a driver that does not qualify needs no record.
        auto records = fullState();
        if (!c.leftApplied) {
            records = without(records, 0);
        }
        if (!c.rightApplied) {
            records = without(records, 1);
        }
        const Bytes state = stateBytes(records);
        ASSERT_EQ(other.writeSystemState(state.data(), static_cast<std::uint32_t>(state.size())), 0)
            << other.lastError();
        EXPECT_EQ(writesTo(0x2A), c.leftApplied ? 1u : 0u) << std::hex << c.type;
        EXPECT_EQ(writesTo(0x2B), c.rightApplied ? 1u : 0u) << std::hex << c.type;
        EXPECT_EQ(writesTo(0x28), 1u);
    }
}

TEST_F(SystemStateTest, StateLackingARecordIsRefusedBeforeAnythingChanges) {
    const std::uint8_t neededForWrite[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13};
    for (const std::uint8_t id : neededForWrite) {
        interp.setPhaseCount(4);
        const Bytes state = stateBytes(without(fullState(true), id));
        EXPECT_EQ(writeState(state), -4) << int{id};
        EXPECT_EQ(interp.lastError(), "system state lacks parameter " + std::to_string(id));
        EXPECT_EQ(interp.getPhaseCount(), 4u) << "phase count unchanged";
    }
    EXPECT_EQ(writeState(stateBytes(without(without(fullState(), 12), 14))), 0)
        << "range and stream enable are not needed";

    const std::uint8_t neededForRead[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15};
    for (const std::uint8_t id : neededForRead) {
        Bytes state = stateBytes(without(fullState(), id));
        const Bytes before = state;
        EXPECT_EQ(readState(state), -4) << int{id};
        EXPECT_EQ(interp.lastError(), "system state lacks parameter " + std::to_string(id));
        EXPECT_EQ(state, before);
    }

    // The lowest is named, not the first met in either walk.
    Bytes two = stateBytes(without(without(fullState(), 13), 6));
    EXPECT_EQ(writeState(two), -4);
    EXPECT_EQ(interp.lastError(), "system state lacks parameter 6");
    EXPECT_EQ(readState(two), -4);
    EXPECT_EQ(interp.lastError(), "system state lacks parameter 6");

    module.clearLog();
    EXPECT_EQ(interp.writeSystemState(nullptr, 0), -4);
    EXPECT_EQ(interp.readSystemState(nullptr, 0), -4);
    EXPECT_TRUE(module.transactions().empty());
}

TEST_F(SystemStateTest, UndecodableStateIsRefusedWithTheUnmarshalText) {
    Bytes unknown = stateBytes(fullState());
    unknown.push_back(16);
    unknown.insert(unknown.end(), {0, 0, 0, 0});
    EXPECT_EQ(writeState(unknown), -3);
    EXPECT_EQ(interp.lastError(), "failed to unmarshal data");
    EXPECT_EQ(readState(unknown), -3);
    EXPECT_EQ(interp.lastError(), "failed to unmarshal data");

    Bytes cut = stateBytes(fullState());
    cut.push_back(3);  // a frame-rate record with no payload
    EXPECT_EQ(writeState(cut), -4);
    EXPECT_EQ(interp.lastError(), "failed to unmarshal data");
    const Bytes before = cut;
    EXPECT_EQ(readState(cut), -4);
    EXPECT_EQ(cut, before);
    EXPECT_TRUE(module.transactions().empty());

    EXPECT_EQ(interp.writeSystemState(nullptr, 5), -4);
    EXPECT_EQ(interp.readSystemState(nullptr, 5), -4);
}

}  // namespace
}  // namespace Lumivor::Testing
