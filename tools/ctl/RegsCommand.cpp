#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>
#include <vector>

#include "Commands.h"
#include "Errors.h"

namespace vexar::ctl {

std::optional<std::uint32_t> parseUnsigned(std::string_view text) {
    const auto value = vexar::Value::parse(vexar::ValueType::Int, text);
    if (!value || value->asInt() < 0 || text.starts_with('+')) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value->asInt());
}

namespace {
constexpr std::uint32_t kSensorRegisters = 0x200;
constexpr std::uint32_t kRegisterMask = 0xFFFFFF;

// The fields of one register, lowest bits first.
std::vector<vexar::Field> fieldsOf(const std::vector<vexar::Field>& all, std::uint32_t address) {
    std::vector<vexar::Field> found;
    std::ranges::copy_if(all, std::back_inserter(found),
                         [&](const vexar::Field& f) { return f.address == address; });
    std::ranges::sort(found, {}, &vexar::Field::lsb);
    return found;
}

std::uint32_t fieldOf(std::uint32_t registerValue, const vexar::Field& field) {
    return (registerValue >> field.lsb) & ((2u << (field.msb - field.lsb)) - 1);
}

// "#17[13:10]=0x3"; a one-bit field shows its bit alone.
std::string describeField(const vexar::Field& field, std::uint32_t value) {
    char text[48];
    if (field.lsb == field.msb) {
        std::snprintf(text, sizeof text, "#%u[%u]=0x%x", field.index, field.lsb, value);
    } else {
        std::snprintf(text, sizeof text, "#%u[%u:%u]=0x%x", field.index, field.msb, field.lsb,
                      value);
    }
    return text;
}

std::uint32_t registerReset(const std::vector<vexar::Field>& fields) {
    std::uint32_t reset = 0;
    for (const vexar::Field& field : fields) {
        reset |= field.reset << field.lsb;
    }
    return reset;
}

// "183: 000084  #25[7:0]=0x84 ..."; with diff, only the fields that left their reset value.
void printRegister(std::ostream& out, const std::vector<vexar::Field>& fields,
                   std::uint32_t address, std::uint32_t value, std::uint32_t reset, bool diff) {
    char head[40];
    std::snprintf(head, sizeof head, "%03x: %06x", address, value);
    out << head;
    if (diff) {
        std::snprintf(head, sizeof head, " (reset %06x)", reset);
        out << head;
    }
    for (const vexar::Field& field : fields) {
        const std::uint32_t now = fieldOf(value, field);
        const std::uint32_t was = fieldOf(reset, field);
        if (diff && now == was) {
            continue;
        }
        out << "  " << describeField(field, now);
        if (diff) {
            char previous[24];
            std::snprintf(previous, sizeof previous, " (was 0x%x)", was);
            out << previous;
        }
    }
    out << '\n';
}

void printDevice(std::ostream& out, const vexar::ByteDeviceValue& device) {
    char line[80];
    if (device.latched) {
        std::snprintf(line, sizeof line, "dev %02x reg %02x: %02x  (%s)\n", device.device,
                      device.reg, *device.latched, device.role.c_str());
    } else {
        std::snprintf(line, sizeof line, "dev %02x reg %02x: --  (%s, never written)\n",
                      device.device, device.reg, device.role.c_str());
    }
    out << line;
}

// A sensor register address, or a one-byte device as DEV:REG.
struct Target {
    std::uint32_t address = 0;
    std::optional<std::pair<std::uint16_t, std::uint8_t>> device;
};

Target parseTarget(const std::string& command, const std::string& text,
                   const std::vector<vexar::ByteDeviceValue>& devices) {
    const std::size_t colon = text.find(':');
    const auto first = parseUnsigned(text.substr(0, colon));
    if (colon == std::string::npos) {
        if (!first || *first >= kSensorRegisters) {
            throw badInput(command + " " + text + ": no sensor register there (0x000-0x1ff)");
        }
        return {*first, std::nullopt};
    }
    const auto reg = parseUnsigned(text.substr(colon + 1));
    const auto known = std::ranges::find_if(devices, [&](const vexar::ByteDeviceValue& d) {
        return first && reg && d.device == *first && d.reg == *reg;
    });
    if (known == devices.end()) {
        std::string list;
        for (const vexar::ByteDeviceValue& d : devices) {
            char one[16];
            std::snprintf(one, sizeof one, "%s0x%02x:0x%02x", list.empty() ? "" : ", ", d.device,
                          d.reg);
            list += one;
        }
        throw badInput(command + " " + text + ": no one-byte device there (" + list + ")");
    }
    return {0, std::pair(known->device, known->reg)};
}

}  // namespace

