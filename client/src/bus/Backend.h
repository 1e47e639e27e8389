#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/SimulatedModule.h"
#include "bus/AdapterLock.h"

namespace Lumivor::Bus {

using Sim::Direction;
using Sim::Transaction;

// The backend cannot be used at all: the adapter is missing, not ours to open, or unfit.
class OpenError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Where the plug-in's register callbacks end up. Whatever the backend, every transaction is
// recorded here in one format, so a trace reads the same on the simulated module and on a
// real adapter.
class Backend {
  public:
    Backend() = default;
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;
    virtual ~Backend() = default;

    // "simulated module" or the adapter's device node.
    virtual std::string name() const = 0;
    // The simulated module behind this backend; nothing on real hardware.
    virtual Sim::SimulatedModule* simulated() { return nullptr; }
    // Keeps other processes off the bus until the hold is released (see AdapterLock); nothing
    // where the bus is this process's own.
    virtual std::unique_ptr<AdapterLock> hold(std::chrono::milliseconds) { return nullptr; }

    // The callbacks to hand to initialize, with hostContext() as their context.
    static std::int32_t readCallback(void* hostContext, std::uint16_t device, std::uint8_t reg,
                                     std::uint8_t* buffer, std::uint32_t length);
    static std::int32_t writeCallback(void* hostContext, std::uint16_t device, std::uint8_t reg,
                                      std::uint8_t* buffer, std::uint32_t length);
    void* hostContext() { return this; }

    // One recorded transaction; the result is 0 or the negative errno of the bus.
    std::int32_t read(std::uint16_t device, std::uint8_t reg, std::uint8_t* buffer,
                      std::uint32_t length);
    std::int32_t write(std::uint16_t device, std::uint8_t reg, std::uint8_t* buffer,
                       std::uint32_t length);

    const std::vector<Transaction>& transactions() const { return log_; }
    void clearLog() { log_.clear(); }
    // The "i2ctransfer"-style lines of the log, then their count.
    std::string describeLog() const;
    // The first transaction since clearLog that failed, if any.
    const Transaction* firstFailure() const;
    // "device 0x5c register 0x02: Remote I/O error" (on /dev/i2c-1)
    std::string describeFailure(const Transaction& failed) const;

  protected:
    virtual std::int32_t transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                                  std::uint8_t* buffer, std::uint32_t length) = 0;

  private:
    std::vector<Transaction> log_;
};

// The in-process simulated module.
class SimulatedBackend final : public Backend {
  public:
    std::string name() const override { return "simulated module"; }
    Sim::SimulatedModule* simulated() override { return &module_; }

  protected:
    std::int32_t transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                          std::uint8_t* buffer, std::uint32_t length) override;

  private:
    Sim::SimulatedModule module_;
};

// A Linux I2C adapter through i2c-dev: "/dev/i2c-1", or its number alone.
class I2cDevBackend final : public Backend {
  public:
    // OpenError when the adapter cannot be opened or cannot do plain I2C transfers.
    explicit I2cDevBackend(const std::string& adapter);
    ~I2cDevBackend() override;
    std::string name() const override { return path_; }
    std::unique_ptr<AdapterLock> hold(std::chrono::milliseconds timeout) override {
        return std::make_unique<AdapterLock>(fd_, path_, timeout);
    }

  protected:
    std::int32_t transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                          std::uint8_t* buffer, std::uint32_t length) override;

  private:
    std::string path_;
    int fd_ = -1;
};

// The simulated module without an adapter, the adapter otherwise.
std::unique_ptr<Backend> openBackend(const std::string& adapter);

}  // namespace Lumivor::Bus
