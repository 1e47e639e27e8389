#include <algorithm>
#include <cstdio>
#include <ostream>
#include <vector>

#include "tools/ctl/Commands.h"
#include "variant/ByteDevices.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Ctl {

namespace {
struct NamedDevice {
    YorinD::ByteDevice device;
    const char* role;
};
constexpr NamedDevice kByteDevices[] = {
    {YorinD::Device::LeftIllumination, "left illumination voltage"},
    {YorinD::Device::RightIllumination, "right illumination voltage"},
    {YorinD::Device::Mixing, "mixing voltage"},
    {YorinD::Device::StreamSwitch, "stream switch"},
};

// The fields of one register, lowest bits first.
std::vector<std::uint32_t> fieldsOf(std::uint32_t address) {
    std::vector<std::uint32_t> indices;
    for (std::uint32_t i = 0; i < YorinD::kSubRegisters.size(); ++i) {
        if (YorinD::kSubRegisters[i].address == address) {
            indices.push_back(i);
        }
    }
    std::ranges::sort(indices, {}, [](std::uint32_t i) { return YorinD::kSubRegisters[i].lsb; });
    return indices;
}

std::uint32_t fieldOf(std::uint32_t registerValue, const SubRegister& field) {
    return (registerValue >> field.lsb) & field.mask;
}

// "#17[13:10]=0x3"; a one-bit field shows its bit alone.
std::string describeField(std::uint32_t index, std::uint32_t value) {
    const SubRegister& field = YorinD::kSubRegisters[index];
    char text[48];
    if (field.lsb == field.msb) {
        std::snprintf(text, sizeof text, "#%u[%u]=0x%x", index, field.lsb, value);
    } else {
        std::snprintf(text, sizeof text, "#%u[%u:%u]=0x%x", index, field.msb, field.lsb, value);
    }
    return text;
}
}  // namespace

void runRegs(Context& context, bool diff) {
    Sim::SimulatedModule& module = context.session.module();
    std::ostream& out = context.out;
    for (const std::uint32_t address : Sim::SimulatedModule::knownRegisters()) {
        const std::uint32_t value = module.registerValue(address);
        const std::uint32_t reset = Sim::SimulatedModule::resetValue(address);
        if (diff && value == reset) {
            continue;
        }
        char head[40];
        std::snprintf(head, sizeof head, "%03x: %06x", address, value);
        out << head;
        if (diff) {
            std::snprintf(head, sizeof head, " (reset %06x)", reset);
            out << head;
        }
        for (const std::uint32_t index : fieldsOf(address)) {
            const SubRegister& field = YorinD::kSubRegisters[index];
            const std::uint32_t now = fieldOf(value, field);
            const std::uint32_t was = fieldOf(reset, field);
            if (diff && now == was) {
                continue;
            }
            out << "  " << describeField(index, now);
            if (diff) {
                char previous[24];
                std::snprintf(previous, sizeof previous, " (was 0x%x)", was);
                out << previous;
            }
        }
        out << '\n';
    }
    // The one-byte devices hold nothing until written; they cannot be read back through the
    // plug-in, so this is the only place their bytes show.
    for (const NamedDevice& named : kByteDevices) {
        const auto latched = module.latchedByte(named.device.address);
        if (diff && !latched) {
            continue;
        }
        char line[80];
        if (latched) {
            std::snprintf(line, sizeof line, "dev %02x reg %02x: %02x  (%s)\n",
                          named.device.address, named.device.reg, *latched, named.role);
        } else {
            std::snprintf(line, sizeof line, "dev %02x reg %02x: --  (%s, never written)\n",
                          named.device.address, named.device.reg, named.role);
        }
        out << line;
    }
}

}  // namespace Lumivor::Ctl
