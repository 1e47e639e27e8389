#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/SimulatedCamera.h"
#include "variant/SubRegisterTable.h"

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

TEST_F(PhaseScalingTest, WithoutDealiasingOrWithTheBypassIsOneAfterReadingOnlyTheSwitches) {
    for (const auto& [dealiasing, bypass] :
         {std::pair{0u, 0u}, std::pair{0u, 1u}, std::pair{1u, 1u}}) {
        module.setField(DealiasingEnable, dealiasing);
        module.setField(PhaseScalingBypass, bypass);
        // A ratio that would give infinity if it were used.
        setRatio(0, 0, 0);
        module.clearLog();
        float factor = kUntouched;
        ASSERT_EQ(interp.getPhaseScaling(&factor), Error::Success);
        EXPECT_EQ(factor, 1.0f) << dealiasing << bypass;
        // Both switches live in register 0x002; k (0x003) is never reached.
        EXPECT_EQ(accesses(), (std::vector<Access>{R(kSensor, 0x02), R(kSensor, 0x02)}));
    }
}

TEST_F(PhaseScalingTest, IsThePowerOfTwoOverTheRatioProduct) {
    struct Case {
        std::uint32_t m, n, k;
        float factor;
    };
    const Case cases[] = {
        {4, 3, 0, 2.6666667f},  // the reset ratio
        {2, 3, 1, 2.6666667f},
        {1, 1, 0, 32.0f},
        {1, 1, 5, 1.0f},
        {15, 15, 0, 0.14222223f},
        {5, 7, 3, 0.114285715f},
        // k above 5: a fraction of a power, not a shift by a negative count.
        {1, 1, 6, 0.5f},
        {2, 1, 15, 0.00048828125f},
        // A zero share divides by zero: infinity, and still success.
        {0, 3, 0, kInfinity},
        {4, 0, 0, kInfinity},
        {0, 0, 15, kInfinity},
    };
    module.setField(DealiasingEnable, 1);
    for (const Case& c : cases) {
        setRatio(c.m, c.n, c.k);
        float factor = kUntouched;
        ASSERT_EQ(interp.getPhaseScaling(&factor), Error::Success);
        EXPECT_EQ(factor, c.factor) << "m " << c.m << " n " << c.n << " k " << c.k;
    }
}

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
        failAt(n, kHostFailure, false);
        interp.setLastError("earlier text");
        float factor = kUntouched;
        EXPECT_EQ(interp.getPhaseScaling(&factor), kHostFailure) << n;
        EXPECT_EQ(factor, kUntouched) << n;
        EXPECT_EQ(module.transactionCount(), n) << "nothing after the failure, n = " << n;
        EXPECT_EQ(interp.lastError(), "earlier text") << n;
    }
    // The bypass switch is read, and its failure returned, even with dealiasing off.
    failAt(2, kHostFailure);
    float factor = kUntouched;
    EXPECT_EQ(interp.getPhaseScaling(&factor), kHostFailure);
    EXPECT_EQ(factor, kUntouched);
}

}  // namespace
}  // namespace Lumivor::Testing
