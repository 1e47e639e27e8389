// vexar-adapter-emulator: an emulated /dev/i2c-1 with the simulated module behind it, driven
// line by line on standard input, so that tests in any language can unplug the adapter,
// power-cycle the module or make its transfers fail while the programs under test use it.
//
// It answers "ready UMOCKDEV_DIR=<root>" once the adapter answers; programs reach it when run
// under umockdev-wrapper with that UMOCKDEV_DIR. Each command is answered "ok" or "error: ...":
//   unplug [ERR]         the node goes, open descriptors fail with ERR (default ENODEV: 19)
//   plug                 the node comes back, the module keeps its registers
//   power-cycle          the module's registers and one-byte devices back to power-on
//   fail-device DEV ERR  every transfer to DEV fails with -ERR (e.g. fail-device 0x2a 121)
//   fail-next N ERR      the N-th transfer from now fails with -ERR
//   clear                no more faults
//   transfers            the number of transfers the module has seen
// End of input ends it.

#include <cerrno>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>

#include "EmulatedAdapter.h"

namespace {

std::string perform(vexar::test::EmulatedAdapter& adapter, vexar::test::Hardware& hardware,
                    const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "unplug") {
        int error = ENODEV;
        words >> error;
        adapter.unplug(error);
        return "ok";
    }
    if (command == "plug") {
        adapter.plug();
        return "ok";
    }
    const std::lock_guard lock(hardware.mutex);
    if (command == "power-cycle") {
        hardware.module.reset();
    } else if (command == "fail-device" || command == "fail-next") {
        unsigned long target = 0;
        int error = 0;
        if (!(words >> std::setbase(0) >> target >> std::dec >> error) || error <= 0) {
            return "error: " + command + " takes a number and a positive errno";
        }
        if (command == "fail-device") {
            hardware.module.failDevice(static_cast<std::uint16_t>(target), -error);
        } else {
            hardware.module.failNthTransaction(target, -error);
        }
    } else if (command == "clear") {
        hardware.module.clearFaults();
    } else if (command == "transfers") {
        return "ok " + std::to_string(hardware.bus.transactions().size());
    } else {
        return "error: unknown command '" + command + "'";
    }
    return "ok";
}

}  // namespace

int main() {
    vexar::test::prepareEnvironment();
    auto* hardware = new vexar::test::Hardware;  // umockdev's thread may outlive main's scope
    try {
        vexar::test::EmulatedAdapter adapter(*hardware);
        std::cout << "ready UMOCKDEV_DIR=" << adapter.root() << std::endl;
        std::string line;
        while (std::getline(std::cin, line)) {
            if (line.empty()) {
                continue;
            }
            try {
                std::cout << perform(adapter, *hardware, line) << std::endl;
            } catch (const std::exception& error) {
                std::cout << "error: " << error.what() << std::endl;
            }
        }
    } catch (const std::exception& error) {
        std::cerr << "vexar-adapter-emulator: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
