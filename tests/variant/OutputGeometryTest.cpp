#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "core/ParameterInternal.h"
#include "core/VEXARParameterInterpreter.h"
#include "support/MarshalledRange.h"
#include "support/SimulatedCamera.h"
#include "variant/OutputParameters.h"
#include "variant/SubRegisterIndex.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Testing {
namespace {

namespace Field = YorinD::Field;

constexpr std::uint16_t kLowBank = 0x5C;
constexpr std::uint16_t kHighBank = 0x58;

class OutputGeometryTest : public SimulatedCameraTest {
  protected:
    RangeWire::RangeDescription rangeOf(std::uint32_t id) { return marshalledRange(interp, id); }

    // Every sensor register write as (address, new 24-bit value), in bus order.
    struct RegisterWrite {
        std::uint32_t address;
        std::uint32_t value;
        bool operator==(const RegisterWrite&) const = default;
        friend void PrintTo(const RegisterWrite& w, std::ostream* os) {
            *os << std::hex << "0x" << w.address << "=0x" << w.value << std::dec;
        }
    };
    std::vector<RegisterWrite> registerWrites() const {
        std::vector<RegisterWrite> out;
        for (const Sim::Transaction& t : module.transactions()) {
            if (t.direction == Sim::Direction::Write && t.bytes.size() == 3) {
                const std::uint32_t base = t.device == kHighBank ? 0x100u : 0u;
                out.push_back({base + t.reg, std::uint32_t{t.bytes[0]} |
                                                 std::uint32_t{t.bytes[1]} << 8 |
                                                 std::uint32_t{t.bytes[2]} << 16});
            }
        }
        return out;
    }

    std::array<std::uint32_t, 4> roiFields() const {
        return {module.field(Field::RoiFirstRow), module.field(Field::RoiLastRow),
                module.field(Field::RoiFirstColumnPair), module.field(Field::RoiLastColumnPair)};
    }
};

// --- unambiguous range ----------------------------------------------------------------------

// The range depends only on what the frequency parameters answer, so it is checked against
// stand-ins for them: an interpreter whose table holds the real range parameter and three
// parameters that answer what the test sets.
struct FrequencyInputs {
    float modulationMhz = 50.0f;
    bool dealiasing = false;
    float dealiasingMhz = 60.0f;
    ErrorCode status[3] = {0, 0, 0};  // of identifiers 6, 7, 8
    int reads[3] = {0, 0, 0};
};

template <typename T, ParameterType Id>
class StandIn final : public CatalogueParameter<T, UnitType::None, AccessMode::ReadWrite> {
  public:
    StandIn(FrequencyInputs& inputs, T FrequencyInputs::*field)
        : CatalogueParameter<T, UnitType::None, AccessMode::ReadWrite>(Id),
          inputs_(inputs),
          field_(field) {}
    ErrorCode read(const AccessContext&, T* value) const override {
        const std::size_t slot = Id - ParameterType::ModulationFrequency;
        ++inputs_.reads[slot];
        if (inputs_.status[slot] == 0) {
            *value = inputs_.*field_;
        }
        return inputs_.status[slot];
    }

  private:
    FrequencyInputs& inputs_;
    T FrequencyInputs::*field_;
};

class RangeInterpreter final : public VEXARParameterInterpreter {
  public:
    explicit RangeInterpreter(FrequencyInputs& inputs) : inputs_(inputs) {}
    ErrorCode writeSystemState(const std::uint8_t*, std::uint32_t) override { return -3; }
    ErrorCode readSystemState(std::uint8_t*, std::uint32_t) override { return -3; }
    ErrorCode writeCalibration(const std::uint8_t*, std::uint32_t) override { return -3; }
    ErrorCode readCalibration(std::uint8_t*, std::uint32_t*) override { return -3; }
    ErrorCode getPhaseScaling(float*) override { return -3; }

