// The value-record walks, through writeSystemState and readSystemState.
//
// Input: one flag byte, then the state buffer. Flag bit 0 takes the illumination drivers out
// of the descriptor (their voltages are then neither needed nor written), bit 1 starts from a
// sensor with dealiasing switched on.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "tests/support/ModuleRig.h"
#include "variant/SubRegisterTable.h"

namespace {

using namespace Lumivor;
using Bytes = std::vector<std::uint8_t>;

// Texts of the refusals that come before any register traffic.
bool refusedBeforeTheBus(const std::string& text) {
    return text == "failed to unmarshal data" ||
           text == "incompatible Mixing signals mode and Illumination mode" ||
           text.rfind("system state lacks parameter ", 0) == 0;
}

bool onlyReads(const Sim::SimulatedModule& module) {
    for (const Sim::Transaction& t : module.transactions()) {
        if (t.direction != Sim::Direction::Read) {
            return false;
        }
    }
    return true;
}

ErrorCode readState(VEXAR_ParamInterp_YORINDImpl& interp, Bytes& buffer) {
    return interp.readSystemState(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::InputReader in(data, size);
    const std::uint8_t flags = in.u8();
    const Bytes state = in.bytes(size);

    ModuleDescriptor descriptor = Sim::SimulatedModule::moduleDescriptor();
    if (flags & 1) {
        descriptor.components[3].present = 0;
        descriptor.components[4].present = 0;
    }
    Testing::ModuleRig rig(descriptor);
    if (flags & 2) {
        rig.module.setField(YorinD::Field::DealiasingEnable, 1);
    }

    // Writing: exactly the caller's bytes are read, none changed; refusals before the bus.
    Bytes buffer = state;
    rig.interp.setLastError("");
    const ErrorCode written =
        rig.interp.writeSystemState(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    FUZZ_CHECK(written == Error::Success || written == Error::NotSupported ||
               written == Error::InvalidArgument || written == Error::OutOfRange);
    FUZZ_CHECK(buffer == state);
    FUZZ_CHECK(rig.interp.getPhaseCount() == 4 || rig.interp.getPhaseCount() == 6);
    if (refusedBeforeTheBus(rig.interp.lastError())) {
        FUZZ_CHECK(written != Error::Success);
        FUZZ_CHECK(rig.module.transactionCount() == 0);
    }

    // Reading the same buffer: only bus reads; a refusal leaves the buffer as it was, and a
    // second read of an unchanged camera gives the same bytes again.
    rig.module.clearLog();
    const ErrorCode read = readState(rig.interp, buffer);
    FUZZ_CHECK(read == Error::Success || read == Error::NotSupported ||
               read == Error::InvalidArgument);
    FUZZ_CHECK(onlyReads(rig.module));
    if (read != Error::Success) {
        FUZZ_CHECK(buffer == state);
        return 0;
    }
    FUZZ_CHECK(buffer.size() == state.size());
    Bytes again = buffer;
    FUZZ_CHECK(readState(rig.interp, again) == Error::Success);
    FUZZ_CHECK(again == buffer);
    return 0;
}
