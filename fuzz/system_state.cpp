// The value-record walks, through writeSystemState and readSystemState.
//
// Input: one flag byte, then the state buffer. Flag bit 0 takes the illumination drivers out
// of the descriptor (their voltages are then neither needed nor written), bit 1 starts from a
// sensor with dealiasing switched on.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"

namespace {

using namespace Lumivor;
using Bytes = std::vector<std::uint8_t>;

// Texts of the refusals that come before any register traffic.
bool refusedBeforeTheBus(const std::string& text) {
    return text == "failed to unmarshal data" ||
           text == "incompatible Mixing signals mode and Illumination mode" ||
           text.rfind("system state lacks parameter ", 0) == 0;
}

bool onlyReads(const vexar::detail::bus::Backend& bus) {
    for (const vexar::Transaction& t : bus.transactions()) {
        if (t.direction != vexar::Direction::Read) {
            return false;
        }
    }
    return true;
}

std::int32_t readState(void* instance, Bytes& buffer) {
    return readSystemState(instance, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
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
    Fuzz::Plugin plugin(descriptor);
    if (flags & 2) {
        // Dealiasing enable: bit 23 of sensor register 0x002.
        plugin.module.setRegisterValue(0x002, plugin.module.registerValue(0x002) | 1u << 23);
    }

    // Writing: exactly the caller's bytes are read, none changed; refusals before the bus.
    Bytes buffer = state;
    plugin.lastError();
    const std::int32_t written =
        writeSystemState(plugin.instance, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    FUZZ_CHECK(written == VEXAR_SUCCESS || written == VEXAR_NOT_SUPPORTED ||
               written == VEXAR_INVALID_ARGUMENT || written == VEXAR_OUT_OF_RANGE);
    FUZZ_CHECK(buffer == state);
    if (refusedBeforeTheBus(plugin.lastError())) {
        FUZZ_CHECK(written != VEXAR_SUCCESS);
        FUZZ_CHECK(plugin.bus.transactions().size() == 0);
    }

    // Reading the same buffer: only bus reads; a refusal leaves the buffer as it was, and a
    // second read of an unchanged camera gives the same bytes again.
    plugin.bus.clearLog();
    const std::int32_t read = readState(plugin.instance, buffer);
    FUZZ_CHECK(read == VEXAR_SUCCESS || read == VEXAR_NOT_SUPPORTED ||
               read == VEXAR_INVALID_ARGUMENT);
    FUZZ_CHECK(onlyReads(plugin.bus));
    if (read != VEXAR_SUCCESS) {
        FUZZ_CHECK(buffer == state);
        return 0;
    }
    FUZZ_CHECK(buffer.size() == state.size());
    Bytes again = buffer;
    FUZZ_CHECK(readState(plugin.instance, again) == VEXAR_SUCCESS);
    FUZZ_CHECK(again == buffer);
    return 0;
}