  protected:
    ErrorCode selectParameterTable(ModuleKey, ModuleDescriptor, ParameterTable& table) override {
        table.insert(std::make_unique<Range_YORIN_D>());
        table.insert(std::make_unique<StandIn<float, ParameterType::ModulationFrequency>>(
            inputs_, &FrequencyInputs::modulationMhz));
        table.insert(std::make_unique<StandIn<bool, ParameterType::DealiasingOn>>(
            inputs_, &FrequencyInputs::dealiasing));
        table.insert(std::make_unique<StandIn<float, ParameterType::DealiasingFrequency>>(
            inputs_, &FrequencyInputs::dealiasingMhz));
        return 0;
    }
    ErrorCode selectSubRegisterMap(ModuleKey, ModuleDescriptor, SubRegisterMap& map) override {
        map.assign(YorinD::kSubRegisters);
        return 0;
    }

  private:
    FrequencyInputs& inputs_;
};

class UnambiguousRangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(rangeInterp.initialize(module.hostContext(), &Sim::SimulatedModule::readCallback,
                                         &Sim::SimulatedModule::writeCallback,
                                         Sim::SimulatedModule::moduleKey(),
                                         Sim::SimulatedModule::moduleDescriptor()),
                  0);
    }
    void TearDown() override { rangeInterp.dispose(); }

    Sim::SimulatedModule module;
    FrequencyInputs inputs;
    RangeInterpreter rangeInterp{inputs};
};

TEST_F(UnambiguousRangeTest, WithoutDealiasingIsHalfTheLightSpeedOverTheFrequency) {
    float range = 0.0f;
    ASSERT_EQ(rangeInterp.readValue(12u, &range), 0);
    EXPECT_EQ(range, 2.9979246f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(range),
              std::bit_cast<std::uint32_t>(149896224.0f / 50000000.0f));
    // The dealiasing frequency is not asked for when dealiasing is off.
    EXPECT_EQ(inputs.reads[2], 0);
    EXPECT_EQ(module.transactionCount(), 0u);
}

TEST_F(UnambiguousRangeTest, WithDealiasingUsesTheCommonDivisorOfBothFrequencies) {
    struct Case {
        float modulation;
        float dealiasing;
        float range;
    };
    // 50/60 MHz beat at 10 MHz; 80/60 at 20 MHz; 0 MHz dealiasing leaves the modulation alone.
    for (const Case& c : {Case{50.0f, 60.0f, 14.989622f}, Case{80.0f, 60.0f, 7.494811f},
                          Case{50.0f, 0.0f, 2.9979246f}}) {
        inputs.modulationMhz = c.modulation;
        inputs.dealiasing = true;
        inputs.dealiasingMhz = c.dealiasing;
        float range = 0.0f;
        ASSERT_EQ(rangeInterp.readValue(12u, &range), 0);
        EXPECT_EQ(range, c.range) << c.modulation << "/" << c.dealiasing;
    }
}

// Frequencies are scaled to hertz in single precision and truncated before the divisor:
// 0.02000075 MHz is 20000.75 Hz, truncated to 20000, which divides 30 MHz; rounding to 20001
// instead would leave a divisor of 3.
TEST_F(UnambiguousRangeTest, FrequenciesAreTruncatedToWholeHertzBeforeTheDivisor) {
    inputs.modulationMhz = 30.0f;
    inputs.dealiasing = true;
    inputs.dealiasingMhz = 0.02000075f;
    ASSERT_EQ(inputs.dealiasingMhz * 1000000.0f, 20000.75f);
    float range = 0.0f;
    ASSERT_EQ(rangeInterp.readValue(12u, &range), 0);
    EXPECT_EQ(range, 149896224.0f / 20000.0f);
}

TEST_F(UnambiguousRangeTest, ZeroModulationFrequencyGivesAnInfiniteRange) {
    inputs.modulationMhz = 0.0f;
    float range = 0.0f;
    ASSERT_EQ(rangeInterp.readValue(12u, &range), 0);
    EXPECT_TRUE(std::isinf(range));
    inputs.dealiasing = true;
    inputs.dealiasingMhz = 0.0f;
    range = 0.0f;
    ASSERT_EQ(rangeInterp.readValue(12u, &range), 0);
    EXPECT_TRUE(std::isinf(range));
}

