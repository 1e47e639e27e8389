#pragma once

#include <array>
#include <cstdint>

namespace Lumivor::Bench {

// Bus traffic counted by the zero-cost bus: transactions by direction and the clock periods
// they would occupy on an I2C bus (BusTime.h).
struct BusTraffic {
    std::uint64_t reads = 0;
    std::uint64_t writes = 0;
    std::uint64_t byteWrites = 0;  // writes of one data byte, to the small bus devices
    std::uint64_t clocks = 0;

    bool operator==(const BusTraffic&) const = default;
};

// A bus that costs next to nothing: the callbacks serve a register array and return at once,
// so what a benchmark measures is the plug-in's own work. Sensor registers start from the
// module's power-on values, so the conversions compute with real numbers.
class ZeroCostBus {
  public:
    ZeroCostBus();

    // Back to power-on registers, nothing latched; the traffic counters stay.
    void reset();

    static std::int32_t readCallback(void* hostContext, std::uint16_t device, std::uint8_t reg,
                                     std::uint8_t* buffer, std::uint32_t length);
    static std::int32_t writeCallback(void* hostContext, std::uint16_t device, std::uint8_t reg,
                                      std::uint8_t* buffer, std::uint32_t length);
    void* hostContext() { return this; }

    const BusTraffic& traffic() const { return traffic_; }
    void clearTraffic() { traffic_ = {}; }

    // A sensor register by address (0x000-0x0FF at device 0x5C, 0x100-0x1FF at 0x58).
    std::uint32_t registerValue(std::uint32_t address) const { return registers_[address]; }
    void setRegisterValue(std::uint32_t address, std::uint32_t value) {
        registers_[address] = value;
    }
    // The byte a one-byte device last took.
    std::uint8_t latchedByte(std::uint16_t device) const { return latched_[device & 0xFF]; }

  private:
    // Register slot of a transfer: the two sensor banks side by side, then one slot per
    // one-byte device address.
    static std::uint32_t slotOf(std::uint16_t device, std::uint8_t reg);

    std::array<std::uint32_t, 0x200> registers_{};
    std::array<std::uint8_t, 0x100> latched_{};
    BusTraffic traffic_;
};

}  // namespace Lumivor::Bench
