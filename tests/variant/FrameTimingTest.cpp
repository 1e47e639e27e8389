#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/SimulatedCamera.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Testing {
namespace {

namespace Field = YorinD::Field;

// Sensor banks and the registers that hold the frame timing fields.
constexpr std::uint16_t kLow = 0x5C;
constexpr std::uint16_t kHigh = 0x58;
constexpr std::uint8_t kClockReg = 0x33;        // clock MHz
constexpr std::uint8_t kMicroFrameReg = 0x83;   // 0x183: micro-frame and phase counts
constexpr std::uint8_t kDealiasingReg = 0x02;   // 0x002: dealiasing enable
constexpr std::uint8_t kPeriodReg = 0x82;       // 0x182: phase period
constexpr std::uint8_t kRawOutputReg = 0x25;    // 0x025: period doubling
constexpr std::uint8_t kIntegrationReg = 0x4C;  // 0x04C: integration fraction and latch

class FrameTimingTest : public SimulatedCameraTest {
  protected:
    float readFloat(std::uint32_t id) {
        float value = -1.0f;
        EXPECT_EQ(interp.readValue(id, &value), Error::Success);
        return value;
    }

    // The bus traffic of one frame-rate read.
    std::vector<Access> frameRateRead() const {
        return {R(kLow, kClockReg), R(kHigh, kMicroFrameReg), R(kLow, kDealiasingReg),
                R(kHigh, kPeriodReg), R(kLow, kRawOutputReg)};
    }
    // The frame-rate and micro-frame reads that the integration time makes first.
    std::vector<Access> frameTimeReads() const {
        auto reads = frameRateRead();
        reads.push_back(R(kHigh, kMicroFrameReg));
        return reads;
    }
};

// --- Frame rate -------------------------------------------------------------------------------

TEST_F(FrameTimingTest, DefaultsReadAsThirtyFramesOfFourMicroFrames) {
    EXPECT_EQ(readFloat(ParameterType::FrameRate), 30.0f);
    EXPECT_EQ(accesses(), frameRateRead());

    int microFrames = 0;
    EXPECT_EQ(interp.readValue(ParameterType::MicroFrameNumber, &microFrames), Error::Success);
    EXPECT_EQ(microFrames, 4);
    // 20 of 63 steps of a 33.3 ms frame split in four micro-frames.
    EXPECT_NEAR(readFloat(ParameterType::IntegrationTime), 2.6455f, 1e-4f);
}

struct FrameRateWriteCase {
    const char* name;
    friend void PrintTo(const FrameRateWriteCase& c, std::ostream* os) { *os << c.name; }
    std::uint32_t phaseCount;
    std::uint32_t microFrames;
    std::uint32_t rawOutputField;
    float rate;
    std::uint32_t storedPeriod;
    float readBack;  // with the dealiasing enable at 0
};

class FrameRateWrite : public FrameTimingTest,
                       public ::testing::WithParamInterface<FrameRateWriteCase> {};

TEST_P(FrameRateWrite, StoresTruncatedPeriodTimesDoublingThenClearsLatch) {
    const FrameRateWriteCase& c = GetParam();
    interp.setPhaseCount(c.phaseCount);
    module.setField(Field::MicroFrameCount, c.microFrames);
    module.setField(Field::RawOutputPeriodDoubling, c.rawOutputField);
    module.setField(Field::FrameTimingLatch, 1);

    ASSERT_EQ(interp.writeValue(ParameterType::FrameRate, c.rate), Error::Success);
    EXPECT_EQ(module.field(Field::PhasePeriod), c.storedPeriod);
    EXPECT_EQ(module.field(Field::FrameTimingLatch), 0u);
    EXPECT_EQ(accesses(), (std::vector<Access>{R(kLow, kClockReg), R(kHigh, kMicroFrameReg),
                                               R(kLow, kRawOutputReg), R(kHigh, kPeriodReg),
                                               W(kHigh, kPeriodReg), R(kLow, kIntegrationReg),
                                               W(kLow, kIntegrationReg)}));
    EXPECT_FLOAT_EQ(readFloat(ParameterType::FrameRate), c.readBack);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameRateWrite,
    ::testing::Values(FrameRateWriteCase{"Thirty", 4, 4, 0, 30.0f, 100000, 30.0f},
                      FrameRateWriteCase{"ThirtyDoubledPeriod", 4, 4, 15, 30.0f, 200000, 30.0f},
                      // Only 15 doubles; other raw output values leave the period as it is.
                      FrameRateWriteCase{"RawOutputSevenNotDoubled", 4, 4, 7, 30.0f, 100000, 30.0f},
                      FrameRateWriteCase{"EightMicroFrames", 4, 8, 0, 30.0f, 50000, 30.0f},
                      // 133333.33 truncated; the read takes four phases from the sensor's
                      // dealiasing enable, not the six the write used.
                      FrameRateWriteCase{"FifteenWithSixPhases", 6, 4, 0, 15.0f, 133333,
                                         22.500056f},
                      // The infinite quotient truncates to 0, and reading it back divides by 0.
                      FrameRateWriteCase{"ZeroGivesInfinitePeriod", 4, 4, 0, 0.0f, 0,
                                         std::numeric_limits<float>::infinity()},
                      // Nothing caps the write at the advertised 60.
                      FrameRateWriteCase{"AboveAdvertisedMaximum", 4, 4, 0, 120.0f, 25000, 120.0f}),
    [](const auto& info) { return info.param.name; });

TEST_F(FrameTimingTest, FrameRateReadCountsSixPhasesWhenSensorDealiases) {
    module.setField(Field::DealiasingEnable, 1);
    module.setField(Field::PhasePeriod, 133333);
    EXPECT_FLOAT_EQ(readFloat(ParameterType::FrameRate), 15.0000375f);
}

TEST_F(FrameTimingTest, RawOutputSwitchHalvesThePeriodTheReadSees) {
    ASSERT_EQ(interp.writeValue(ParameterType::FrameRate, 30.0f), Error::Success);
    module.setField(Field::RawOutputPeriodDoubling, 15);
    EXPECT_EQ(readFloat(ParameterType::FrameRate), 60.0f);
    module.setField(Field::RawOutputPeriodDoubling, 0);
    EXPECT_EQ(readFloat(ParameterType::FrameRate), 30.0f);
}

TEST_F(FrameTimingTest, NegativeFrameRateIsRefusedWithoutBusTraffic) {
    for (const float rate : {-1.0f, -0.001f, -std::numeric_limits<float>::infinity()}) {
        EXPECT_EQ(interp.writeValue(ParameterType::FrameRate, rate), Error::OutOfRange) << rate;
    }
    EXPECT_EQ(module.transactionCount(), 0u);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 3");
}

TEST_F(FrameTimingTest, PeriodBeyondTwentyTwoBitsIsRefusedByTheFieldWrite) {
    // 48e6 / (16 * 0.5) = 6e6 is above the field's 4194303.
    ASSERT_EQ(interp.writeValue(ParameterType::FrameRate, 0.5f), Error::OutOfRange);
    EXPECT_EQ(module.field(Field::PhasePeriod), 100000u);
    EXPECT_EQ(module.writeCount(), 0u);
    EXPECT_EQ(module.readCount(), 3u);
}

// --- Micro-frame number -----------------------------------------------------------------------

TEST_F(FrameTimingTest, MicroFrameNumberAcceptsOnlyOneTwoFourEight) {
    for (const int count : {1, 2, 4, 8}) {
        module.clearLog();
        ASSERT_EQ(interp.writeValue(ParameterType::MicroFrameNumber, count), Error::Success);
        EXPECT_EQ(module.field(Field::MicroFrameCount), static_cast<std::uint32_t>(count));
        EXPECT_EQ(accesses(),
                  (std::vector<Access>{R(kHigh, kMicroFrameReg), W(kHigh, kMicroFrameReg)}));
    }
    module.clearLog();
    for (const int count : {0, 3, 5, 7, 16, -1, -4}) {
        EXPECT_EQ(interp.writeValue(ParameterType::MicroFrameNumber, count), Error::OutOfRange)
            << count;
    }
    EXPECT_EQ(module.transactionCount(), 0u);
    EXPECT_EQ(module.field(Field::MicroFrameCount), 8u);
}

TEST_F(FrameTimingTest, MoreMicroFramesSlowTheFrameRateInProportion) {
    ASSERT_EQ(interp.writeValue(ParameterType::MicroFrameNumber, 8), Error::Success);
    EXPECT_EQ(module.field(Field::PhasePeriod), 100000u);
    EXPECT_EQ(readFloat(ParameterType::FrameRate), 15.0f);
}

// --- Integration time -------------------------------------------------------------------------

TEST_F(FrameTimingTest, IntegrationTimeOneMillisecondStoresSevenSixtyThirds) {
    // 63 * 1.0 * 4 / 33.333332 = 7.56
    ASSERT_EQ(interp.writeValue(ParameterType::IntegrationTime, 1.0f), Error::Success);
    EXPECT_EQ(module.field(Field::IntegrationFraction), 7u);
    auto expected = frameTimeReads();
    expected.push_back(R(kLow, kIntegrationReg));
    expected.push_back(W(kLow, kIntegrationReg));
    EXPECT_EQ(accesses(), expected);
    EXPECT_NEAR(readFloat(ParameterType::IntegrationTime), 0.9259f, 1e-4f);
}

TEST_F(FrameTimingTest, IntegrationTimeLimitIsTheMicroFrameTime) {
    struct Case {
        float time;
        ErrorCode code;
        std::uint32_t raw;  // the field afterwards
    };
    // The advertised maximum is 0.5 ms, but the write accepts up to T/m = 8.333 ms, that
    // limit itself included.
    for (const Case c : {Case{8.33f, Error::Success, 62}, Case{0.5f, Error::Success, 3},
                         Case{1000.0f / 30.0f / 4.0f, Error::Success, 63},
                         Case{8.34f, Error::OutOfRange, 63}, Case{0.0f, Error::Success, 0}}) {
        module.clearLog();
        EXPECT_EQ(interp.writeValue(ParameterType::IntegrationTime, c.time), c.code) << c.time;
        EXPECT_EQ(module.field(Field::IntegrationFraction), c.raw) << c.time;
        if (c.code != Error::Success) {
            EXPECT_EQ(accesses(), frameTimeReads());
        }
    }
}

TEST_F(FrameTimingTest, NegativeIntegrationTimeBelowOneStepWritesZero) {
    // One step is T / (63 * 4) = 0.1323 ms.
    ASSERT_EQ(interp.writeValue(ParameterType::IntegrationTime, -0.13f), Error::Success);
    EXPECT_EQ(module.field(Field::IntegrationFraction), 0u);

    module.setField(Field::IntegrationFraction, 20);
    module.clearLog();
    EXPECT_EQ(interp.writeValue(ParameterType::IntegrationTime, -0.14f), Error::OutOfRange);
    EXPECT_EQ(module.field(Field::IntegrationFraction), 20u);
    EXPECT_EQ(module.writeCount(), 0u);
}

TEST_F(FrameTimingTest, IntegrationTimeFollowsFrameRateAndMicroFrames) {
    // The same raw fraction is a different time once the frame is shorter or split further.
    module.setField(Field::IntegrationFraction, 63);
    EXPECT_FLOAT_EQ(readFloat(ParameterType::IntegrationTime), 1000.0f / 30.0f / 4.0f);
    ASSERT_EQ(interp.writeValue(ParameterType::MicroFrameNumber, 8), Error::Success);
    // 8 micro-frames halve the frame rate and so keep the micro-frame time.
    EXPECT_FLOAT_EQ(readFloat(ParameterType::IntegrationTime), 1000.0f / 30.0f / 4.0f);
    ASSERT_EQ(interp.writeValue(ParameterType::FrameRate, 60.0f), Error::Success);
    EXPECT_FLOAT_EQ(readFloat(ParameterType::IntegrationTime), 1000.0f / 60.0f / 8.0f);
}

}  // namespace
}  // namespace Lumivor::Testing
