#include <gtest/gtest.h>

#include <cstdint>

#include "bench/BusTime.h"
#include "bench/ZeroCostBus.h"

namespace Lumivor::Bench {
namespace {

// Worked by hand from the wire: S, addr+W+A, reg+A, Sr, addr+R+A, 3 x (byte+A), P.
TEST(BusTime, TransactionsTakeTheClocksCountedOnTheWire) {
    EXPECT_EQ(I2c::readClocks(3), 1u + 9 + 9 + 1 + 9 + 27 + 1);
    EXPECT_EQ(I2c::writeClocks(3), 1u + 9 + 9 + 27 + 1);
    EXPECT_EQ(I2c::writeClocks(1), 1u + 9 + 9 + 9 + 1);

    // 2.5 us per clock at 400 kHz, 1 us at 1 MHz.
    EXPECT_DOUBLE_EQ(I2c::nanoseconds(I2c::readClocks(3), I2c::kFastMode), 142500.0);
    EXPECT_DOUBLE_EQ(I2c::nanoseconds(I2c::writeClocks(3), I2c::kFastModePlus), 47000.0);
    EXPECT_DOUBLE_EQ(I2c::nanoseconds(0, I2c::kFastMode), 0.0);
}

TEST(ZeroCostBus, CountsEachTransactionWithTheClocksOfItsLength) {
    ZeroCostBus bus;
    std::uint8_t bytes[4] = {0, 0, 0, 0};
    ASSERT_EQ(ZeroCostBus::readCallback(bus.hostContext(), 0x5C, 0x33, bytes, 3), 0);
    ASSERT_EQ(ZeroCostBus::writeCallback(bus.hostContext(), 0x58, 0x82, bytes, 3), 0);
    ASSERT_EQ(ZeroCostBus::writeCallback(bus.hostContext(), 0x2A, 0x11, bytes, 1), 0);
    const BusTraffic expected{1, 2, 1,
                              I2c::readClocks(3) + I2c::writeClocks(3) + I2c::writeClocks(1)};
    EXPECT_EQ(bus.traffic(), expected);
    bus.clearTraffic();
    EXPECT_EQ(bus.traffic(), BusTraffic{});
}

// The two banks lie side by side; a value travels least significant byte first and only the
// bytes the transfer names are touched.
TEST(ZeroCostBus, ServesBothBanksByteOrderedAndLatchesByteDevices) {
    ZeroCostBus bus;
    std::uint8_t bytes[4] = {0x11, 0x22, 0x33, 0x44};
    ASSERT_EQ(ZeroCostBus::writeCallback(bus.hostContext(), 0x58, 0x82, bytes, 3), 0);
    EXPECT_EQ(bus.registerValue(0x182), 0x332211u);
    EXPECT_EQ(bus.registerValue(0x082), 0u);

    bus.setRegisterValue(0x033, 0xABCDEF);
    std::uint8_t read[4] = {0, 0, 0, 0x5A};
    ASSERT_EQ(ZeroCostBus::readCallback(bus.hostContext(), 0x5C, 0x33, read, 3), 0);
    EXPECT_EQ(read[0], 0xEF);
    EXPECT_EQ(read[1], 0xCD);
    EXPECT_EQ(read[2], 0xAB);
    EXPECT_EQ(read[3], 0x5A);

    std::uint8_t level = 127;
    ASSERT_EQ(ZeroCostBus::writeCallback(bus.hostContext(), 0x28, 0x11, &level, 1), 0);
    EXPECT_EQ(bus.latchedByte(0x28), 127);

    bus.reset();
    EXPECT_EQ(bus.registerValue(0x182), 100000u);  // the phase period's power-on value
    EXPECT_EQ(bus.latchedByte(0x28), 0);
}

}  // namespace
}  // namespace Lumivor::Bench