TEST_F(UnambiguousRangeTest, AFailingInputEndsTheReadWithItsCodeAndTheOuterMessage) {
    inputs.dealiasing = true;
    for (int failing = 0; failing < 3; ++failing) {
        SCOPED_TRACE(failing);
        inputs = FrequencyInputs{};
        inputs.dealiasing = true;
        inputs.status[failing] = -200 - failing;
        float range = 123.0f;
        EXPECT_EQ(rangeInterp.readValue(12u, &range), -200 - failing);
        EXPECT_EQ(range, 123.0f);
        EXPECT_EQ(rangeInterp.lastError(), "failed to read parameter 12");
        for (int later = failing + 1; later < 3; ++later) {
            EXPECT_EQ(inputs.reads[later], 0) << later;
        }
    }
}

TEST_F(OutputGeometryTest, RangeIsReadOnlyInMetresWithoutARange) {
    std::uint32_t unit = 0;
    std::uint32_t access = 0;
    ASSERT_EQ(interp.getUnitType(12, &unit), 0);
    ASSERT_EQ(interp.getAccessMode(12, &access), 0);
    EXPECT_EQ(unit, 5u);
    EXPECT_EQ(access, 2u);
    EXPECT_EQ(interp.writeValue(12u, 1.0f), Error::NotSupported);
    std::uint32_t size = 64;
    std::uint8_t buffer[64];
    EXPECT_EQ(interp.getParameterRange(12, buffer, &size), Error::NotSupported);
    EXPECT_EQ(module.transactionCount(), 0u);
}

// The same arithmetic on the real frequency parameters. Outside a system state the phase count
// stays 4, so a dealiasing frequency written as 15 MHz reads back at the six-phase rate, 10 MHz,
// once dealiasing is on, and that read-back value is what sets the range.
TEST_F(OutputGeometryTest, RangeFollowsTheFrequenciesAsTheSensorReportsThem) {
    ASSERT_EQ(interp.writeValue(6u, 50.0f), 0);
    float range = 0.0f;
    ASSERT_EQ(interp.readValue(12u, &range), 0);
    EXPECT_EQ(range, 2.9979246f);

    ASSERT_EQ(interp.writeValue(8u, 15.0f), 0);
    ASSERT_EQ(interp.writeValue(7u, true), 0);
    float dealiasing = 0.0f;
    ASSERT_EQ(interp.readValue(8u, &dealiasing), 0);
    EXPECT_EQ(dealiasing, 10.0f);
    ASSERT_EQ(interp.readValue(12u, &range), 0);
    EXPECT_EQ(range, 14.989622f);  // 50 and 10 MHz beat at 10 MHz

    ASSERT_EQ(interp.writeValue(7u, false), 0);
    ASSERT_EQ(interp.readValue(12u, &range), 0);
    EXPECT_EQ(range, 2.9979246f);
}

// --- region of interest ---------------------------------------------------------------------

struct RoiCase {
    RegionOfInterestInternal written;
    std::array<std::uint32_t, 4> fields;  // 207 first row, 208 last row, 209, 71 column pairs
    RegionOfInterestInternal readBack;
};

// The read rounds the width down to a multiple of 8; the write does not check the published
// range, only the widths of the fields, and wraps its sums at 16 bits.
const RoiCase kRoiCases[] = {
    {{0, 0, 320, 240}, {0, 239, 0, 159}, {0, 0, 320, 240}},
    {{16, 10, 288, 200}, {10, 209, 8, 151}, {16, 10, 288, 200}},
    {{2, 0, 20, 1}, {0, 0, 1, 10}, {2, 0, 16, 1}},
    {{3, 5, 17, 7}, {5, 11, 1, 8}, {2, 5, 16, 7}},
    {{510, 255, 2, 1}, {255, 255, 255, 255}, {510, 255, 0, 1}},
    {{0, 0, 65536 * 2 + 20, 65536 + 10}, {0, 9, 0, 9}, {0, 0, 16, 10}},
};