void runRegsGet(Context& context, const std::vector<std::string>& addresses) {
    const std::vector<vexar::ByteDeviceValue> devices = context.camera.byteDevices();
    std::vector<Target> targets;
    for (const std::string& text : addresses) {
        targets.push_back(parseTarget("regs get", text, devices));
    }
    const std::vector<vexar::Field> table = vexar::Camera::fieldTable();
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Target& target = targets[i];
        try {
            if (target.device) {
                const auto known = std::ranges::find_if(
                    devices, [&](const auto& d) { return d.device == target.device->first; });
                vexar::ByteDeviceValue shown = *known;
                shown.latched =
                    context.camera.readRegister(target.device->first, target.device->second);
                printDevice(context.out, shown);
                continue;
            }
            const auto fields = fieldsOf(table, target.address);
            printRegister(context.out, fields, target.address,
                          context.camera.readRegister(target.address), registerReset(fields),
                          false);
        } catch (const vexar::Error& error) {
            throw retold("regs get " + addresses[i], error);
        }
    }
}

void runRegsSet(Context& context, const std::vector<std::string>& assignments) {
    struct Write {
        std::string text;
        Target target;
        std::uint32_t value;
    };
    const std::vector<vexar::ByteDeviceValue> devices = context.camera.byteDevices();
    std::vector<Write> writes;
    for (const std::string& text : assignments) {
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos) {
            throw badInput("regs set " + text + ": expected ADDR=VALUE");
        }
        const Target target = parseTarget("regs set", text.substr(0, equals), devices);
        const auto value = parseUnsigned(text.substr(equals + 1));
        const std::uint32_t limit = target.device ? 0xFF : kRegisterMask;
        if (!value || *value > limit) {
            throw badInput("regs set " + text + ": the value must lie in 0 to " +
                           std::to_string(limit));
        }
        writes.push_back({text, target, *value});
    }
    for (const Write& write : writes) {
        try {
            if (write.target.device) {
                context.camera.writeRegister(write.target.device->first,
                                             write.target.device->second,
                                             static_cast<std::uint8_t>(write.value));
            } else {
                context.camera.writeRegister(write.target.address, write.value);
            }
        } catch (const vexar::Error& error) {
            throw retold("regs set " + write.text, error);
        }
    }
}

void runRegs(Context& context, bool diff) {
    if (!context.camera.canReset()) {
        throw vexar::Error(vexar::ErrorKind::Unsupported,
                           "the registers of the module on " + context.camera.backend() +
                               " are not visible to the tool, only through the plug-in's "
                               "parameters");
    }
    const std::vector<vexar::Field> table = vexar::Camera::fieldTable();
    for (const vexar::RegisterValue& r : context.camera.registers()) {
        if (diff && r.value == r.reset) {
            continue;
        }
        printRegister(context.out, fieldsOf(table, r.address), r.address, r.value, r.reset, diff);
    }
    // The one-byte devices hold nothing until written; they cannot be read back through the
    // plug-in, so this is the only place their bytes show.
    for (const vexar::ByteDeviceValue& device : context.camera.byteDevices()) {
        if (diff && !device.latched) {
            continue;
        }
        printDevice(context.out, device);
    }
}

}  // namespace vexar::ctl
