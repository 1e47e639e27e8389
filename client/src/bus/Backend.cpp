#include "bus/Backend.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ImageFile.h"
#include "io/LockedFile.h"
#include "io/OutputWriter.h"
#include "vexar/error.hpp"
#include "yorind/ModuleDescription.h"

namespace vexar {

namespace {
std::string hexByte(std::uint32_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value & 0xFF);
    return text;
}
}  // namespace

std::string Transaction::toString() const {
    std::string line;
    const auto append = [&](std::uint32_t byte) { line += ' ' + hexByte(byte); };
    if (direction == Direction::Read) {
        // A failed read brings no bytes back; its length follows from the device.
        const std::size_t length =
            yorind::sensorRegisterAddress(device, reg) ? yorind::kRegisterBytes : 1;
        line = "w1@" + hexByte(device);
        append(reg);
        line += " r" + std::to_string(length);
        if (result == 0) {
            line += " ->";
            std::ranges::for_each(bytes, append);
        }
    } else {
        line = 'w' + std::to_string(bytes.size() + 1) + '@' + hexByte(device);
        append(reg);
        std::ranges::for_each(bytes, append);
    }
    if (result != 0) {
        line += "  (error " + std::to_string(result) + ')';
    }
    return line;
}

}  // namespace vexar

namespace vexar::detail::bus {

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
    Transaction transaction{Direction::Read, device, reg, {}, 0};
    transaction.result = transfer(Direction::Read, device, reg, buffer, length);
    if (transaction.result == 0 && buffer != nullptr) {
        transaction.bytes.assign(buffer, buffer + length);
    }
    const std::int32_t result = transaction.result;
    record(std::move(transaction));
    return result;
}

std::int32_t Backend::write(std::uint16_t device, std::uint8_t reg, std::uint8_t* buffer,
                            std::uint32_t length) {
    Transaction transaction{Direction::Write, device, reg, {}, 0};
    if (buffer != nullptr) {
        transaction.bytes.assign(buffer, buffer + std::min(length, kRecordedWriteBytes));
    }
    transaction.result = transfer(Direction::Write, device, reg, buffer, length);
    if (length == 1 && buffer != nullptr) {
        // A failed write may or may not have reached the device: its byte is no longer known.
        if (transaction.result == 0) {
            bytesWritten_.insert_or_assign(device, *buffer);
        } else {
            bytesWritten_.erase(device);
        }
    }
    const std::int32_t result = transaction.result;
    record(std::move(transaction));
    return result;
}

void Backend::record(Transaction transaction) {
    if (transaction.result != 0 && !firstFailure_) {
        firstFailure_ = transaction;
    }
    if (callback_) {
        callback_(transaction);
    }
    if (log_.size() == kRecordLimit) {
        log_.pop_front();
    }
    log_.push_back(std::move(transaction));
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

vexar::Error Backend::busFailure(const Transaction& failed, const std::string& lead,
                                 vexar::Error::Details details) const {
    details.code.reset();
    details.busErrno = failed.result < 0 ? std::optional(-failed.result) : std::nullopt;
    if (gone(failed.result)) {
        return vexar::Error(vexar::ErrorKind::Disconnected,
                            lead + describeFailure(failed) + "; " + name() + " went away",
                            std::move(details));
    }
    return vexar::Error(vexar::ErrorKind::BusFailure, lead + describeFailure(failed),
                        std::move(details));
}

bool Backend::gone(std::int32_t result) const {
    return result == -ENODEV;
}

void Backend::reset() {
    throw vexar::Error(
        vexar::ErrorKind::Unsupported,
        "a module on " + name() + " has no power-on state the library could load back");
}

std::int32_t SimulatedBackend::transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                                        std::uint8_t* buffer, std::uint32_t length) {
    return direction == Direction::Read
               ? Lumivor::Sim::SimulatedModule::readCallback(&module_, device, reg, buffer, length)
               : Lumivor::Sim::SimulatedModule::writeCallback(&module_, device, reg, buffer,
                                                              length);
}

// The image is read and checked before the plug-in touches the bus, and stays locked until
// the operation has written it back.
struct ImageBackend::Held {
    io::LockedFile file;
    std::string loaded;  // the module's image as applied, to tell whether the operation changed it
};

ImageBackend::ImageBackend(std::filesystem::path path) : path_(std::move(path)) {}

ImageBackend::~ImageBackend() = default;

void ImageBackend::begin(const io::LockWait& wait) {
    std::unique_ptr<Held> held(new Held{io::LockedFile(path_, wait), {}});
    const RegisterImage contents = parseImage(held->file.text(), path_.string());
    applyImage(module(), contents);
    held->loaded = imageText(module());
    held_ = std::move(held);
}

// Only an operation that changed the module rewrites the image: a read-only image serves reads,
// and the comments of a hand-written image survive them. A missing image is created by an
// operation that succeeds.
void ImageBackend::end(bool succeeded) {
    const std::unique_ptr<Held> held = std::move(held_);
    if (!held) {
        return;
    }
    const std::string now = imageText(module());
    if (now != held->loaded || (succeeded && !held->file.existed())) {
        held->file.replace(now);
    }
}

std::int32_t CallerBackend::transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                                     std::uint8_t* buffer, std::uint32_t length) {
    if (buffer == nullptr) {
        return -EINVAL;
    }
    return direction == Direction::Read ? bus_->read(device, reg, {buffer, length})
                                        : bus_->write(device, reg, {buffer, length});
}

}  // namespace vexar::detail::bus
