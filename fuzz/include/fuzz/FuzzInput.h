#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bus/Backend.h"
#include "sim/SimulatedModule.h"
#include "vexar_param_interp.h"

namespace Lumivor::Fuzz {

// Reads a fuzz input front to back; past its end every read yields zeros, so any input is a
// complete program. Multi-byte numbers are little-endian.
class InputReader {
  public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return position_ >= size_; }

    std::uint8_t u8() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint16_t u16() {
        const std::uint16_t low = u8();
        return static_cast<std::uint16_t>(low | static_cast<std::uint16_t>(u8()) << 8);
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        return low | static_cast<std::uint32_t>(u16()) << 16;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    float f32() {
        const std::uint32_t bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // Up to count bytes; fewer when the input ends first.
    std::vector<std::uint8_t> bytes(std::size_t count) {
        const std::size_t available = size_ - std::min(position_, size_);
        const std::size_t taken = std::min(count, available);
        std::vector<std::uint8_t> out(data_ + position_, data_ + position_ + taken);
        position_ += taken;
        return out;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A broken property: report it and abort, so that libFuzzer keeps the input as a crash.
[[noreturn]] inline void violated(const char* property, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, property);
    std::abort();
}

// One instance, initialised through the exports on a simulated module of its own behind a
// recording bus, the record empty. initialised is what initialize answered.
struct Plugin {
    explicit Plugin(const ModuleDescriptor& descriptor = Sim::SimulatedModule::moduleDescriptor())
        : instance(createInstance()) {
        initialised =
            initialize(instance, bus.hostContext(), &vexar::detail::bus::Backend::readCallback,
                       &vexar::detail::bus::Backend::writeCallback,
                       Sim::SimulatedModule::moduleKey(), descriptor);
        bus.clearLog();
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    ~Plugin() {
        dispose(instance);
        destroyInstance(instance);
    }

    // Takes the last-error text (which empties it).
    std::string lastError() {
        std::int32_t size = 0;
        getLastError(instance, nullptr, &size);
        std::vector<char> text(static_cast<std::size_t>(std::max(size, 1)), '\0');
        getLastError(instance, text.data(), &size);
        return text.data();
    }

    vexar::detail::bus::SimulatedBackend bus;
    Sim::SimulatedModule& module = bus.module();
    void* instance;
    std::int32_t initialised = VEXAR_NOT_SUPPORTED;
};

}  // namespace Lumivor::Fuzz

#define FUZZ_CHECK(condition)                                                        \
    do {                                                                             \
        if (!(condition)) ::Lumivor::Fuzz::violated(#condition, __FILE__, __LINE__); \
    } while (0)
