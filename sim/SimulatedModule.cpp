#include "sim/SimulatedModule.h"

#include <cstdio>
#include <ostream>
#include <set>
#include <stdexcept>

#include "interface/ByteOrder.h"
#include "yorind/ModuleDescription.h"

namespace Lumivor::Sim {

namespace {
constexpr auto sensorAddress = yorind::sensorRegisterAddress;
constexpr std::uint32_t kRegisterBytes = yorind::kRegisterBytes;
constexpr std::uint32_t kRegisterMask = (1u << yorind::kRegisterBits) - 1;

const yorind::FieldRow& fieldRow(std::uint32_t index) {
    if (index >= yorind::kFieldCount) {
        throw std::out_of_range("no such field");
    }
    return yorind::kFields[index];
}

std::uint32_t mask(const yorind::FieldRow& row) {
    return yorind::fieldMask(row);
}
}  // namespace

SimulatedModule::SimulatedModule() {
    reset();
}

void SimulatedModule::reset() {
    registers_ = yorind::kResetImage;
    latched_.clear();
}

std::int32_t SimulatedModule::readCallback(void* hostContext, std::uint16_t device,
                                           std::uint8_t reg, std::uint8_t* buffer,
                                           std::uint32_t length) {
    return static_cast<SimulatedModule*>(hostContext)
        ->transfer(Direction::Read, device, reg, buffer, length);
}

std::int32_t SimulatedModule::writeCallback(void* hostContext, std::uint16_t device,
                                            std::uint8_t reg, std::uint8_t* buffer,
                                            std::uint32_t length) {
    return static_cast<SimulatedModule*>(hostContext)
        ->transfer(Direction::Write, device, reg, buffer, length);
}

std::optional<std::int32_t> SimulatedModule::injectedFault(std::uint16_t device) {
    // seen_ already counts this transaction's predecessors; this one is number seen_ + 1.
    if (armedAt_ != 0 && seen_ + 1 == armedAt_) {
        armedAt_ = 0;
        return armedCode_;
    }
    if (const auto failing = failingDevices_.find(device); failing != failingDevices_.end()) {
        return failing->second;
    }
    return std::nullopt;
}

std::int32_t SimulatedModule::transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                                       std::uint8_t* buffer, std::uint32_t length) {
    std::int32_t result = kNack;
    if (const auto fault = injectedFault(device)) {
        result = *fault;
    } else if (buffer == nullptr) {
        result = kNack;
    } else if (const auto address = sensorAddress(device, reg)) {
        if (length == kRegisterBytes) {
            std::uint32_t& value = registers_[*address];
            if (direction == Direction::Read) {
                Bytes::storeLittleEndian(buffer, value, kRegisterBytes);
            } else {
                value = Bytes::loadLittleEndian(buffer, kRegisterBytes) & kRegisterMask;
            }
            result = 0;
        }
    } else if (const yorind::ByteDevice* small = yorind::findByteDevice(device)) {
        if (reg == small->reg && length == 1) {
            if (direction == Direction::Read) {
                const auto latched = latched_.find(device);
                buffer[0] = latched != latched_.end() ? latched->second : 0;
            } else {
                latched_[device] = buffer[0];
            }
            result = 0;
        }
    }
    ++seen_;
    return result;
}

std::uint32_t SimulatedModule::registerValue(std::uint32_t address) const {
    return address < registers_.size() ? registers_[address] : 0;
}

void SimulatedModule::setRegisterValue(std::uint32_t address, std::uint32_t value) {
    if (address < registers_.size()) {
        registers_[address] = value & kRegisterMask;
    }
}

std::uint32_t SimulatedModule::field(std::uint32_t index) const {
    const yorind::FieldRow& f = fieldRow(index);
    return (registers_[f.address] >> f.lsb) & mask(f);
}

void SimulatedModule::setField(std::uint32_t index, std::uint32_t value) {
    const yorind::FieldRow& f = fieldRow(index);
    std::uint32_t& reg = registers_[f.address];
    reg = (reg & ~(mask(f) << f.lsb)) | ((value & mask(f)) << f.lsb);
}

std::optional<std::uint8_t> SimulatedModule::latchedByte(std::uint16_t device) const {
    const auto latched = latched_.find(device);
    if (latched == latched_.end()) {
        return std::nullopt;
    }
    return latched->second;
}

const std::vector<std::uint32_t>& SimulatedModule::knownRegisters() {
    static const std::vector<std::uint32_t> addresses = [] {
        std::set<std::uint32_t> unique;
        for (const yorind::FieldRow& field : yorind::kFields) {
            unique.insert(field.address);
        }
        return std::vector<std::uint32_t>(unique.begin(), unique.end());
    }();
    return addresses;
}

std::uint32_t SimulatedModule::resetValue(std::uint32_t address) {
    return address < yorind::kResetImage.size() ? yorind::kResetImage[address] : 0;
}

void SimulatedModule::failNthTransaction(std::size_t n, std::int32_t code) {
    armedAt_ = n == 0 ? 0 : seen_ + n;
    armedCode_ = code;
}

void SimulatedModule::failDevice(std::uint16_t device, std::int32_t code) {
    failingDevices_[device] = code;
}

void SimulatedModule::clearFaults() {
    armedAt_ = 0;
    failingDevices_.clear();
}

void SimulatedModule::saveImage(std::ostream& out) const {
    char line[48];
    for (std::uint32_t address = 0; address < registers_.size(); ++address) {
        if (registers_[address] != resetValue(address)) {
            std::snprintf(line, sizeof line, "0x%03x 0x%06x\n", address, registers_[address]);
            out << line;
        }
    }
    for (const auto& [device, value] : latched_) {
        std::snprintf(line, sizeof line, "byte 0x%02x 0x%02x\n", device, value);
        out << line;
    }
}

ModuleKey SimulatedModule::moduleKey() {
    const auto& key = yorind::kModuleKey;
    return ModuleKey{key[0], key[1], key[2], key[3]};
}

// Each component of the description at its index, in the first version served.
ModuleDescriptor SimulatedModule::moduleDescriptor() {
    ModuleDescriptor descriptor{};
    descriptor.headerValue = yorind::kHeaderValue;
    descriptor.headerValid = 1;
    for (const yorind::Component& component : yorind::kComponents) {
        ComponentIdentity& entry = descriptor.components[component.index];
        entry.type = component.type;
        entry.version = component.versions[0];
        entry.reservedHalf = component.reservedHalf;
        entry.present = 1;
    }
    return descriptor;
}

}  // namespace Lumivor::Sim
