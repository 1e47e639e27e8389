#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sim/SimulatedModule.h"

namespace Lumivor::Sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kByteDevices[] = {0x2A, 0x2B, 0x28, 0x21};

std::int32_t busRead(SimulatedModule& m, std::uint16_t device, std::uint8_t reg, Bytes& buffer) {
    return SimulatedModule::readCallback(m.hostContext(), device, reg, buffer.data(),
                                         static_cast<std::uint32_t>(buffer.size()));
}

std::int32_t busWrite(SimulatedModule& m, std::uint16_t device, std::uint8_t reg, Bytes buffer) {
    return SimulatedModule::writeCallback(m.hostContext(), device, reg, buffer.data(),
                                          static_cast<std::uint32_t>(buffer.size()));
}

// No sensor register differs from its power-on value and no byte device holds a byte.
void expectPowerOnState(const SimulatedModule& module) {
    for (std::uint32_t address = 0; address < 0x200; ++address) {
        ASSERT_EQ(module.registerValue(address), SimulatedModule::resetValue(address)) << address;
    }
    for (const std::uint16_t device : kByteDevices) {
        EXPECT_FALSE(module.latchedByte(device).has_value()) << device;
    }
}

// ---- Sensor registers and byte devices over the bus ----

TEST(SimulatedBus, SensorRegistersMoveLeastSignificantByteFirstInBothBanks) {
    SimulatedModule module;
    ASSERT_EQ(busWrite(module, 0x5C, 0xFF, {0x01, 0x02, 0x03}), 0);
    ASSERT_EQ(busWrite(module, 0x58, 0x0F, {0xAA, 0xBB, 0xCC}), 0);
    EXPECT_EQ(module.registerValue(0x0FF), 0x030201u);
    EXPECT_EQ(module.registerValue(0x10F), 0xCCBBAAu);
    Bytes buffer(3);
    ASSERT_EQ(busRead(module, 0x58, 0x0F, buffer), 0);
    EXPECT_EQ(buffer, (Bytes{0xAA, 0xBB, 0xCC}));
    // Direct access keeps to 24 bits as well.
    module.setRegisterValue(0x0FF, 0xFF123456);
    EXPECT_EQ(module.registerValue(0x0FF), 0x123456u);
}

TEST(SimulatedBus, ByteDevicesLatchWhatIsWrittenEachOnItsOwn) {
    SimulatedModule module;
    ASSERT_EQ(busWrite(module, 0x2A, 0x11, {0x7F}), 0);
    ASSERT_EQ(busWrite(module, 0x2B, 0x11, {0x40}), 0);
    ASSERT_EQ(busWrite(module, 0x28, 0x11, {0xFF}), 0);
    ASSERT_EQ(busWrite(module, 0x21, 0x03, {0xFE}), 0);
    ASSERT_EQ(busWrite(module, 0x2A, 0x11, {0x10}), 0);  // the last write wins
    EXPECT_EQ(module.latchedByte(0x2A), 0x10);
    EXPECT_EQ(module.latchedByte(0x2B), 0x40);
    EXPECT_EQ(module.latchedByte(0x28), 0xFF);
    EXPECT_EQ(module.latchedByte(0x21), 0xFE);
    for (std::uint32_t address = 0; address < 0x200; ++address) {
        ASSERT_EQ(module.registerValue(address), SimulatedModule::resetValue(address)) << address;
    }
}

