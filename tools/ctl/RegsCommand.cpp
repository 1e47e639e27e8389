#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>
#include <vector>

#include "interface/ByteOrder.h"
#include "tools/ctl/Commands.h"
#include "tools/ctl/Errors.h"
#include "tools/ctl/ImageFile.h"
#include "tools/ctl/Values.h"
#include "variant/ByteDevices.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Ctl {

namespace {

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
// "183: 000084  #25[7:0]=0x84 ..."; with diff, only the fields that left their reset value.
void printRegister(std::ostream& out, std::uint32_t address, std::uint32_t value, bool diff) {
    const std::uint32_t reset = Sim::SimulatedModule::resetValue(address);
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

void printDevice(std::ostream& out, const YorinD::ByteDevice& device,
                 std::optional<std::uint8_t> byte) {
    char line[80];
    if (byte) {
        std::snprintf(line, sizeof line, "dev %02x reg %02x: %02x  (%s)\n", device.address,
                      device.reg, *byte, device.role);
    } else {
        std::snprintf(line, sizeof line, "dev %02x reg %02x: --  (%s, never written)\n",
                      device.address, device.reg, device.role);
    }
    out << line;
}

// A sensor register address, or a one-byte device as DEV:REG.
struct Target {
    std::uint32_t address = 0;
    const YorinD::ByteDevice* device = nullptr;
};

Target parseTarget(const std::string& command, const std::string& text) {
    const std::size_t colon = text.find(':');
    const auto first = parseUnsigned(text.substr(0, colon));
    if (colon == std::string::npos) {
        if (!first || *first >= YorinD::kSensorRegisterCount) {
            throw badInput(command + " " + text + ": no sensor register there (0x000-0x1ff)");
        }
        return {*first, nullptr};
    }
    const YorinD::ByteDevice* device = first ? YorinD::findByteDevice(*first) : nullptr;
    const auto reg = parseUnsigned(text.substr(colon + 1));
    if (device == nullptr || !reg || *reg != device->reg) {
        std::string known;
        for (const YorinD::ByteDevice& d : YorinD::kByteDevices) {
            char one[16];
            std::snprintf(one, sizeof one, "%s0x%02x:0x%02x", known.empty() ? "" : ", ", d.address,
                          d.reg);
            known += one;
        }
        throw badInput(command + " " + text + ": no one-byte device there (" + known + ")");
    }
    return {0, device};
}

}  // namespace

void runRegsGet(Context& context, const std::vector<std::string>& addresses) {
    std::vector<Target> targets;
    for (const std::string& text : addresses) {
        targets.push_back(parseTarget("regs get", text));
    }
    Bus::Backend& bus = context.session.bus();
    for (const Target& target : targets) {
        if (target.device != nullptr) {
            // A byte device cannot be read back on the bus; only the simulated module
            // remembers what it took.
            const Sim::SimulatedModule* module = bus.simulated();
            if (module == nullptr) {
                throw badInput("regs get " + addresses[&target - targets.data()] +
                               ": the device is write-only; on a real bus it cannot be read");
            }
            printDevice(context.out, *target.device, module->latchedByte(target.device->address));
            continue;
        }
        const BusLocation at = YorinD::sensorRegisterLocation(target.address);
        std::uint8_t bytes[kRegisterBytes] = {};
        if (bus.read(at.device, at.reg, bytes, kRegisterBytes) != 0) {
            throw CommandError(Exit::BusFailure, "regs get " + addresses[&target - targets.data()] +
                                                     ": " +
                                                     bus.describeFailure(*bus.firstFailure()));
        }
        printRegister(context.out, target.address, Bytes::loadLittleEndian(bytes, kRegisterBytes),
                      false);
    }
}

void runRegsSet(Context& context, const std::vector<std::string>& assignments) {
    struct Write {
        std::string text;
        Target target;
        std::uint32_t value;
    };
    std::vector<Write> writes;
    for (const std::string& text : assignments) {
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos) {
            throw badInput("regs set " + text + ": expected ADDR=VALUE");
        }
        const Target target = parseTarget("regs set", text.substr(0, equals));
        const auto value = parseUnsigned(text.substr(equals + 1));
        const std::uint32_t limit = target.device != nullptr ? 0xFF : kRegisterMask;
        if (!value || *value > limit) {
            throw badInput("regs set " + text + ": the value must lie in 0 to " +
                           std::to_string(limit));
        }
        writes.push_back({text, target, *value});
    }
    Bus::Backend& bus = context.session.bus();
    for (const Write& write : writes) {
        std::uint8_t bytes[kRegisterBytes];
        Bytes::storeLittleEndian(bytes, write.value, kRegisterBytes);
        const BusLocation at =
            write.target.device != nullptr
                ? BusLocation{write.target.device->address, write.target.device->reg}
                : YorinD::sensorRegisterLocation(write.target.address);
        const std::int32_t status = bus.write(at.device, at.reg, bytes,
                                              write.target.device != nullptr ? 1 : kRegisterBytes);
        if (status != 0) {
            throw CommandError(Exit::BusFailure, "regs set " + write.text + ": " +
                                                     bus.describeFailure(*bus.firstFailure()));
        }
    }
}

void runRegs(Context& context, bool diff) {
    Sim::SimulatedModule& module = context.session.module();
    std::ostream& out = context.out;
    for (const std::uint32_t address : Sim::SimulatedModule::knownRegisters()) {
        const std::uint32_t value = module.registerValue(address);
        if (diff && value == Sim::SimulatedModule::resetValue(address)) {
            continue;
        }
        printRegister(out, address, value, diff);
    }
    // The one-byte devices hold nothing until written; they cannot be read back through the
    // plug-in, so this is the only place their bytes show.
    for (const YorinD::ByteDevice& device : YorinD::kByteDevices) {
        const auto latched = module.latchedByte(device.address);
        if (diff && !latched) {
            continue;
        }
        printDevice(out, device, latched);
    }
}

}  // namespace Lumivor::Ctl
