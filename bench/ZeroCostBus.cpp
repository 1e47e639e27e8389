#include "bench/ZeroCostBus.h"

#include "bench/BusTime.h"
#include "sim/SimulatedModule.h"
#include "yorind/ModuleDescription.h"

namespace Lumivor::Bench {

namespace {
constexpr std::uint32_t kNoRegister = 0xFFFFFFFF;
}  // namespace

ZeroCostBus::ZeroCostBus() {
    reset();
}

void ZeroCostBus::reset() {
    for (std::uint32_t address = 0; address < registers_.size(); ++address) {
        registers_[address] = Sim::SimulatedModule::resetValue(address);
    }
    latched_.fill(0);
}

std::uint32_t ZeroCostBus::slotOf(std::uint16_t device, std::uint8_t reg) {
    return yorind::sensorRegisterAddress(device, reg).value_or(kNoRegister);
}

// The register travels least significant byte first, as many bytes as asked for.
std::int32_t ZeroCostBus::readCallback(void* hostContext, std::uint16_t device, std::uint8_t reg,
                                       std::uint8_t* buffer, std::uint32_t length) {
    auto& bus = *static_cast<ZeroCostBus*>(hostContext);
    ++bus.traffic_.reads;
    bus.traffic_.clocks += I2c::readClocks(length);
    const std::uint32_t slot = slotOf(device, reg);
    const std::uint32_t value =
        slot == kNoRegister ? bus.latched_[device & 0xFF] : bus.registers_[slot];
    switch (length) {
        case 3:
            buffer[2] = static_cast<std::uint8_t>(value >> 16);
            buffer[1] = static_cast<std::uint8_t>(value >> 8);
            buffer[0] = static_cast<std::uint8_t>(value);
            break;
        default:
            for (std::uint32_t i = 0; i < length && i < 4; ++i) {
                buffer[i] = static_cast<std::uint8_t>(value >> (8 * i));
            }
    }
    return 0;
}

std::int32_t ZeroCostBus::writeCallback(void* hostContext, std::uint16_t device, std::uint8_t reg,
                                        std::uint8_t* buffer, std::uint32_t length) {
    auto& bus = *static_cast<ZeroCostBus*>(hostContext);
    ++bus.traffic_.writes;
    bus.traffic_.byteWrites += length == 1 ? 1 : 0;
    bus.traffic_.clocks += I2c::writeClocks(length);
    const std::uint32_t slot = slotOf(device, reg);
    if (slot == kNoRegister) {
        bus.latched_[device & 0xFF] = length > 0 ? buffer[0] : 0;
        return 0;
    }
    std::uint32_t value = 0;
    switch (length) {
        case 3:
            value = static_cast<std::uint32_t>(buffer[0]) |
                    static_cast<std::uint32_t>(buffer[1]) << 8 |
                    static_cast<std::uint32_t>(buffer[2]) << 16;
            break;
        default:
            for (std::uint32_t i = 0; i < length && i < 4; ++i) {
                value |= static_cast<std::uint32_t>(buffer[i]) << (8 * i);
            }
    }
    bus.registers_[slot] = value;
    return 0;
}

}  // namespace Lumivor::Bench
