#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/SimulatedModule.h"
#include "vexar/camera.hpp"

namespace vexar::test {

// The simulated module behind a bus of the caller's: nothing can be seen past the bus, as on an
// adapter. With a countdown, every transfer from the chosen one on fails with the chosen errno.
class ModuleBus : public vexar::Bus {
  public:
    explicit ModuleBus(Lumivor::Sim::SimulatedModule* module = nullptr,
                       std::atomic<int>* countdown = nullptr, int error = EIO)
        : module_(module != nullptr ? *module : own_), countdown_(countdown), error_(error) {}
    int read(std::uint16_t device, std::uint8_t reg, std::span<std::uint8_t> data) override {
        if (failing()) return -error_;
        return Lumivor::Sim::SimulatedModule::readCallback(module_.hostContext(), device, reg,
                                                           data.data(),
                                                           static_cast<std::uint32_t>(data.size()));
    }
    int write(std::uint16_t device, std::uint8_t reg, std::span<const std::uint8_t> data) override {
        if (failing()) return -error_;
        std::vector<std::uint8_t> bytes(data.begin(), data.end());
        return Lumivor::Sim::SimulatedModule::writeCallback(
            module_.hostContext(), device, reg, bytes.data(),
            static_cast<std::uint32_t>(bytes.size()));
    }
    std::string name() const override { return "test bus"; }

  private:
    bool failing() { return countdown_ != nullptr && --*countdown_ < 0; }
    Lumivor::Sim::SimulatedModule own_;
    Lumivor::Sim::SimulatedModule& module_;
    std::atomic<int>* countdown_;
    int error_;
};

}  // namespace vexar::test
