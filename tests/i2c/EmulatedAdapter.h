#pragma once

// An I2C adapter without hardware: umockdev emulates /dev/i2c-N at the open/ioctl level and
// this answers its ioctls from a simulated module, on umockdev's own thread. Programs reach it
// when they run under umockdev-wrapper with the testbed's UMOCKDEV_DIR.

#include <linux/i2c.h>
#include <umockdev.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "bus/Backend.h"
#include "sim/SimulatedModule.h"

namespace vexar::test {

// The module on the emulated adapter, behind a bus that records what reached it; the handler
// thread and whoever drives the emulation share it under the mutex.
struct Hardware {
    std::mutex mutex;
    unsigned long functions = I2C_FUNC_I2C;
    // Unplugged: umockdev goes on answering descriptors opened before the node went, so every
    // ioctl on them fails here as a real adapter's does once its device is gone.
    bool unplugged = false;
    int unpluggedErrno = ENODEV;  // some adapters answer ENXIO, as for a device that NACKs
    unsigned generation = 0;      // of the node: bumped by each replug
    vexar::detail::bus::SimulatedBackend bus;
    Lumivor::Sim::SimulatedModule& module = bus.module();
};

class EmulatedAdapter {
  public:
    // Adds /dev/i2c-<number> to a new testbed, answered from hardware (which must outlive this).
    EmulatedAdapter(Hardware& hardware, int number = 1);
    ~EmulatedAdapter();
    EmulatedAdapter(const EmulatedAdapter&) = delete;
    EmulatedAdapter& operator=(const EmulatedAdapter&) = delete;

    // The testbed's root: UMOCKDEV_DIR for the programs that use the adapter.
    const std::string& root() const { return root_; }
    const std::string& node() const { return node_; }

    // The adapter goes away (its node and sysfs entry removed, open descriptors failing with
    // ENODEV), and comes back as a new node the module answers again.
    void unplug(int error = ENODEV);
    void plug();

  private:
    void add();
    std::string hidden() const { return "/dev/.unplugged-" + node_.substr(5); }

    Hardware& hardware_;
    std::string node_, sysfs_, root_;
    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;
};

// Prepares this process's environment for umockdev-wrapper's children: the preload's socket
// path must stay under 108 bytes, and the preload comes before a sanitizer's runtime.
void prepareEnvironment();

}  // namespace vexar::test