TEST_F(OutputGeometryTest, RegionWritesRowsThenColumnPairsAndReadsBack) {
    for (const RoiCase& c : kRoiCases) {
        SCOPED_TRACE(testing::Message() << c.written.x << "," << c.written.y << " "
                                        << c.written.width << "x" << c.written.height);
        module.reset();
        module.clearLog();
        ASSERT_EQ(interp.writeValue(13u, c.written), 0);
        EXPECT_EQ(roiFields(), c.fields);
        EXPECT_EQ(accesses(),
                  (std::vector<Access>{R(kHighBank, 0x1F), W(kHighBank, 0x1F), R(kHighBank, 0x1F),
                                       W(kHighBank, 0x1F), R(kHighBank, 0x20), W(kHighBank, 0x20),
                                       R(kHighBank, 0x21), W(kHighBank, 0x21)}));

        module.clearLog();
        RegionOfInterestInternal roi{-1, -1, -1, -1};
        ASSERT_EQ(interp.readValue(13u, &roi), 0);
        EXPECT_EQ(roi, c.readBack);
        EXPECT_EQ(accesses(), (std::vector<Access>{R(kHighBank, 0x1F), R(kHighBank, 0x20),
                                                   R(kHighBank, 0x21), R(kHighBank, 0x1F)}));
    }
}

TEST_F(OutputGeometryTest, RegionResetStateIsTheFullWindow) {
    RegionOfInterestInternal roi{};
    ASSERT_EQ(interp.readValue(13u, &roi), 0);
    EXPECT_EQ(roi, (RegionOfInterestInternal{0, 0, 320, 240}));
}

// Fields the sensor holds in an order the write never produces still decode by the same
// arithmetic, the width remainder taken with its sign.
TEST_F(OutputGeometryTest, RegionReadOfCrossedFieldsGivesNegativeSizes) {
    module.setField(Field::RoiFirstRow, 100);
    module.setField(Field::RoiLastRow, 20);
    module.setField(Field::RoiFirstColumnPair, 10);
    module.setField(Field::RoiLastColumnPair, 0);
    RegionOfInterestInternal roi{};
    ASSERT_EQ(interp.readValue(13u, &roi), 0);
    EXPECT_EQ(roi, (RegionOfInterestInternal{20, 100, -16, -79}));
}

TEST_F(OutputGeometryTest, NegativeRegionFieldIsOutOfRangeBeforeAnyTraffic) {
    for (int field = 0; field < 4; ++field) {
        RegionOfInterestInternal roi{0, 0, 320, 240};
        (&roi.x)[field] = field == 0 ? std::numeric_limits<int>::min() : -1;
        EXPECT_EQ(interp.writeValue(13u, roi), Error::OutOfRange) << field;
    }
    EXPECT_EQ(module.transactionCount(), 0u);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 13");
}

// A field value too large for its 8 bits is refused by the field write itself, after the
// fields before it have gone out.
TEST_F(OutputGeometryTest, OversizedRegionFieldStopsTheWriteWithEarlierFieldsWritten) {
    struct Case {
        RegionOfInterestInternal roi;
        std::size_t transactions;
        std::array<std::uint32_t, 4> fields;
    };
    const Case cases[] = {
        {{0, 256, 16, 1}, 0, {0, 239, 0, 159}},       // first row itself too large
        {{0, 200, 320, 100}, 2, {200, 239, 0, 159}},  // last row 299
        {{0, 0, 320, 0}, 2, {0, 239, 0, 159}},        // last row wraps to 65535
        {{512, 0, 16, 1}, 4, {0, 0, 0, 159}},         // first column pair 256
        {{0, 0, 0, 1}, 6, {0, 0, 0, 159}},            // last column pair wraps to 65535
        {{200, 0, 320, 1}, 6, {0, 0, 100, 159}},      // last column pair 259
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.roi.x << "," << c.roi.y << " " << c.roi.width << "x" << c.roi.height);
        module.reset();
        module.clearLog();
        EXPECT_EQ(interp.writeValue(13u, c.roi), Error::OutOfRange);
        EXPECT_EQ(module.transactionCount(), c.transactions);
        EXPECT_EQ(module.writeCount() * 2, c.transactions);
        EXPECT_EQ(roiFields(), c.fields);
    }
}