TEST(SimulatedBus, TransfersNoDeviceAnswersGetANackAndChangeNothing) {
    struct Refused {
        const char* name;
        bool write;
        std::uint16_t device;
        std::uint8_t reg;
        std::size_t length;
    };
    const Refused refused[] = {
        {"read unknown device", false, 0x50, 0x00, 3},
        {"write unknown device", true, 0x59, 0x02, 3},
        {"read sensor one byte", false, 0x5C, 0x02, 1},
        {"write sensor two bytes", true, 0x5C, 0x02, 2},
        {"write sensor four bytes", true, 0x58, 0x02, 4},
        {"write byte device other register", true, 0x2A, 0x12, 1},
        {"write byte device three bytes", true, 0x28, 0x11, 3},
        {"read byte device other register", false, 0x2B, 0x00, 1},
    };
    for (const Refused& r : refused) {
        SimulatedModule module;
        Bytes buffer(r.length, 0xEE);
        EXPECT_EQ(r.write ? busWrite(module, r.device, r.reg, buffer)
                          : busRead(module, r.device, r.reg, buffer),
                  kNack)
            << r.name;
        EXPECT_EQ(buffer, Bytes(r.length, 0xEE)) << r.name << ": a refused read leaves the buffer";
        expectPowerOnState(module);
    }
    SimulatedModule module;
    EXPECT_EQ(SimulatedModule::readCallback(module.hostContext(), 0x5C, 0, nullptr, 3), kNack);
    EXPECT_EQ(SimulatedModule::writeCallback(module.hostContext(), 0x5C, 0, nullptr, 3), kNack);
}

// ---- Fault injection ----

TEST(SimulatedFaults, NthTransactionFailsOnceWithTheChosenCodeAndChangesNothing) {
    SimulatedModule module;
    Bytes buffer(3, 0x55);
    module.failNthTransaction(3, -42);
    EXPECT_EQ(busRead(module, 0x5C, 0x02, buffer), 0);
    EXPECT_EQ(busWrite(module, 0x5C, 0x02, {1, 2, 3}), 0);
    buffer.assign(3, 0x55);
    EXPECT_EQ(busRead(module, 0x5C, 0x02, buffer), -42);
    EXPECT_EQ(buffer, Bytes(3, 0x55));
    EXPECT_EQ(busRead(module, 0x5C, 0x02, buffer), 0);
    EXPECT_EQ(buffer, (Bytes{1, 2, 3}));

    module.failNthTransaction(1, 7);
    EXPECT_EQ(busWrite(module, 0x58, 0x02, {0xFF, 0xFF, 0xFF}), 7);
    EXPECT_EQ(module.registerValue(0x102), SimulatedModule::resetValue(0x102));
    module.failNthTransaction(1, 7);
    EXPECT_EQ(busWrite(module, 0x21, 0x03, {0xFE}), 7);
    EXPECT_FALSE(module.latchedByte(0x21).has_value());
}

TEST(SimulatedFaults, FailingDeviceFailsEveryTransactionToItUntilCleared) {
    SimulatedModule module;
    Bytes buffer(3);
    module.failDevice(0x58, -16);
    module.failDevice(0x2B, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(busRead(module, 0x58, 0x02, buffer), -16);
        EXPECT_EQ(busWrite(module, 0x58, 0x02, {0, 0, 0}), -16);
        EXPECT_EQ(busWrite(module, 0x2B, 0x11, {1}), 3);
    }
    EXPECT_EQ(busRead(module, 0x5C, 0x02, buffer), 0);
    EXPECT_EQ(busWrite(module, 0x2A, 0x11, {1}), 0);
    module.clearFaults();
    EXPECT_EQ(busRead(module, 0x58, 0x02, buffer), 0);
    EXPECT_EQ(busWrite(module, 0x2B, 0x11, {1}), 0);
}

// ---- Image text ----

TEST(SimulatedImage, SaveListsChangedRegistersAndLatchesOnly) {
    SimulatedModule module;
    std::ostringstream fresh;
    module.saveImage(fresh);
    EXPECT_EQ(fresh.str(), "") << "a fresh module saves nothing";
    module.setRegisterValue(0x002, 0x800000);
    module.setRegisterValue(0x0FF, 0x000001);  // a register no field names
    module.setRegisterValue(0x183, 0xFFFFFF);
    ASSERT_EQ(busWrite(module, 0x2B, 0x11, {0x9A}), 0);
    ASSERT_EQ(busWrite(module, 0x21, 0x03, {0xFE}), 0);
    std::ostringstream out;
    module.saveImage(out);
    EXPECT_EQ(out.str(),
              "0x002 0x800000\n0x0ff 0x000001\n0x183 0xffffff\nbyte 0x21 0xfe\nbyte 0x2b 0x9a\n");
}

}  // namespace
}  // namespace Lumivor::Sim
