#include "bus/Probe.h"

#include "variant/ByteDevices.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Bus {

namespace {
// A register of each sensor bank that holds fields from power-on, then every one-byte device.
const std::vector<ModuleDevice>& devices() {
    static const std::vector<ModuleDevice> all = [] {
        std::vector<ModuleDevice> list{
            {YorinD::kLowBankDevice, 0x00, kRegisterBytes, "sensor, low bank"},
            {YorinD::kHighBankDevice, 0x02, kRegisterBytes, "sensor, high bank"},
        };
        for (const YorinD::ByteDevice& device : YorinD::kByteDevices) {
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
        std::uint8_t bytes[kRegisterBytes] = {};
        answers.push_back(
            {&device, backend.read(device.address, device.reg, bytes, device.length)});
    }
    return answers;
}

}  // namespace Lumivor::Bus