TEST_F(OutputGeometryTest, RegionWriteFailureMidwayPassesTheCodeAndStops) {
    const RegionOfInterestInternal roi{16, 10, 288, 200};
    for (std::size_t n = 1; n <= 8; ++n) {
        SCOPED_TRACE(n);
        module.reset();
        module.clearLog();
        module.failNthTransaction(n, -31);
        EXPECT_EQ(interp.writeValue(13u, roi), -31);
        EXPECT_EQ(module.transactionCount(), n);
        // Only the fields whose write completed before the failure hold new values.
        const std::array<std::uint32_t, 4> full{10, 209, 8, 151};
        const std::array<std::uint32_t, 4> reset{0, 239, 0, 159};
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(roiFields()[i], 2 * (i + 1) < n ? full[i] : reset[i]) << i;
        }
    }
}

TEST_F(OutputGeometryTest, RegionReadFailureLeavesTheCallersRecord) {
    for (std::size_t n = 1; n <= 4; ++n) {
        module.clearLog();
        module.failNthTransaction(n, -17);
        RegionOfInterestInternal roi{1, 2, 3, 4};
        EXPECT_EQ(interp.readValue(13u, &roi), -17) << n;
        EXPECT_EQ(roi, (RegionOfInterestInternal{1, 2, 3, 4}));
        EXPECT_EQ(module.transactionCount(), n);
    }
}

TEST_F(OutputGeometryTest, RegionRangeIsPublishedPerAxis) {
    const auto region = std::get<RangeWire::RegionBounds>(rangeOf(13).numbers);
    EXPECT_EQ(region.x, (RangeWire::Bounds<int>{0, 303, 16}));
    EXPECT_EQ(region.y, (RangeWire::Bounds<int>{0, 239, 1}));
    EXPECT_EQ(region.width, (RangeWire::Bounds<int>{16, 320, 16}));
    EXPECT_EQ(region.height, (RangeWire::Bounds<int>{1, 240, 1}));
}

// --- raw output mode ------------------------------------------------------------------------

struct RawModeCase {
    int mode;
    // Register 0x025 after its one write, then 0x108 and 0x128 after each of their writes.
    std::vector<std::uint32_t> writes;
};

// From reset: 0x025 holds 0x080000 (another field), 0x108 and 0x128 hold 0. The values after
// each write show the field order: 72, then 198 = 1, 197, 117, 211, 213, 212, 214.
const RawModeCase kRawModes[] = {
    {1, {0x080000, 0x4, 0x4, 0x4, 0x0, 0x0, 0x0, 0x0}},
    {2, {0x080F00, 0x4, 0x4, 0x4, 0x0, 0x0, 0x0, 0x0}},
    {3, {0x080F00, 0x4, 0x4, 0x6, 0x0, 0x0, 0x040000, 0x140000}},
    {4, {0x080F00, 0x4, 0x5, 0x5, 0x020000, 0x0A0000, 0x0A0000, 0x0A0000}},
};

TEST_F(OutputGeometryTest, RawOutputModeWritesItsRowInFieldOrderAndReadsBack) {
    const std::uint32_t addresses[] = {0x025, 0x108, 0x108, 0x108, 0x128, 0x128, 0x128, 0x128};
    for (const RawModeCase& c : kRawModes) {
        SCOPED_TRACE(c.mode);
        module.reset();
        module.clearLog();
        ASSERT_EQ(interp.writeValue(11u, c.mode), 0);
        std::vector<RegisterWrite> expected;
        for (std::size_t i = 0; i < c.writes.size(); ++i) {
            expected.push_back({addresses[i], c.writes[i]});
        }
        EXPECT_EQ(registerWrites(), expected);
        EXPECT_EQ(module.transactionCount(), 16u);

        module.clearLog();
        int mode = -1;
        ASSERT_EQ(interp.readValue(11u, &mode), 0);
        EXPECT_EQ(mode, c.mode);
        EXPECT_EQ(accesses(),
                  (std::vector<Access>{R(kLowBank, 0x25), R(kHighBank, 0x08), R(kHighBank, 0x08),
                                       R(kHighBank, 0x28), R(kHighBank, 0x28), R(kHighBank, 0x28),
                                       R(kHighBank, 0x28)}));
    }
}

