#pragma once

#include <array>
#include <cstdint>

#include "core/AccessContext.h"
#include "host/ErrorCode.h"

namespace Lumivor::YorinD {

// A small device on the module's bus that takes one byte into one register and cannot be read
// back; these are not sensor registers, so they bypass the sub-register operations.
struct ByteDevice {
    std::uint16_t address;
    std::uint8_t reg;
    const char* role;  // what it drives, as tools name it
};

namespace Device {
inline constexpr ByteDevice LeftIllumination{0x2A, 0x11, "left illumination voltage"};
inline constexpr ByteDevice RightIllumination{0x2B, 0x11, "right illumination voltage"};
inline constexpr ByteDevice Mixing{0x28, 0x11, "mixing voltage"};
inline constexpr ByteDevice StreamSwitch{0x21, 0x03, "stream switch"};
}  // namespace Device

inline constexpr std::array kByteDevices{Device::LeftIllumination, Device::RightIllumination,
                                         Device::Mixing, Device::StreamSwitch};

constexpr const ByteDevice* findByteDevice(std::uint32_t address) {
    for (const ByteDevice& device : kByteDevices) {
        if (device.address == address) {
            return &device;
        }
    }
    return nullptr;
}

// The host's own result comes back unchanged, so its failure codes reach the caller as they are.
inline ErrorCode writeByte(const AccessContext& context, ByteDevice device, std::uint8_t byte) {
    return context.writeCallback(context.hostContext, device.address, device.reg, &byte, 1);
}

}  // namespace Lumivor::YorinD
