#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vexar/export.hpp"

namespace vexar {

enum class Direction { Read, Write };

// One transfer on the module's bus, as the plug-in or a register access made it.
struct VEXAR_CLIENT_API Transaction {
    Direction direction;
    std::uint16_t device;
    std::uint8_t reg;
    std::vector<std::uint8_t> bytes;  // written, or read back (empty when the read failed)
    std::int32_t result;              // 0, or the bus's negative errno

    // "i2ctransfer"-style, the register counted among the bytes written:
    //   w4@0x5c 0x02 0x00 0x00 0x1e          a write
    //   w1@0x5c 0x02 r3 -> 0x00 0x00 0x1e    a read and what it brought back
    //   w1@0x5c 0x02 r3  (error -121)        a read that failed
    std::string toString() const;
    bool operator==(const Transaction&) const = default;
};

// A bus of the caller's own (a USB bridge, a remote rig): byte transfers to a device's
// register. Each answers 0 or a negative errno; it is called with the camera's lock held, from
// whichever thread made the call.
class VEXAR_CLIENT_API Bus {
  public:
    Bus() = default;
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;
    virtual ~Bus() = default;

    virtual int read(std::uint16_t device, std::uint8_t reg, std::span<std::uint8_t> data) = 0;
    virtual int write(std::uint16_t device, std::uint8_t reg,
                      std::span<const std::uint8_t> data) = 0;
    // How the bus is named in messages and in info.
    virtual std::string name() const { return "caller's bus"; }
};

}  // namespace vexar
