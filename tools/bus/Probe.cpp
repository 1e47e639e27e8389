#include "tools/bus/Probe.h"

#include "variant/ByteDevices.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Bus {

namespace {
using YorinD::Device::LeftIllumination;
using YorinD::Device::Mixing;
using YorinD::Device::RightIllumination;
using YorinD::Device::StreamSwitch;

// A register of each sensor bank that holds fields from power-on.
constexpr ModuleDevice kDevices[] = {
    {YorinD::kLowBankDevice, 0x00, kRegisterBytes, "sensor, low bank"},
    {YorinD::kHighBankDevice, 0x02, kRegisterBytes, "sensor, high bank"},
    {LeftIllumination.address, LeftIllumination.reg, 1, "left illumination voltage"},
    {RightIllumination.address, RightIllumination.reg, 1, "right illumination voltage"},
    {Mixing.address, Mixing.reg, 1, "mixing voltage"},
    {StreamSwitch.address, StreamSwitch.reg, 1, "stream switch"},
};
}  // namespace

std::span<const ModuleDevice> moduleDevices() {
    return kDevices;
}
std::span<const ModuleDevice> sensorDevices() {
    return std::span(kDevices).first(2);
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
