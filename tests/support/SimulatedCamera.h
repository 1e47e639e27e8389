#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "sim/SimulatedModule.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor::Testing {

// Initialises an interpreter on a simulated module, by default as the module describes itself.
inline std::int32_t initialiseOn(
    VEXARParameterInterpreter& interp, Sim::SimulatedModule& module,
    const ModuleDescriptor& descriptor = Sim::SimulatedModule::moduleDescriptor(),
    const ModuleKey& key = Sim::SimulatedModule::moduleKey()) {
    return interp.initialize(module.hostContext(), &Sim::SimulatedModule::readCallback,
                             &Sim::SimulatedModule::writeCallback, key, descriptor);
}

// An interpreter initialised on a fresh simulated module, with the initialisation's traffic
// (none) cleared from the log, as most tests want it.
class SimulatedCameraTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(initialiseOn(interp, module), 0);
        module.clearLog();
    }
    void TearDown() override { interp.dispose(); }

    // The bus log as i2ctransfer-style lines, for comparing whole sequences.
    std::vector<std::string> busLog() const {
        std::vector<std::string> lines;
        for (const auto& t : module.transactions()) {
            lines.push_back(Sim::SimulatedModule::describe(t));
        }
        return lines;
    }

    // (device, register, direction) of every transaction, for order checks without data.
    struct Access {
        Sim::Direction direction;
        std::uint16_t device;
        std::uint8_t reg;
        bool operator==(const Access&) const = default;
        friend void PrintTo(const Access& a, std::ostream* os) {
            *os << (a.direction == Sim::Direction::Read ? "R(0x" : "W(0x") << std::hex << a.device
                << ", 0x" << int{a.reg} << std::dec << ")";
        }
    };
    std::vector<Access> accesses() const {
        std::vector<Access> out;
        for (const auto& t : module.transactions()) {
            out.push_back({t.direction, t.device, t.reg});
        }
        return out;
    }

    static Access R(std::uint16_t device, std::uint8_t reg) {
        return {Sim::Direction::Read, device, reg};
    }
    static Access W(std::uint16_t device, std::uint8_t reg) {
        return {Sim::Direction::Write, device, reg};
    }

    // Arms transaction n (counted from here, on an empty log) to fail with code; by default on a
    // module back at its power-on image, so that each case of a failure loop starts alike.
    void failAt(std::size_t n, std::int32_t code, bool fromReset = true) {
        if (fromReset) {
            module.reset();
        }
        module.clearLog();
        module.failNthTransaction(n, code);
    }

    Sim::SimulatedModule module;
    VEXAR_ParamInterp_YORINDImpl interp;
};

}  // namespace Lumivor::Testing
