#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "bus/Backend.h"

namespace vexar::detail::bus {

// A device of the module's bus and the register a presence check reads from it.
struct ModuleDevice {
    std::uint16_t address;
    std::uint8_t reg;
    std::uint32_t length;
    const char* role;
};

// The sensor's two banks first, then the voltage devices and the stream switch.
std::span<const ModuleDevice> moduleDevices();
std::span<const ModuleDevice> sensorDevices();

struct Answer {
    const ModuleDevice* device;
    std::int32_t result;  // 0 when it answered, else the bus's negative errno
};

// One read of each device. Reading changes nothing on any of them; the write-only devices
// answer a read with the byte they hold or with nothing useful, but a NACK still tells that
// nobody is at the address.
std::vector<Answer> probe(Backend& backend, std::span<const ModuleDevice> devices);

}  // namespace vexar::detail::bus
