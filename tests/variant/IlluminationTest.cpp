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

constexpr std::uint16_t kHighBank = 0x58;
constexpr std::uint8_t kModeRegister = 0x0F;  // sensor register 0x10F
constexpr std::uint32_t kModeAddress = 0x10F;
constexpr std::uint32_t kBit18 = 1u << 18;
constexpr std::uint32_t kBit19 = 1u << 19;
constexpr std::uint32_t kBit20 = 1u << 20;

class IlluminationTest : public SimulatedCameraTest {
  protected:
    std::uint32_t modeRegister() const { return module.registerValue(kModeAddress); }
};

// --- the three voltages -------------------------------------------------------------------

struct VoltageCase {
    std::uint32_t id;
    float percent;
    std::uint16_t device;
    std::uint8_t byte;
};

// Multiplication before division, in single precision, truncated: 20/3 % gives 17 where the
// double-precision or divide-first result would be 16.
const VoltageCase kVoltageCases[] = {
    {0, 100.0f, 0x2A, 255}, {0, 0.0f, 0x2A, 0},          {0, 50.0f, 0x2A, 127},
    {1, 0.4f, 0x2B, 1},     {1, 0.3f, 0x2B, 0},          {1, 100.0f, 0x2B, 255},
    {2, 50.0f, 0x28, 127},  {2, 20.0f / 3.0f, 0x28, 17}, {2, -0.0f, 0x28, 0},
};

TEST_F(IlluminationTest, VoltageSendsOneScaledByteToItsOwnDevice) {
    for (const VoltageCase& c : kVoltageCases) {
        SCOPED_TRACE(testing::Message() << "id " << c.id << " value " << c.percent);
        module.clearLog();
        ASSERT_EQ(interp.writeValue(c.id, c.percent), 0);
        ASSERT_EQ(module.transactionCount(), 1u);
        const Sim::Transaction& t = module.transactions()[0];
        EXPECT_EQ(t.direction, Sim::Direction::Write);
        EXPECT_EQ(t.device, c.device);
        EXPECT_EQ(t.reg, 0x11);
        EXPECT_EQ(t.bytes, std::vector<std::uint8_t>{c.byte});
        EXPECT_EQ(module.latchedByte(c.device), c.byte);
    }
}

TEST_F(IlluminationTest, VoltageOutsideZeroToHundredIsRefusedWithoutBusTraffic) {
    const float above = std::nextafter(100.0f, 200.0f);
    const float below = -std::numeric_limits<float>::denorm_min();
    for (std::uint32_t id : {0u, 1u, 2u}) {
        for (float value : {100.5f, -0.1f, above, below, -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::infinity()}) {
            EXPECT_EQ(interp.writeValue(id, value), Error::OutOfRange) << id << " " << value;
        }
    }
    EXPECT_EQ(module.transactionCount(), 0u);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 2");
}

// NaN is neither below 0 nor above 100, so it passes the check; the truncation of NaN has low
// bits 0, which is what goes out.
TEST_F(IlluminationTest, VoltageNaNPassesTheCheckAndSendsZero) {
    ASSERT_EQ(interp.writeValue(0u, std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(busLog(), std::vector<std::string>{"w2@0x2a 0x11 0x00"});
}

// --- the two modes and their shared bit -----------------------------------------------------

struct MixingWriteCase {
    int mode;
    bool bit18;
    bool bit19;
};

// Values the parameter does not publish but accepts are programmed like 3.
const MixingWriteCase kMixingWrites[] = {
    {0, false, false}, {2, true, true},   {3, true, false},
    {4, true, false},  {-2, true, false}, {std::numeric_limits<int>::min(), true, false},
};

TEST_F(IlluminationTest, MixingSignalsModeSetsSharedAndSelectBitsAndKeepsTheRest) {
    for (const MixingWriteCase& c : kMixingWrites) {
        SCOPED_TRACE(c.mode);
        // Other fields of the register (dividers, bit 20) must survive both read-modify-writes.
        const std::uint32_t others = 0x5003FF;
        module.setRegisterValue(kModeAddress,
                                others | (c.bit18 ? 0 : kBit18) | (c.bit19 ? 0 : kBit19));
        module.clearLog();
        ASSERT_EQ(interp.writeValue(9u, c.mode), 0);
        EXPECT_EQ(accesses(),
                  (std::vector<Access>{R(kHighBank, kModeRegister), W(kHighBank, kModeRegister),
                                       R(kHighBank, kModeRegister), W(kHighBank, kModeRegister)}));
        EXPECT_EQ(modeRegister(), others | (c.bit18 ? kBit18 : 0) | (c.bit19 ? kBit19 : 0));
    }
}

TEST_F(IlluminationTest, MixingSignalsModeOneAndMinusOneAreInvalidAndTouchNothing) {
    for (int mode : {1, -1}) {
        EXPECT_EQ(interp.writeValue(9u, mode), Error::InvalidArgument);
    }
    EXPECT_EQ(module.transactionCount(), 0u);
    EXPECT_EQ(interp.lastError(), "failed to write parameter 9");
}

TEST_F(IlluminationTest, MixingSignalsModeReadDecodesBothBits) {
    struct Case {
        bool bit18;
        bool bit19;
        int mode;
    };
    for (const Case& c :
         {Case{false, false, 0}, Case{false, true, 0}, Case{true, true, 2}, Case{true, false, 3}}) {
        module.setField(Field::ModeShared, c.bit18);
        module.setField(Field::MixingSignalsSelect, c.bit19);
        module.clearLog();
        int mode = -99;
        ASSERT_EQ(interp.readValue(9u, &mode), 0);
        EXPECT_EQ(mode, c.mode) << c.bit18 << c.bit19;
        EXPECT_EQ(accesses(),
                  (std::vector<Access>{R(kHighBank, kModeRegister), R(kHighBank, kModeRegister)}));
    }
}

TEST_F(IlluminationTest, IlluminationModeWritesSharedBitAndClearsBit20) {
    module.setRegisterValue(kModeAddress, kBit20 | kBit19 | 0x3FF);
    ASSERT_EQ(interp.writeValue(10u, 1), 0);
    EXPECT_EQ(modeRegister(), kBit18 | kBit19 | 0x3FF);
    EXPECT_EQ(module.transactionCount(), 4u);

    module.setField(Field::IlluminationModeClear, 1);
    ASSERT_EQ(interp.writeValue(10u, 0), 0);
    EXPECT_EQ(modeRegister(), kBit19 | 0x3FF);

    int mode = -1;
    ASSERT_EQ(interp.readValue(10u, &mode), 0);
    EXPECT_EQ(mode, 0);
}

TEST_F(IlluminationTest, IlluminationModeAcceptsOnlyZeroAndOne) {
    for (int mode : {2, -1, 255, std::numeric_limits<int>::max()}) {
        EXPECT_EQ(interp.writeValue(10u, mode), Error::InvalidArgument) << mode;
    }
    EXPECT_EQ(module.transactionCount(), 0u);
}

TEST_F(IlluminationTest, IlluminationModeReadsTheSharedBitOnly) {
    module.setRegisterValue(kModeAddress, 0xFFFFFF & ~kBit18);
    int mode = -1;
    ASSERT_EQ(interp.readValue(10u, &mode), 0);
    EXPECT_EQ(mode, 0);
    module.setRegisterValue(kModeAddress, kBit18);
    ASSERT_EQ(interp.readValue(10u, &mode), 0);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(module.transactionCount(), 2u);
}

}  // namespace
}  // namespace Lumivor::Testing
