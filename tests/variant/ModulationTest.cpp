#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "host/RangeDecoder.h"
#include "support/MarshalledRange.h"
#include "support/SimulatedCamera.h"
#include "variant/ModulationParameters.h"
#include "variant/SubRegisterIndex.h"

namespace Lumivor {

// Found by argument-dependent lookup when a setting comparison fails.
inline void PrintTo(const SynthesiserSetting& s, std::ostream* os) {
    *os << "(a " << s.inputDivider << ", r " << s.multiplier << ", k " << s.outputDivider << ")";
}

}  // namespace Lumivor

namespace Lumivor::Testing {
namespace {

namespace Field = YorinD::Field;

constexpr std::int32_t kBusFault = -77;

constexpr std::uint16_t kLow = 0x5C;
constexpr std::uint16_t kHigh = 0x58;
constexpr std::uint8_t kClockReg = 0x33;          // 0x033
constexpr std::uint8_t kPhaseCountReg = 0x83;     // 0x183
constexpr std::uint8_t kRatioReg = 0x02;          // 0x002 at 0x5C: shares, inverse, enable
constexpr std::uint8_t kStrobeReg = 0x02;         // 0x102 at 0x58
constexpr std::uint8_t kModMultiplierReg = 0x0C;  // 0x10C
constexpr std::uint8_t kDeaMultiplierReg = 0x0D;  // 0x10D
constexpr std::uint8_t kDividerReg = 0x0F;        // 0x10F: all four dividers

// The synthesiser fields as the default sub-register table sizes them.
constexpr SynthesiserLimits kLimits{3, 63, 7};
constexpr std::uint32_t kClock = 48;

class ModulationTest : public SimulatedCameraTest {
  protected:
    float readFloat(std::uint32_t id) {
        float value = -1.0f;
        EXPECT_EQ(interp.readValue(id, &value), Error::Success);
        return value;
    }
    SynthesiserSetting modulationSetting() const {
        return {module.field(Field::ModulationInputDivider),
                module.field(Field::ModulationMultiplier),
                module.field(Field::ModulationOutputDivider)};
    }
    SynthesiserSetting dealiasingSetting() const {
        return {module.field(Field::DealiasingInputDivider),
                module.field(Field::DealiasingMultiplier),
                module.field(Field::DealiasingOutputDivider)};
    }
    static std::vector<Access> modulationRead() {
        return {R(kLow, kClockReg), R(kHigh, kPhaseCountReg), R(kHigh, kModMultiplierReg),
                R(kHigh, kDividerReg), R(kHigh, kDividerReg)};
    }
    static std::vector<Access> rmw(std::uint16_t device, std::uint8_t reg) {
        return {R(device, reg), W(device, reg)};
    }
    static void append(std::vector<Access>& to, const std::vector<Access>& more) {
        to.insert(to.end(), more.begin(), more.end());
    }
};

// --- The synthesiser search -------------------------------------------------------------------

struct SearchCase {
    const char* name;
    friend void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.name; }
    float frequency;
    SynthesiserLimits limits;
    std::uint32_t phaseCount;
    std::optional<SynthesiserSetting> expected;
};

class FrequencySearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(FrequencySearch, FindsTheFirstClosestSetting) {
    const SearchCase& c = GetParam();
    EXPECT_EQ(findFrequencySettings(c.frequency, kClock, c.limits, 1, c.phaseCount), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrequencySearch,
    ::testing::Values(
        // Every (a, k) with x a whole number is exact here; the first one, k 3 a 1, stays.
        SearchCase{"ThirtyKeepsFirstExact", 30.0f, kLimits, 4, SynthesiserSetting{1, 15, 3}},
        SearchCase{"Twelve", 12.0f, kLimits, 4, SynthesiserSetting{1, 14, 7}},
        SearchCase{"Twenty", 20.0f, kLimits, 4, SynthesiserSetting{3, 40, 4}},
        SearchCase{"Fifty", 50.0f, kLimits, 4, SynthesiserSetting{3, 50, 2}},
        SearchCase{"UpperBound", 150.0f, kLimits, 4, SynthesiserSetting{1, 25, 1}},
        SearchCase{"ThirtyWithSixPhases", 30.0f, kLimits, 6, SynthesiserSetting{1, 15, 2}},
        // Without input divider 3 no k 4 setting is exact: a 2 of k 5 (0.2 MHz off) is beaten
        // by the exact a 1 of k 6.
        SearchCase{
            "TwentyWithTwoInputDividers", 20.0f, {2, 63, 7}, 4, SynthesiserSetting{1, 20, 6}},
        // 11 MHz: (a 1, r 13) and (a 3, r 39) of k 7 are both exactly 1/7 MHz off. In single
        // precision the first comes out 0.14285741 and the second 0.14285715, so the later one
        // wins; in double precision the two tie and the first would stay.
        SearchCase{"ElevenNearTieDecidedBySinglePrecision", 11.0f, kLimits, 4,
                   SynthesiserSetting{3, 39, 7}},
        // Every candidate of 30 MHz needs a multiplier of at least 15.
        SearchCase{"MultiplierLimitExcludesAll", 30.0f, {3, 14, 7}, 4, std::nullopt},
        // 300/28 * 4 puts kLow at 8, above the output-divider limit 7.
        SearchCase{"LowerBoundHasNoOutputDivider", 300.0f / 28.0f, kLimits, 4, std::nullopt},
        SearchCase{"ZeroHasNoOutputDivider", 0.0f, kLimits, 4, std::nullopt},
        SearchCase{"NaNHasNoOutputDivider", std::nanf(""), kLimits, 4, std::nullopt}),
    [](const auto& info) { return info.param.name; });

// --- Modulation frequency ---------------------------------------------------------------------

struct ModulationCase {
    const char* name;
    friend void PrintTo(const ModulationCase& c, std::ostream* os) { *os << c.name; }
    std::uint32_t phaseCount;
    float frequency;
    SynthesiserSetting setting;
    float readBack;  // with the sensor's phase-count field at 4
};

class ModulationWrite : public ModulationTest,
                        public ::testing::WithParamInterface<ModulationCase> {};

TEST_P(ModulationWrite, WritesSettingThenStrobesOnceUpAndDown) {
    const ModulationCase& c = GetParam();
    interp.setPhaseCount(c.phaseCount);
    ASSERT_EQ(interp.writeValue(ParameterType::ModulationFrequency, c.frequency), Error::Success);
    EXPECT_EQ(modulationSetting(), c.setting);

    std::vector<Access> expected{R(kLow, kClockReg)};
    append(expected, rmw(kHigh, kModMultiplierReg));
    append(expected, rmw(kHigh, kDividerReg));
    append(expected, rmw(kHigh, kDividerReg));
    append(expected, rmw(kHigh, kStrobeReg));
    append(expected, rmw(kHigh, kStrobeReg));
    ASSERT_EQ(accesses(), expected);
    const auto& log = module.transactions();
    EXPECT_EQ(log[8].bytes.at(0) & 0x04, 0x04);
    EXPECT_EQ(log[10].bytes.at(0) & 0x04, 0x00);
    // The dealiasing dividers in the same register are left as they were.
    EXPECT_EQ(dealiasingSetting(), (SynthesiserSetting{0, 0, 0}));

    EXPECT_FLOAT_EQ(readFloat(ParameterType::ModulationFrequency), c.readBack);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModulationWrite,
    ::testing::Values(ModulationCase{"Thirty", 4, 30.0f, {1, 15, 3}, 30.0f},
                      ModulationCase{"Twelve", 4, 12.0f, {1, 14, 7}, 12.0f},
                      ModulationCase{"Twenty", 4, 20.0f, {3, 40, 4}, 20.0f},
                      ModulationCase{"Fifty", 4, 50.0f, {3, 50, 2}, 50.0f},
                      ModulationCase{"UpperBound", 4, 150.0f, {1, 25, 1}, 150.0f},
                      // 39 * 48 / (2 * 4 * 7 * 3) is as close as the synthesiser gets.
                      ModulationCase{"ElevenNearTie", 4, 11.0f, {3, 39, 7}, 11.142858f},
                      // The read divides by the sensor's phase-count field, not by six.
                      ModulationCase{"ThirtyWithSixPhases", 6, 30.0f, {1, 15, 2}, 45.0f},
                      ModulationCase{"UpperBoundWithSixPhases", 6, 100.0f, {1, 25, 1}, 150.0f}),
    [](const auto& info) { return info.param.name; });

TEST_F(ModulationTest, FrequencyOutsideSynthesiserReachIsRefusedWithoutTraffic) {
    struct Case {
        std::uint32_t phaseCount;
        float frequency;
    };
    // Reach is 300 / (K * 7) to 600 / K: 10.714 to 150 with K 4, 7.143 to 100 with K 6.
    for (const Case c :
         {Case{4, 10.5f}, Case{4, 151.0f}, Case{4, -30.0f}, Case{6, 7.0f}, Case{6, 101.0f}}) {
        interp.setPhaseCount(c.phaseCount);
        EXPECT_EQ(interp.writeValue(ParameterType::ModulationFrequency, c.frequency),
                  Error::OutOfRange)
            << c.frequency;
    }
    EXPECT_EQ(module.transactionCount(), 0u);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 6");
}

TEST_F(ModulationTest, LowerBoundPassesTheCheckButFindsNoSetting) {
    EXPECT_EQ(interp.writeValue(ParameterType::ModulationFrequency, 300.0f / 28.0f),
              Error::OutOfRange);
    EXPECT_EQ(accesses(), (std::vector<Access>{R(kLow, kClockReg)}));
}

TEST_F(ModulationTest, ReadTakesPhaseCountFromTheSensorField) {
    ASSERT_EQ(interp.writeValue(ParameterType::ModulationFrequency, 30.0f), Error::Success);
    module.clearLog();
    module.setField(Field::ModulationPhaseCount, 6);
    EXPECT_EQ(readFloat(ParameterType::ModulationFrequency), 20.0f);
    EXPECT_EQ(accesses(), modulationRead());
}

TEST_F(ModulationTest, UnprogrammedSynthesiserReadsAsNaN) {
    EXPECT_TRUE(std::isnan(readFloat(ParameterType::ModulationFrequency)));
}

TEST_F(ModulationTest, ModulationWriteFailureStopsAtTheFailingTransaction) {
    // 1 clock, 2-3 multiplier, 4-5 input divider, 6-7 output divider, 8-11 strobe.
    struct Case {
        std::size_t failing;
        SynthesiserSetting left;
    };
    for (const Case c : {Case{1, {0, 0, 0}}, Case{3, {0, 0, 0}}, Case{5, {0, 15, 0}},
                         Case{6, {1, 15, 0}}, Case{9, {1, 15, 3}}, Case{11, {1, 15, 3}}}) {
        module.reset();
        module.clearLog();
        module.failNthTransaction(c.failing, kBusFault);
        EXPECT_EQ(interp.writeValue(ParameterType::ModulationFrequency, 30.0f), kBusFault)
            << c.failing;
        EXPECT_EQ(module.transactionCount(), c.failing);
        EXPECT_EQ(modulationSetting(), c.left) << c.failing;
    }
    // A failing lower strobe leaves it up.
    EXPECT_EQ(module.field(Field::UpdateStrobe), 1u);
}

// --- Dealiasing switch ------------------------------------------------------------------------

TEST_F(ModulationTest, DealiasingSwitchWritesTopBitOnlyAndKeepsPhaseCount) {
    module.setField(Field::RatioModulationShare, 6);
    ASSERT_EQ(interp.writeValue(ParameterType::DealiasingOn, true), Error::Success);
    EXPECT_EQ(module.field(Field::DealiasingEnable), 1u);
    EXPECT_EQ(module.field(Field::RatioModulationShare), 6u);
    EXPECT_EQ(interp.getPhaseCount(), 4u);
    EXPECT_EQ(accesses(), rmw(kLow, kRatioReg));
    ASSERT_EQ(interp.writeValue(ParameterType::DealiasingOn, false), Error::Success);
    EXPECT_EQ(module.field(Field::DealiasingEnable), 0u);
}

TEST_F(ModulationTest, DealiasingSwitchReadsTheEnableField) {
    for (const std::uint32_t field : {0u, 1u}) {
        module.setField(Field::DealiasingEnable, field);
        bool on = field == 0;
        ASSERT_EQ(interp.readValue(ParameterType::DealiasingOn, &on), Error::Success);
        EXPECT_EQ(on, field == 1);
    }
    module.failNthTransaction(1, kBusFault);
    bool untouched = true;
    EXPECT_EQ(interp.readValue(ParameterType::DealiasingOn, &untouched), kBusFault);
    EXPECT_TRUE(untouched);
}

// --- Dealiasing frequency ---------------------------------------------------------------------

struct DealiasingCase {
    const char* name;
    friend void PrintTo(const DealiasingCase& c, std::ostream* os) { *os << c.name; }
    float frequency;
    SynthesiserSetting setting;
    std::uint32_t modulationShare;
    std::uint32_t dealiasingShare;
    std::uint32_t inverse;
};

class DealiasingWrite : public ModulationTest,
                        public ::testing::WithParamInterface<DealiasingCase> {
  protected:
    void SetUp() override {
        ModulationTest::SetUp();
        ASSERT_EQ(interp.writeValue(ParameterType::ModulationFrequency, 30.0f), Error::Success);
        module.clearLog();
    }
};

TEST_P(DealiasingWrite, StoresSettingRatioAndInverseThenStrobes) {
    const DealiasingCase& c = GetParam();
    ASSERT_EQ(interp.writeValue(ParameterType::DealiasingFrequency, c.frequency), Error::Success);
    EXPECT_EQ(dealiasingSetting(), c.setting);
    EXPECT_EQ(module.field(Field::RatioModulationShare), c.modulationShare);
    EXPECT_EQ(module.field(Field::RatioDealiasingShare), c.dealiasingShare);
    EXPECT_EQ(module.field(Field::RatioModularInverse), c.inverse);
    EXPECT_EQ(module.field(Field::UpdateStrobe), 0u);
    EXPECT_EQ(modulationSetting(), (SynthesiserSetting{1, 15, 3}));

    std::vector<Access> expected = modulationRead();
    expected.push_back(R(kLow, kClockReg));
    append(expected, rmw(kHigh, kDeaMultiplierReg));
    append(expected, rmw(kHigh, kDividerReg));
    append(expected, rmw(kHigh, kDividerReg));
    for (int ratioField = 0; ratioField < 3; ++ratioField) {
        append(expected, rmw(kLow, kRatioReg));
    }
    append(expected, rmw(kHigh, kStrobeReg));
    append(expected, rmw(kHigh, kStrobeReg));
    EXPECT_EQ(accesses(), expected);

    EXPECT_EQ(readFloat(ParameterType::DealiasingFrequency), c.frequency);
}

INSTANTIATE_TEST_SUITE_P(Cases, DealiasingWrite,
                         ::testing::Values(
                             // gcd(30e6, 20e6) = 10e6: 3 : 2, and 2 * 2 = 1 mod 3.
                             DealiasingCase{"Twenty", 20.0f, {3, 40, 4}, 3, 2, 2},
                             // 6 : 5, and 5 * 5 = 1 mod 6.
                             DealiasingCase{"TwentyFive", 25.0f, {3, 50, 4}, 6, 5, 5},
                             DealiasingCase{"Fifteen", 15.0f, {1, 15, 6}, 2, 1, 1},
                             // 30 : 12 = 5 : 2, and 3 * 2 = 1 mod 5.
                             DealiasingCase{"Twelve", 12.0f, {1, 14, 7}, 5, 2, 3}),
                         [](const auto& info) { return info.param.name; });

TEST_F(ModulationTest, DealiasingReadCountsSixPhasesWhenEnabled) {
    module.setField(Field::DealiasingMultiplier, 40);
    module.setField(Field::DealiasingInputDivider, 3);
    module.setField(Field::DealiasingOutputDivider, 4);
    EXPECT_EQ(readFloat(ParameterType::DealiasingFrequency), 20.0f);
    module.setField(Field::DealiasingEnable, 1);
    module.clearLog();
    EXPECT_FLOAT_EQ(readFloat(ParameterType::DealiasingFrequency), 40.0f * 48.0f / 144.0f);
    EXPECT_EQ(accesses(), (std::vector<Access>{R(kLow, kClockReg), R(kLow, kRatioReg),
                                               R(kHigh, kDeaMultiplierReg), R(kHigh, kDividerReg),
                                               R(kHigh, kDividerReg)}));
}

class DealiasingRefusal : public ModulationTest {
  protected:
    void expectNothingWritten() {
        EXPECT_EQ(module.writeCount(), 0u);
        EXPECT_EQ(dealiasingSetting(), (SynthesiserSetting{0, 0, 0}));
        EXPECT_EQ(module.field(Field::RatioModulationShare), 4u);
        EXPECT_EQ(module.field(Field::RatioDealiasingShare), 3u);
        EXPECT_EQ(module.field(Field::RatioModularInverse), 1u);
    }
};

TEST_F(DealiasingRefusal, SameFrequencyHasNoInverse) {
    ASSERT_EQ(interp.writeValue(ParameterType::ModulationFrequency, 30.0f), Error::Success);
    module.clearLog();
    // 30 : 30 = 1 : 1, and nothing is 1 modulo 1.
    EXPECT_EQ(interp.writeValue(ParameterType::DealiasingFrequency, 30.0f), Error::OutOfRange);
    EXPECT_EQ(module.readCount(), 6u);
    expectNothingWritten();
}

TEST_F(DealiasingRefusal, RatioShareAboveItsFieldIsRefused) {
    ASSERT_EQ(interp.writeValue(ParameterType::ModulationFrequency, 30.0f), Error::Success);
    module.clearLog();
    // 11 MHz is made as 11.142858, whose ratio to 30 does not reduce to four-bit shares.
    EXPECT_EQ(interp.writeValue(ParameterType::DealiasingFrequency, 11.0f), Error::OutOfRange);
    expectNothingWritten();
}

TEST_F(DealiasingRefusal, OutsideReachIsRefusedAfterReadingTheModulation) {
    ASSERT_EQ(interp.writeValue(ParameterType::ModulationFrequency, 30.0f), Error::Success);
    module.clearLog();
    for (const float f : {10.0f, 151.0f}) {
        EXPECT_EQ(interp.writeValue(ParameterType::DealiasingFrequency, f), Error::OutOfRange);
    }
    EXPECT_EQ(module.readCount(), 10u);
    expectNothingWritten();
}

TEST_F(DealiasingRefusal, ZeroModulationShareFailsWithoutDividing) {
    // A multiplier of 0 with programmed dividers makes the modulation read 0 exactly, so the
    // common divisor is the dealiasing frequency itself and the modulation share is 0.
    module.setField(Field::ModulationInputDivider, 1);
    module.setField(Field::ModulationOutputDivider, 3);
    EXPECT_EQ(interp.writeValue(ParameterType::DealiasingFrequency, 20.0f), Error::OutOfRange);
    expectNothingWritten();
}

TEST_F(DealiasingRefusal, UnprogrammedModulationIsRefused) {
    // The modulation reads NaN, whose 32-bit conversion is 0x80000000.
    EXPECT_EQ(interp.writeValue(ParameterType::DealiasingFrequency, 20.0f), Error::OutOfRange);
    expectNothingWritten();
}

TEST_F(DealiasingRefusal, ModulationReadFailurePassesItsCode) {
    module.failNthTransaction(3, kBusFault);
    EXPECT_EQ(interp.writeValue(ParameterType::DealiasingFrequency, 20.0f), kBusFault);
    EXPECT_EQ(module.transactionCount(), 3u);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 8");
    expectNothingWritten();
}

TEST_F(ModulationTest, DealiasingWriteFailureKeepsEarlierFieldsAndSkipsStrobe) {
    ASSERT_EQ(interp.writeValue(ParameterType::ModulationFrequency, 30.0f), Error::Success);
    // 1-5 modulation read, 6 clock, 7-8 multiplier, 9-10 and 11-12 dividers, 13-14 the
    // modulation share, 15-16 the dealiasing share, 17-18 the inverse, 19-22 the strobe.
    struct Case {
        std::size_t failing;
        SynthesiserSetting left;
        std::uint32_t modulationShare;
    };
    for (const Case c : {Case{6, {0, 0, 0}, 4}, Case{8, {0, 0, 0}, 4}, Case{13, {3, 40, 4}, 4},
                         Case{16, {3, 40, 4}, 3}, Case{19, {3, 40, 4}, 3}}) {
        module.reset();
        ASSERT_EQ(interp.writeValue(ParameterType::ModulationFrequency, 30.0f), Error::Success);
        module.clearLog();
        module.failNthTransaction(c.failing, kBusFault);
        EXPECT_EQ(interp.writeValue(ParameterType::DealiasingFrequency, 20.0f), kBusFault)
            << c.failing;
        EXPECT_EQ(module.transactionCount(), c.failing);
        EXPECT_EQ(dealiasingSetting(), c.left) << c.failing;
        EXPECT_EQ(module.field(Field::RatioModulationShare), c.modulationShare) << c.failing;
        EXPECT_EQ(module.field(Field::UpdateStrobe), 0u);
    }
}

// --- Ranges -----------------------------------------------------------------------------------

TEST_F(ModulationTest, BothFrequenciesAdvertiseZeroToFiftyInSteps) {
    for (const std::uint32_t id :
         {ParameterType::ModulationFrequency, ParameterType::DealiasingFrequency}) {
        const auto range = marshalledRange(interp, id);
        ASSERT_EQ(range.kind(), MinMaxStepRange);
        const auto& b = std::get<RangeWire::Bounds<float>>(range.numbers);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(b.minimum), 0x00000000u);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(b.maximum), 0x42480000u);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(b.step), 0x3F800000u);
    }
    std::uint32_t size = 64;
    std::uint8_t bytes[64];
    EXPECT_EQ(interp.getParameterRange(ParameterType::DealiasingOn, bytes, &size),
              Error::NotSupported);
    EXPECT_EQ(module.transactionCount(), 0u);
}

}  // namespace
}  // namespace Lumivor::Testing
