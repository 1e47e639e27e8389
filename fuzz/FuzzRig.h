#pragma once

#include "sim/SimulatedModule.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor::Fuzz {

// An interpreter initialised on its own simulated module, as a host would set it up.
struct Rig {
    Rig() {
        interp.initialize(module.hostContext(), &Sim::SimulatedModule::readCallback,
                          &Sim::SimulatedModule::writeCallback, Sim::SimulatedModule::moduleKey(),
                          Sim::SimulatedModule::moduleDescriptor());
        module.clearLog();
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;
    ~Rig() { interp.dispose(); }

    Sim::SimulatedModule module;
    VEXAR_ParamInterp_YORINDImpl interp;
};

}  // namespace Lumivor::Fuzz
