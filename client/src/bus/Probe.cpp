#include "bus/Probe.h"

#include "yorind/ModuleDescription.h"

namespace vexar::detail::bus {

namespace {
// A register of each sensor bank that holds fields from power-on, then every one-byte device.
const std::vector<ModuleDevice>& devices() {
    static const std::vector<ModuleDevice> all = [] {
        std::vector<ModuleDevice> list{
            {yorind::kLowBankDevice, 0x00, yorind::kRegisterBytes, "sensor, low bank"},
            {yorind::kHighBankDevice, 0x02, yorind::kRegisterBytes, "sensor, high bank"},
        };
        for (const yorind::ByteDevice& device : yorind::kByteDevices) {
            list.push_back({device.address, device.reg, 1, device.role});
        }
        return list;
    }();
    return all;
}
}  // namespace

std::span<const ModuleDevice> moduleDevices() {
    return devices();
}
std::span<const ModuleDevice> sensorDevices() {
    return moduleDevices().first(2);
}

std::vector<Answer> probe(Backend& backend, std::span<const ModuleDevice> devices) {
    std::vector<Answer> answers;
    for (const ModuleDevice& device : devices) {
        std::uint8_t bytes[yorind::kRegisterBytes] = {};
        answers.push_back(
            {&device, backend.read(device.address, device.reg, bytes, device.length)});
    }
    return answers;
}

}  // namespace vexar::detail::bus
