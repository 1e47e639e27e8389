#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/SimulatedCamera.h"
#include "variant/SubRegisterIndex.h"

namespace Lumivor::Testing {
namespace {

using YorinD::Field::DealiasingEnable;
using YorinD::Field::PhaseScalingBypass;
using YorinD::Field::PhaseScalingShift;
using YorinD::Field::RatioDealiasingShare;
using YorinD::Field::RatioModulationShare;

constexpr std::uint16_t kSensor = 0x5C;
constexpr std::int32_t kHostFailure = -77;
constexpr float kUntouched = -42.0f;
constexpr float kInfinity = std::numeric_limits<float>::infinity();

class PhaseScalingTest : public SimulatedCameraTest {
  protected:
    void setRatio(std::uint32_t m, std::uint32_t n, std::uint32_t k) {
        module.setField(RatioModulationShare, m);
        module.setField(RatioDealiasingShare, n);
        module.setField(PhaseScalingShift, k);
    }
};

// ---- No rescaling: m, n and k are never read ----

struct EarlyCase {
    std::uint32_t dealiasing;
    std::uint32_t bypass;
};

class PhaseScalingEarly : public PhaseScalingTest,
                          public ::testing::WithParamInterface<EarlyCase> {};

TEST_P(PhaseScalingEarly, IsOneAfterReadingOnlyTheTwoSwitches) {
    module.setField(DealiasingEnable, GetParam().dealiasing);
    module.setField(PhaseScalingBypass, GetParam().bypass);
    // A ratio that would give infinity if it were used.
    setRatio(0, 0, 0);
    float factor = kUntouched;
    ASSERT_EQ(interp.getPhaseScaling(&factor), Error::Success);
    EXPECT_EQ(factor, 1.0f);
    // Both switches live in register 0x002; k (0x003) is never reached.
    EXPECT_EQ(accesses(), (std::vector<Access>{R(kSensor, 0x02), R(kSensor, 0x02)}));
}

INSTANTIATE_TEST_SUITE_P(Switches, PhaseScalingEarly,
                         ::testing::Values(EarlyCase{0, 0}, EarlyCase{0, 1}, EarlyCase{1, 1}));

// ---- The formula 2^(5 - k) / (m * n) ----

struct FormulaCase {
    std::uint32_t m;
    std::uint32_t n;
    std::uint32_t k;
    float factor;
};

class PhaseScalingFormula : public PhaseScalingTest,
                            public ::testing::WithParamInterface<FormulaCase> {};

TEST_P(PhaseScalingFormula, GivesThePowerOfTwoOverTheRatioProduct) {
    const FormulaCase c = GetParam();
    module.setField(DealiasingEnable, 1);
    setRatio(c.m, c.n, c.k);
    float factor = kUntouched;
    ASSERT_EQ(interp.getPhaseScaling(&factor), Error::Success);
    EXPECT_EQ(factor, c.factor) << "m " << c.m << " n " << c.n << " k " << c.k;
}

INSTANTIATE_TEST_SUITE_P(
    Ratios, PhaseScalingFormula,
    ::testing::Values(FormulaCase{4, 3, 0, 2.6666667f},  // the reset ratio
                      FormulaCase{2, 3, 1, 2.6666667f}, FormulaCase{1, 1, 0, 32.0f},
                      FormulaCase{1, 1, 5, 1.0f}, FormulaCase{15, 15, 0, 0.14222223f},
                      FormulaCase{3, 1, 2, 2.6666667f}, FormulaCase{5, 7, 3, 0.114285715f},
                      // k above 5: a fraction of a power, not a shift by a negative count.
                      FormulaCase{1, 1, 6, 0.5f}, FormulaCase{2, 1, 15, 0.00048828125f},
                      // A zero share divides by zero: infinity, and still success.
                      FormulaCase{0, 3, 0, kInfinity}, FormulaCase{4, 0, 0, kInfinity},
                      FormulaCase{0, 0, 15, kInfinity}));

TEST_F(PhaseScalingTest, DealiasingReadsBothSwitchesThenMNAndKWithoutWriting) {
    module.setField(DealiasingEnable, 1);
    float factor = kUntouched;
    ASSERT_EQ(interp.getPhaseScaling(&factor), Error::Success);
    EXPECT_EQ(factor, 2.6666667f);
    EXPECT_EQ(accesses(), (std::vector<Access>{R(kSensor, 0x02), R(kSensor, 0x02), R(kSensor, 0x02),
                                               R(kSensor, 0x02), R(kSensor, 0x03)}));
}

TEST_F(PhaseScalingTest, OtherBitsOfTheRatioRegisterDoNotLeakIntoMOrN) {
    // Every bit of 0x002 set: dealiasing on but bypass on too, so clear the bypass only.
    module.setRegisterValue(0x002, 0xFFFFFF);
    module.setField(PhaseScalingBypass, 0);
    module.setRegisterValue(0x003, 0xFFFFFF);
    module.setField(PhaseScalingShift, 5);
    float factor = kUntouched;
    ASSERT_EQ(interp.getPhaseScaling(&factor), Error::Success);
    EXPECT_EQ(factor, 1.0f / 225.0f);
}

// ---- Failures ----

TEST_F(PhaseScalingTest, NullFactorIsRefusedWithoutBusTraffic) {
    EXPECT_EQ(interp.getPhaseScaling(nullptr), Error::InvalidArgument);
    EXPECT_EQ(module.transactionCount(), 0u);
}

TEST_F(PhaseScalingTest, FailureOfAnyReadIsReturnedAndLeavesTheFactor) {
    module.setField(DealiasingEnable, 1);
    for (std::size_t n = 1; n <= 5; ++n) {
        module.clearLog();
        module.failNthTransaction(n, kHostFailure);
        interp.setLastError("earlier text");
        float factor = kUntouched;
        EXPECT_EQ(interp.getPhaseScaling(&factor), kHostFailure) << n;
        EXPECT_EQ(factor, kUntouched) << n;
        EXPECT_EQ(module.transactionCount(), n) << "nothing after the failure, n = " << n;
        EXPECT_EQ(interp.lastError(), "earlier text") << n;
    }
}

TEST_F(PhaseScalingTest, FailingBypassReadIsReturnedEvenWithDealiasingOff) {
    module.failNthTransaction(2, kHostFailure);
    float factor = kUntouched;
    EXPECT_EQ(interp.getPhaseScaling(&factor), kHostFailure);
    EXPECT_EQ(factor, kUntouched);
}

}  // namespace
}  // namespace Lumivor::Testing