TEST_F(OutputGeometryTest, RawOutputModeOverwritesAPreviousMode) {
    ASSERT_EQ(interp.writeValue(11u, 4), 0);
    ASSERT_EQ(interp.writeValue(11u, 3), 0);
    EXPECT_EQ(module.registerValue(0x108), 0x6u);
    EXPECT_EQ(module.registerValue(0x128), 0x140000u);
    ASSERT_EQ(interp.writeValue(11u, 1), 0);
    EXPECT_EQ(module.registerValue(0x025), 0x080000u);
    EXPECT_EQ(module.registerValue(0x108), 0x4u);
    EXPECT_EQ(module.registerValue(0x128), 0x0u);
}

TEST_F(OutputGeometryTest, RawOutputModeStateMatchingNoRowReadsZero) {
    struct State {
        std::uint32_t f72, f197, f117, f211, f213, f212, f214;
    };
    const State states[] = {
        {15, 1, 1, 0, 0, 0, 0},  // both selects
        {7, 0, 0, 0, 0, 0, 0},   // partial period doubling
        {0, 0, 1, 0, 0, 1, 1},   // mode 3 lanes without doubling
        {15, 1, 0, 1, 1, 0, 1},  // mode 4 plus one lane of mode 3
    };
    for (const State& s : states) {
        module.setField(Field::RawOutputPeriodDoubling, s.f72);
        module.setField(Field::RawOutputSelectA, s.f197);
        module.setField(Field::RawOutputSelectB, s.f117);
        module.setField(Field::RawOutputLaneA, s.f211);
        module.setField(Field::RawOutputLaneB, s.f213);
        module.setField(Field::RawOutputLaneC, s.f212);
        module.setField(Field::RawOutputLaneD, s.f214);
        int mode = -1;
        ASSERT_EQ(interp.readValue(11u, &mode), 0);
        EXPECT_EQ(mode, 0) << s.f72 << s.f197 << s.f117;
    }
    // The enable field takes no part in recognising a mode.
    ASSERT_EQ(interp.writeValue(11u, 2), 0);
    module.setField(Field::RawOutputEnable, 0);
    int mode = -1;
    ASSERT_EQ(interp.readValue(11u, &mode), 0);
    EXPECT_EQ(mode, 2);
}

TEST_F(OutputGeometryTest, RawOutputModeOutsideOneToFourIsRefusedUntouched) {
    struct Case {
        int mode;
        ErrorCode code;
    };
    for (const Case& c :
         {Case{-1, Error::OutOfRange}, Case{std::numeric_limits<int>::min(), Error::OutOfRange},
          Case{0, Error::NotSupported}, Case{5, Error::NotSupported},
          Case{std::numeric_limits<int>::max(), Error::NotSupported}}) {
        EXPECT_EQ(interp.writeValue(11u, c.mode), c.code) << c.mode;
    }
    EXPECT_EQ(module.transactionCount(), 0u);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 11");
}

TEST_F(OutputGeometryTest, RawOutputModeWriteFailureMidwayPassesTheCodeAndStops) {
    for (std::size_t n = 1; n <= 16; ++n) {
        module.reset();
        module.clearLog();
        module.failNthTransaction(n, -60);
        EXPECT_EQ(interp.writeValue(11u, 3), -60) << n;
        EXPECT_EQ(module.transactionCount(), n) << n;
    }
    // Failing at the third field (its read is transaction 5) leaves 72 and 198 written.
    module.reset();
    module.clearLog();
    module.failNthTransaction(5, -60);
    ASSERT_EQ(interp.writeValue(11u, 4), -60);
    EXPECT_EQ(module.field(Field::RawOutputPeriodDoubling), 15u);
    EXPECT_EQ(module.field(Field::RawOutputEnable), 1u);
    EXPECT_EQ(module.field(Field::RawOutputSelectA), 0u);
}

