#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <vector>

#include "vexar_param_interp.h"

namespace Lumivor::Sim {

// What a bus transaction to a missing device, a missing register or of the wrong length
// answers, like an I2C adapter reporting a NACK (-EREMOTEIO).
inline constexpr std::int32_t kNack = -121;

// A register-accurate stand-in for the camera module on the host's bus: two banks of 24-bit
// sensor registers at devices 0x5C and 0x58 that reset to the sensor's defaults, and the
// one-byte devices of the voltages and the stream switch, which latch what is written.
// Faults can be injected at a chosen transaction or device. It records nothing: the bus in front
// of it keeps the record of transactions, as it does for a real module.
class SimulatedModule {
  public:
    SimulatedModule();

    // Back to the power-on register image; the faults stay.
    void reset();

    // The callbacks to hand to initialize, with this module as hostContext.
    static std::int32_t readCallback(void* hostContext, std::uint16_t device, std::uint8_t reg,
                                     std::uint8_t* buffer, std::uint32_t length);
    static std::int32_t writeCallback(void* hostContext, std::uint16_t device, std::uint8_t reg,
                                      std::uint8_t* buffer, std::uint32_t length);
    void* hostContext() { return this; }

    // The register image, by sensor register address (0x000-0x0FF at 0x5C, 0x100-0x1FF at 0x58).
    std::uint32_t registerValue(std::uint32_t address) const;
    void setRegisterValue(std::uint32_t address, std::uint32_t value);
    // A field of the sensor by its sub-register index; no bus traffic, nothing logged.
    std::uint32_t field(std::uint32_t index) const;
    void setField(std::uint32_t index, std::uint32_t value);
    // The byte last written to a one-byte device, if any.
    std::optional<std::uint8_t> latchedByte(std::uint16_t device) const;

    // Every sensor register address the sub-register table names, ascending.
    static const std::vector<std::uint32_t>& knownRegisters();
    static std::uint32_t resetValue(std::uint32_t address);

    // Fault injection. The n-th transaction from now (1 = the next one) fails with code;
    // every transaction to device fails with code. A failed read leaves the caller's buffer
    // alone, a failed write changes nothing.
    void failNthTransaction(std::size_t n, std::int32_t code);
    void failDevice(std::uint16_t device, std::int32_t code);
    void clearFaults();

    // The register image as text, one "0xADDR 0xVALUE" line per sensor register that differs
    // from reset and one "byte 0xDEV 0xVALUE" line per latched byte device.
    void saveImage(std::ostream& out) const;

    // The module identity this simulation answers to (the one the plug-in serves).
    static ModuleKey moduleKey();
    static ModuleDescriptor moduleDescriptor();

  private:
    enum class Direction { Read, Write };
    std::int32_t transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                          std::uint8_t* buffer, std::uint32_t length);
    std::optional<std::int32_t> injectedFault(std::uint16_t device);

    std::array<std::uint32_t, 0x200> registers_{};
    std::map<std::uint16_t, std::uint8_t> latched_;
    // Transactions ever made, so that an armed fault keeps its place.
    std::size_t seen_ = 0;
    std::size_t armedAt_ = 0;  // fail when seen_ reaches this many transactions (0: unarmed)
    std::int32_t armedCode_ = 0;
    std::map<std::uint16_t, std::int32_t> failingDevices_;
};

}  // namespace Lumivor::Sim
