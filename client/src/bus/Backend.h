#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bus/AdapterLock.h"
#include "sim/SimulatedModule.h"
#include "vexar/bus.hpp"
#include "vexar/error.hpp"

namespace vexar::detail::bus {

using vexar::Direction;
using vexar::Transaction;

// Where the plug-in's register callbacks end up. Whatever the backend, every transaction is
// recorded here, and only here, in one format: a trace reads the same on the simulated module
// and on a real adapter, and tests of the plug-in count its traffic through this record too.
class Backend {
  public:
    // Far more than one operation makes (a state load is a few hundred), little enough memory.
    static constexpr std::size_t kRecordLimit = 16384;
    // A recorded write keeps at most this many of its bytes; the module's transfers are shorter.
    static constexpr std::uint32_t kRecordedWriteBytes = 16;

    Backend() = default;
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;
    virtual ~Backend() = default;

    // "simulated module" (an image too), the adapter's device node or the caller's bus's name.
    virtual std::string name() const = 0;
    // Whether other processes may reach the module too, so that what they change shows only on
    // a fresh read: an adapter, an image and a caller's bus are; this process's module is not.
    virtual bool shared() const { return true; }
    // An operation begins and ends: the backend keeps other processes off the bus in between
    // (an adapter's lock; an image's lock, with its registers loaded and, when changed, written
    // back). Ends nest within begins only once: the camera counts the depth.
    virtual void begin(const io::LockWait& /*wait*/) {}
    virtual void end(bool /*succeeded*/) {}

    // What only a module the backend itself holds can answer; a real bus answers nothing.
    // A sensor register as the module holds it, seen without a transaction.
    virtual std::optional<std::uint32_t> peekRegister(std::uint32_t /*address*/) const {
        return std::nullopt;
    }
    // The byte a one-byte device latched (nothing inside when it was never written). Such a
    // device cannot be read back over a bus, so a real one cannot tell at all.
    virtual std::optional<std::optional<std::uint8_t>> latchedByte(std::uint16_t /*device*/) const {
        return std::nullopt;
    }
    // Whether the module can go back to power-on, and taking it there; on a real bus the
    // library has no power-on state to load back, and reset is Error(Refused).
    // The byte this backend last wrote to a one-byte device, by whatever call (nothing after
    // a failed write): what can be known of a device that cannot be read.
    std::optional<std::uint8_t> byteWritten(std::uint16_t device) const {
        const auto found = bytesWritten_.find(device);
        return found != bytesWritten_.end() ? std::optional(found->second) : std::nullopt;
    }
    void forgetBytesWritten() { bytesWritten_.clear(); }
    virtual bool canReset() const { return false; }
    virtual void reset();
    // Whether a transaction that failed so shows the bus itself gone (an adapter unplugged),
    // rather than a device that did not answer: ENODEV, wherever it comes from.
    virtual bool gone(std::int32_t result) const;
    // Whether the bus's device node is there as it was opened, by a look at it alone.
    virtual bool present() const { return true; }

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

    // The most recent transactions, oldest first.
    const std::deque<Transaction>& transactions() const { return log_; }
    void clearLog() { log_.clear(); }
    void onTransaction(std::function<void(const Transaction&)> callback) {
        callback_ = std::move(callback);
    }

    // The first transaction that failed since the last mark: what tells a bus failure from a
    // plug-in refusal, whatever the record was cleared or cut to meanwhile.
    void markFailures() { firstFailure_.reset(); }
    const Transaction* firstFailure() const { return firstFailure_ ? &*firstFailure_ : nullptr; }
    // "reading device 0x5c register 0x02 on /dev/i2c-1: Remote I/O error (-121)"
    std::string describeFailure(const Transaction& failed) const;
    // Error(BusFailure) for the failed transaction: lead, then describeFailure, with the errno;
    // Error(Disconnected) when it shows the bus gone.
    // Never a plug-in code: a code the plug-in returned after it is the bus's errno passed on,
    // and -EIO would read as the plug-in's OutOfRange.
    vexar::Error busFailure(const Transaction& failed, const std::string& lead = {},
                            vexar::Error::Details details = {}) const;

  protected:
    virtual std::int32_t transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                                  std::uint8_t* buffer, std::uint32_t length) = 0;

  private:
    void record(Transaction transaction);

    std::deque<Transaction> log_;
    std::optional<Transaction> firstFailure_;
    std::map<std::uint16_t, std::uint8_t> bytesWritten_;
    std::function<void(const Transaction&)> callback_;
};

// The in-process simulated module.
class SimulatedBackend : public Backend {
  public:
    std::string name() const override { return "simulated module"; }
    bool shared() const override { return false; }
    std::optional<std::uint32_t> peekRegister(std::uint32_t address) const override {
        return module_.registerValue(address);
    }
    std::optional<std::optional<std::uint8_t>> latchedByte(std::uint16_t device) const override {
        return module_.latchedByte(device);
    }
    bool canReset() const override { return true; }
    void reset() override { module_.reset(); }

    // The module itself, for whoever made this backend (faults to inject, an image to load).
    Lumivor::Sim::SimulatedModule& module() { return module_; }
    const Lumivor::Sim::SimulatedModule& module() const { return module_; }

  protected:
    std::int32_t transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                          std::uint8_t* buffer, std::uint32_t length) override;

  private:
    Lumivor::Sim::SimulatedModule module_;
};

// The simulated module kept in a register image file. Each operation holds the file's lock,
// starts from the registers it holds and replaces it when they changed, so that processes
// sharing the file share one module as they would share a real one.
class ImageBackend final : public SimulatedBackend {
  public:
    explicit ImageBackend(std::filesystem::path path);
    ~ImageBackend() override;
    std::string name() const override { return "simulated module"; }
    const std::filesystem::path& path() const { return path_; }
    // Shared through its file.
    bool shared() const override { return true; }
    void begin(const io::LockWait& wait) override;
    void end(bool succeeded) override;

  private:
    struct Held;
    std::filesystem::path path_;
    std::unique_ptr<Held> held_;
};

// A Linux I2C adapter through i2c-dev: "/dev/i2c-1", or its number alone.
class I2cDevBackend final : public Backend {
  public:
    // Error(BusFailure) when the adapter cannot be opened or cannot do plain I2C transfers.
    explicit I2cDevBackend(const std::string& adapter);
    ~I2cDevBackend() override;
    std::string name() const override { return path_; }
    void begin(const io::LockWait& wait) override {
        lock_ = std::make_unique<AdapterLock>(fd_, path_, wait);
    }
    void end(bool) override { lock_.reset(); }
    bool gone(std::int32_t result) const override;
    bool present() const override;

  protected:
    std::int32_t transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                          std::uint8_t* buffer, std::uint32_t length) override;

  private:
    std::string path_;
    int fd_ = -1;
    std::unique_ptr<AdapterLock> lock_;
};

// A bus of the library's caller.
class CallerBackend final : public Backend {
  public:
    explicit CallerBackend(std::unique_ptr<vexar::Bus> bus) : bus_(std::move(bus)) {}
    std::string name() const override { return bus_->name(); }

  protected:
    std::int32_t transfer(Direction direction, std::uint16_t device, std::uint8_t reg,
                          std::uint8_t* buffer, std::uint32_t length) override;

  private:
    std::unique_ptr<vexar::Bus> bus_;
};

}  // namespace vexar::detail::bus
