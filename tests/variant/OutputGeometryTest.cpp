#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/SimulatedCamera.h"
#include "variant/ModulationParameters.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Testing {
namespace {

namespace Field = YorinD::Field;

constexpr std::uint16_t kLowBank = 0x5C;
constexpr std::uint16_t kHighBank = 0x58;

class OutputGeometryTest : public SimulatedCameraTest {
  protected:
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

// Synthesiser settings (a, r, k) at the 48 MHz clock: the modulation read divides by the four
// phases of the sensor's field, the dealiasing read by six once dealiasing is on.
struct RangeCase {
    SynthesiserSetting modulation;
    bool dealiasing;
    SynthesiserSetting dealiasingSetting;
    float range;
    std::size_t transactions;
};

TEST_F(OutputGeometryTest, RangeIsHalfTheLightSpeedOverTheFrequencyOrTheirCommonBeat) {
    const RangeCase cases[] = {
        // 50 MHz alone; the dealiasing frequency is not even read.
        {{3, 50, 2}, false, {1, 15, 1}, 2.9979246f, 6},
        // 50 and 60 MHz beat at 10 MHz; 80 and 60 at 20 MHz.
        {{3, 50, 2}, true, {1, 15, 1}, 14.989622f, 11},
        {{3, 40, 1}, true, {1, 15, 1}, 7.494811f, 11},
        // A dealiasing frequency of 0 leaves the modulation alone.
        {{3, 50, 2}, true, {1, 0, 1}, 2.9979246f, 11},
        // 48/84 MHz is 571428.6 Hz, truncated (not rounded) to whole hertz before the divisor:
        // gcd(50000000, 571428) = 4, where 571429 would give 1.
        {{3, 50, 2}, true, {1, 1, 7}, 149896224.0f / 4.0f, 11},
        // A modulation of 0 MHz makes the range infinite, with or without dealiasing.
        {{3, 0, 2}, false, {1, 15, 1}, std::numeric_limits<float>::infinity(), 6},
        {{3, 0, 2}, true, {1, 0, 1}, std::numeric_limits<float>::infinity(), 11},
    };
    for (const RangeCase& c : cases) {
        module.setField(Field::ModulationInputDivider, c.modulation.inputDivider);
        module.setField(Field::ModulationMultiplier, c.modulation.multiplier);
        module.setField(Field::ModulationOutputDivider, c.modulation.outputDivider);
        module.setField(Field::DealiasingEnable, c.dealiasing ? 1 : 0);
        module.setField(Field::DealiasingInputDivider, c.dealiasingSetting.inputDivider);
        module.setField(Field::DealiasingMultiplier, c.dealiasingSetting.multiplier);
        module.setField(Field::DealiasingOutputDivider, c.dealiasingSetting.outputDivider);
        module.clearLog();
        float range = 0.0f;
        ASSERT_EQ(interp.readValue(12u, &range), 0);
        EXPECT_EQ(range, c.range) << c.modulation.multiplier << "/" << c.dealiasing;
        EXPECT_EQ(module.transactionCount(), c.transactions);
        EXPECT_EQ(module.writeCount(), 0u);
    }
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
        {{0, 256, 16, 1}, 0, {0, 239, 0, 159}},   // first row itself too large
        {{0, 0, 320, 0}, 2, {0, 239, 0, 159}},    // last row wraps to 65535
        {{512, 0, 16, 1}, 4, {0, 0, 0, 159}},     // first column pair 256
        {{200, 0, 320, 1}, 6, {0, 0, 100, 159}},  // last column pair 259
    };
    for (const Case& c : cases) {
        module.reset();
        module.clearLog();
        EXPECT_EQ(interp.writeValue(13u, c.roi), Error::OutOfRange) << c.roi.x << "," << c.roi.y;
        EXPECT_EQ(module.transactionCount(), c.transactions);
        EXPECT_EQ(roiFields(), c.fields);
    }
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
    // A mode written over another clears what the earlier one set.
    ASSERT_EQ(interp.writeValue(11u, 3), 0);
    ASSERT_EQ(interp.writeValue(11u, 1), 0);
    EXPECT_EQ(module.registerValue(0x025), 0x080000u);
    EXPECT_EQ(module.registerValue(0x108), 0x4u);
    EXPECT_EQ(module.registerValue(0x128), 0x0u);
}

TEST_F(OutputGeometryTest, RawOutputModeStateMatchingNoRowReadsZero) {
    // Fields 72, 197, 117, 211, 213, 212, 214.
    const std::array<std::uint32_t, 7> states[] = {
        {15, 1, 1, 0, 0, 0, 0},  // both selects
        {7, 0, 0, 0, 0, 0, 0},   // partial period doubling
        {0, 0, 1, 0, 0, 1, 1},   // mode 3 lanes without doubling
        {15, 1, 0, 1, 1, 0, 1},  // mode 4 plus one lane of mode 3
    };
    const std::uint32_t fields[] = {Field::RawOutputPeriodDoubling, Field::RawOutputSelectA,
                                    Field::RawOutputSelectB,        Field::RawOutputLaneA,
                                    Field::RawOutputLaneB,          Field::RawOutputLaneC,
                                    Field::RawOutputLaneD};
    for (const auto& state : states) {
        for (std::size_t i = 0; i < state.size(); ++i) {
            module.setField(fields[i], state[i]);
        }
        int mode = -1;
        ASSERT_EQ(interp.readValue(11u, &mode), 0);
        EXPECT_EQ(mode, 0) << state[0] << state[1] << state[2];
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

// --- stream enable and native frame format --------------------------------------------------

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
    // Only bit 0 counts.
    module.setRegisterValue(0x180, 0xFFFFFE);
    on = true;
    ASSERT_EQ(interp.readValue(14u, &on), 0);
    EXPECT_FALSE(on);
}

TEST_F(OutputGeometryTest, NativeFrameFormatIsConstantFourWithoutTouchingTheSensor) {
    module.failDevice(kHighBank, -1);
    module.failDevice(kLowBank, -1);
    int format = 0;
    ASSERT_EQ(interp.readValue(15u, &format), 0);
    EXPECT_EQ(format, 4);
    EXPECT_EQ(module.transactionCount(), 0u);
}

}  // namespace
}  // namespace Lumivor::Testing
