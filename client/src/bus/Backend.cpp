#include "bus/Backend.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Lumivor::Bus {

std::int32_t Backend::readCallback(void* hostContext, std::uint16_t device, std::uint8_t reg,
                                   std::uint8_t* buffer, std::uint32_t length) {
    return static_cast<Backend*>(hostContext)->read(device, reg, buffer, length);
}

std::int32_t Backend::writeCallback(void* hostContext, std::uint16_t device, std::uint8_t reg,
                                    std::uint8_t* buffer, std::uint32_t length) {
    return static_cast<Backend*>(hostContext)->write(device, reg, buffer, length);
}

std::int32_t Backend::read(std::uint16_t device, std::uint8_t reg, std::uint8_t* buffer,
                           std::uint32_t length) {
    Transaction record{Direction::Read, device, reg, {}, 0};
    record.result = transfer(Direction::Read, device, reg, buffer, length);
    if (record.result == 0 && buffer != nullptr) {
        record.bytes.assign(buffer, buffer + length);
    }
    log_.push_back(std::move(record));
    return log_.back().result;
}

std::int32_t Backend::write(std::uint16_t device, std::uint8_t reg, std::uint8_t* buffer,
                            std::uint32_t length) {
    Transaction record{Direction::Write, device, reg, {}, 0};
    if (buffer != nullptr) {
        // As many bytes as the simulated module logs, so that long writes trace alike.
        record.bytes.assign(buffer, buffer + std::min(length, Sim::kLoggedWriteBytes));
    }
    record.result = transfer(Direction::Write, device, reg, buffer, length);
    log_.push_back(std::move(record));
    return log_.back().result;
}

std::string Backend::describeLog() const {
    std::string text;
    std::size_t reads = 0;
    for (const Transaction& t : log_) {
        text += Sim::SimulatedModule::describe(t);
        text += '\n';
        reads += t.direction == Direction::Read ? 1 : 0;
    }
    return text + std::to_string(log_.size()) + " transactions (" + std::to_string(reads) +
           " reads, " + std::to_string(log_.size() - reads) + " writes)\n";
}

const Transaction* Backend::firstFailure() const {
    const auto failed =
        std::ranges::find_if(log_, [](const Transaction& t) { return t.result != 0; });
    return failed == log_.end() ? nullptr : &*failed;
}

std::string Backend::describeFailure(const Transaction& failed) const {
    char where[64];
    std::snprintf(where, sizeof where, "%s device 0x%02x register 0x%02x",
                  failed.direction == Direction::Read ? "reading" : "writing", failed.device,
                  failed.reg);
    // Bus results are negative errno values; anything else is a code of the backend's own.
    const std::string reason = failed.result < 0 ? std::strerror(-failed.result)
                                                 : "error " + std::to_string(failed.result);
    return where + (" on " + name()) + ": " + reason + " (" + std::to_string(failed.result) + ")";
}

std::int32_t SimulatedBackend::transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                                        std::uint8_t* buffer, std::uint32_t length) {
    return direction == Direction::Read
               ? Sim::SimulatedModule::readCallback(&module_, device, reg, buffer, length)
               : Sim::SimulatedModule::writeCallback(&module_, device, reg, buffer, length);
}

std::unique_ptr<Backend> openBackend(const std::string& adapter) {
    if (adapter.empty()) {
        return std::make_unique<SimulatedBackend>();
    }
    return std::make_unique<I2cDevBackend>(adapter);
}

}  // namespace Lumivor::Bus
