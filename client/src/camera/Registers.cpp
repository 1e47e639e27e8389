// The sensor's registers and their fields, and the module's one-byte devices: read and written
// on the bus past the plug-in, or seen without a transaction where the backend can.
#include <cstdio>

#include "Errors.h"
#include "camera/CameraImpl.h"
#include "interface/ByteOrder.h"
#include "yorind/ModuleDescription.h"

namespace vexar {

namespace {
// One sensor register over the bus, recorded as any transfer is.
std::uint32_t readSensorOnBus(detail::bus::Backend& bus, std::uint32_t address) {
    std::uint8_t bytes[yorind::kRegisterBytes] = {};
    if (bus.read(yorind::bankDevice(address), yorind::bankRegister(address), bytes,
                 yorind::kRegisterBytes) != 0) {
        throw bus.busFailure(*bus.firstFailure());
    }
    return Lumivor::Bytes::loadLittleEndian(bytes, yorind::kRegisterBytes);
}

// Seen without a transaction where the backend can, so that looking adds none.
std::uint32_t readSensor(detail::bus::Backend& bus, std::uint32_t address) {
    if (const auto seen = bus.peekRegister(address)) {
        return *seen;
    }
    return readSensorOnBus(bus, address);
}

void checkSensorAddress(std::uint32_t address) {
    if (address >= yorind::kSensorRegisterCount) {
        throw detail::badInput("no sensor register there (0x000-0x1ff)");
    }
}

const yorind::ByteDevice& byteDevice(std::uint16_t device, std::uint8_t reg) {
    const yorind::ByteDevice* known = yorind::findByteDevice(device);
    if (known == nullptr || known->reg != reg) {
        std::string list;
        for (const yorind::ByteDevice& d : yorind::kByteDevices) {
            char one[16];
            std::snprintf(one, sizeof one, "%s0x%02x:0x%02x", list.empty() ? "" : ", ", d.address,
                          d.reg);
            list += one;
        }
        throw detail::badInput("no one-byte device there (" + list + ")");
    }
    return *known;
}
}  // namespace

std::vector<Field> Camera::fields() {
    return live().run([&] {
        std::vector<Field> all;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> last;  // address, value
        for (const yorind::FieldRow& f : yorind::kFields) {
            if (!last || last->first != f.address) {
                last = {f.address, readSensor(*impl_->bus, f.address)};
            }
            all.push_back({std::string(f.name), f.index, f.address, f.lsb, f.msb,
                           (last->second >> f.lsb) & yorind::fieldMask(f), f.reset});
        }
        return all;
    });
}

std::vector<Field> Camera::fieldTable() {
    std::vector<Field> all;
    for (const yorind::FieldRow& f : yorind::kFields) {
        all.push_back({std::string(f.name), f.index, f.address, f.lsb, f.msb, 0, f.reset});
    }
    return all;
}

std::vector<RegisterValue> Camera::registers() {
    return live().run([&] {
        std::vector<RegisterValue> all;
        for (const std::uint32_t address : Lumivor::Sim::SimulatedModule::knownRegisters()) {
            all.push_back({static_cast<std::uint16_t>(address), readSensor(*impl_->bus, address),
                           Lumivor::Sim::SimulatedModule::resetValue(address)});
        }
        return all;
    });
}

std::vector<ByteDeviceValue> Camera::byteDevices() {
    return live().run([&] {
        std::vector<ByteDeviceValue> all;
        for (const yorind::ByteDevice& device : yorind::kByteDevices) {
            all.push_back({device.role, device.address, device.reg,
                           impl_->bus->latchedByte(device.address).value_or(std::nullopt)});
        }
        return all;
    });
}

std::uint32_t Camera::readRegister(std::uint32_t address) {
    checkSensorAddress(address);
    return live().run([&] { return readSensorOnBus(*impl_->bus, address); });
}

void Camera::writeRegister(std::uint32_t address, std::uint32_t value) {
    checkSensorAddress(address);
    if (value > ((1u << yorind::kRegisterBits) - 1)) {
        throw detail::badInput("the value must lie in 0 to " +
                               std::to_string(((1u << yorind::kRegisterBits) - 1)));
    }
    live().run([&] {
        detail::bus::Backend& bus = *impl_->bus;
        std::uint8_t bytes[yorind::kRegisterBytes];
        Lumivor::Bytes::storeLittleEndian(bytes, value, yorind::kRegisterBytes);
        impl_->phaseCountFollowed = false;  // the register may hold the dealiasing setting
        if (bus.write(yorind::bankDevice(address), yorind::bankRegister(address), bytes,
                      yorind::kRegisterBytes) != 0) {
            throw bus.busFailure(*bus.firstFailure());
        }
    });
}

std::optional<std::uint8_t> Camera::readRegister(std::uint16_t device, std::uint8_t reg) {
    const yorind::ByteDevice& known = byteDevice(device, reg);
    return live().run([&] {
        const auto latched = impl_->bus->latchedByte(known.address);
        if (!latched) {
            throw Error(ErrorKind::Unsupported,
                        "the device is write-only; on a real bus it cannot be read");
        }
        return *latched;
    });
}

void Camera::writeRegister(std::uint16_t device, std::uint8_t reg, std::uint8_t value) {
    const yorind::ByteDevice& known = byteDevice(device, reg);
    live().run([&] {
        detail::bus::Backend& bus = *impl_->bus;
        std::uint8_t byte = value;
        if (bus.write(known.address, known.reg, &byte, 1) != 0) {
            throw bus.busFailure(*bus.firstFailure());
        }
    });
}

}  // namespace vexar
