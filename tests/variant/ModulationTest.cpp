#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "support/SimulatedCamera.h"
#include "variant/ModulationParameters.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor {

// Found by argument-dependent lookup when a setting comparison fails.
inline void PrintTo(const SynthesiserSetting& s, std::ostream* os) {
    *os << "(a " << s.inputDivider << ", r " << s.multiplier << ", k " << s.outputDivider << ")";
}

}  // namespace Lumivor

namespace Lumivor::Testing {
namespace {

namespace Field = YorinD::Field;

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

TEST(FrequencySearch, FindsTheFirstClosestSetting) {
    struct Case {
        float frequency;
        SynthesiserLimits limits;
        std::uint32_t phaseCount;
        std::optional<SynthesiserSetting> expected;
    };
    const Case cases[] = {
        // Every (a, k) with x a whole number is exact here; the first one, k 3 a 1, stays.
        {30.0f, kLimits, 4, SynthesiserSetting{1, 15, 3}},
        {20.0f, kLimits, 4, SynthesiserSetting{3, 40, 4}},
        {150.0f, kLimits, 4, SynthesiserSetting{1, 25, 1}},
        // Without input divider 3 no k 4 setting is exact: a 2 of k 5 (0.2 MHz off) is beaten
        // by the exact a 1 of k 6.
        {20.0f, {2, 63, 7}, 4, SynthesiserSetting{1, 20, 6}},
        // 11 MHz: (a 1, r 13) and (a 3, r 39) of k 7 are both exactly 1/7 MHz off. In single
        // precision the first comes out 0.14285741 and the second 0.14285715, so the later one
        // wins; in double precision the two tie and the first would stay.
        {11.0f, kLimits, 4, SynthesiserSetting{3, 39, 7}},
        // Every candidate of 30 MHz needs a multiplier of at least 15.
        {30.0f, {3, 14, 7}, 4, std::nullopt},
        // 300/28 * 4 puts kLow at 8, above the output-divider limit 7; 0 and NaN have none.
        {300.0f / 28.0f, kLimits, 4, std::nullopt},
        {0.0f, kLimits, 4, std::nullopt},
        {std::nanf(""), kLimits, 4, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(findFrequencySettings(c.frequency, kClock, c.limits, 1, c.phaseCount), c.expected)
            << c.frequency << " MHz of " << c.phaseCount << " phases";
    }
}

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
                      ModulationCase{"Twenty", 4, 20.0f, {3, 40, 4}, 20.0f},
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

TEST_F(ModulationTest, UnprogrammedSynthesiserReadsAsNaN) {
    EXPECT_TRUE(std::isnan(readFloat(ParameterType::ModulationFrequency)));
}

// --- Dealiasing switch ------------------------------------------------------------------------

TEST_F(ModulationTest, DealiasingSwitchWritesAndReadsTheTopBitOnlyAndKeepsPhaseCount) {
    module.setField(Field::RatioModulationShare, 6);
    for (const bool on : {true, false, true}) {
        module.clearLog();
        ASSERT_EQ(interp.writeValue(ParameterType::DealiasingOn, on), Error::Success);
        EXPECT_EQ(module.field(Field::DealiasingEnable), on ? 1u : 0u);
        EXPECT_EQ(accesses(), rmw(kLow, kRatioReg));
        bool read = !on;
        ASSERT_EQ(interp.readValue(ParameterType::DealiasingOn, &read), Error::Success);
        EXPECT_EQ(read, on);
    }
    EXPECT_EQ(module.field(Field::RatioModulationShare), 6u);
    EXPECT_EQ(interp.getPhaseCount(), 4u);
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

TEST_F(ModulationTest, RefusedDealiasingWriteLeavesTheSensorAsItWas) {
    struct Case {
        const char* what;
        float modulation;  // written first, 0 for none
        float dealiasing;
        ErrorCode code;
        std::size_t reads;
    };
    const Case cases[] = {
        // 30 : 30 = 1 : 1, and nothing is 1 modulo 1.
        {"same frequency has no inverse", 30.0f, 30.0f, Error::OutOfRange, 6},
        // 11 MHz is made as 11.142858, whose ratio to 30 does not reduce to four-bit shares.
        {"share above its field", 30.0f, 11.0f, Error::OutOfRange, 6},
        {"below reach", 30.0f, 10.0f, Error::OutOfRange, 5},
        {"above reach", 30.0f, 151.0f, Error::OutOfRange, 5},
        // The modulation reads NaN, whose 32-bit conversion is 0x80000000.
        {"unprogrammed modulation", 0.0f, 20.0f, Error::OutOfRange, 6},
        // A multiplier of 0 with programmed dividers makes the modulation read 0 exactly, so
        // the common divisor is the dealiasing frequency itself and the modulation share is 0.
        {"zero modulation share", -1.0f, 20.0f, Error::OutOfRange, 6},
    };
    for (const Case& c : cases) {
        module.reset();
        if (c.modulation > 0.0f) {
            ASSERT_EQ(interp.writeValue(ParameterType::ModulationFrequency, c.modulation), 0);
        } else if (c.modulation < 0.0f) {
            module.setField(Field::ModulationInputDivider, 1);
            module.setField(Field::ModulationOutputDivider, 3);
        }
        module.clearLog();
        EXPECT_EQ(interp.writeValue(ParameterType::DealiasingFrequency, c.dealiasing), c.code)
            << c.what;
        EXPECT_EQ(module.readCount(), c.reads) << c.what;
        EXPECT_EQ(module.writeCount(), 0u) << c.what;
        EXPECT_EQ(dealiasingSetting(), (SynthesiserSetting{0, 0, 0})) << c.what;
        EXPECT_EQ(module.field(Field::RatioModulationShare), 4u);
        EXPECT_EQ(module.field(Field::RatioDealiasingShare), 3u);
        EXPECT_EQ(module.field(Field::RatioModularInverse), 1u);
    }
}

}  // namespace
}  // namespace Lumivor::Testing