TEST_F(OutputGeometryTest, RawOutputModeReadFailureLeavesTheOutput) {
    for (std::size_t n = 1; n <= 7; ++n) {
        module.clearLog();
        module.failNthTransaction(n, -61);
        int mode = 77;
        EXPECT_EQ(interp.readValue(11u, &mode), -61) << n;
        EXPECT_EQ(mode, 77);
        EXPECT_EQ(module.transactionCount(), n);
    }
}

TEST_F(OutputGeometryTest, RawOutputModeRangeListsThreeFourTwoOne) {
    EXPECT_EQ(std::get<std::vector<int>>(rangeOf(11).numbers), (std::vector<int>{3, 4, 2, 1}));
}

// --- stream enable --------------------------------------------------------------------------

TEST_F(OutputGeometryTest, StreamEnableTellsTheSwitchThenSetsTheSensorBit) {
    module.setRegisterValue(0x180, 0xABCDE0);
    ASSERT_EQ(interp.writeValue(14u, true), 0);
    EXPECT_EQ(busLog(),
              (std::vector<std::string>{"w2@0x21 0x03 0xfe", "w1@0x58 0x80 r3 -> 0xe0 0xcd 0xab",
                                        "w4@0x58 0x80 0xe1 0xcd 0xab"}));
    bool on = false;
    ASSERT_EQ(interp.readValue(14u, &on), 0);
    EXPECT_TRUE(on);

    module.clearLog();
    ASSERT_EQ(interp.writeValue(14u, false), 0);
    EXPECT_EQ(busLog(),
              (std::vector<std::string>{"w2@0x21 0x03 0xff", "w1@0x58 0x80 r3 -> 0xe1 0xcd 0xab",
                                        "w4@0x58 0x80 0xe0 0xcd 0xab"}));
    ASSERT_EQ(interp.readValue(14u, &on), 0);
    EXPECT_FALSE(on);
}

TEST_F(OutputGeometryTest, StreamSwitchFailureLeavesTheSensorBitUntouched) {
    module.failDevice(0x21, -121);
    EXPECT_EQ(interp.writeValue(14u, true), -121);
    EXPECT_EQ(accesses(), (std::vector<Access>{W(0x21, 0x03)}));
    EXPECT_EQ(module.field(Field::StreamEnable), 0u);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 14");
}

TEST_F(OutputGeometryTest, StreamEnableSensorFailureAfterTheSwitchIsNotUndone) {
    for (std::size_t n : {2u, 3u}) {
        module.reset();
        module.clearLog();
        module.failNthTransaction(n, -44);
        EXPECT_EQ(interp.writeValue(14u, true), -44);
        EXPECT_EQ(module.transactionCount(), n);
        EXPECT_EQ(module.latchedByte(0x21), 0xFE);
        EXPECT_EQ(module.field(Field::StreamEnable), 0u);
    }
}

TEST_F(OutputGeometryTest, StreamEnableReadsOnlyBitZero) {
    module.setRegisterValue(0x180, 0xFFFFFE);
    bool on = true;
    ASSERT_EQ(interp.readValue(14u, &on), 0);
    EXPECT_FALSE(on);
    module.failNthTransaction(1, -3000);
    on = true;
    EXPECT_EQ(interp.readValue(14u, &on), -3000);
    EXPECT_TRUE(on);
    std::uint32_t size = 64;
    std::uint8_t buffer[64];
    EXPECT_EQ(interp.getParameterRange(14, buffer, &size), Error::NotSupported);
}

// --- native frame format --------------------------------------------------------------------

TEST_F(OutputGeometryTest, NativeFrameFormatIsConstantFourWithoutTouchingTheSensor) {
    module.failDevice(kHighBank, -1);
    module.failDevice(kLowBank, -1);
    int format = 0;
    ASSERT_EQ(interp.readValue(15u, &format), 0);
    EXPECT_EQ(format, 4);
    EXPECT_EQ(interp.writeValue(15u, 4), Error::NotSupported);
    std::uint32_t size = 64;
    std::uint8_t buffer[64];
    EXPECT_EQ(interp.getParameterRange(15, buffer, &size), Error::NotSupported);
    EXPECT_EQ(module.transactionCount(), 0u);
}

}  // namespace
}  // namespace Lumivor::Testing
