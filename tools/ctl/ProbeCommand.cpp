#include <cstdio>
#include <cstring>
#include <ostream>

#include "bus/Probe.h"
#include "tools/ctl/Commands.h"
#include "tools/ctl/Errors.h"

namespace Lumivor::Ctl {

void runProbe(Bus::Backend& bus, std::ostream& out) {
    out << "probing the module's devices on " << bus.name() << '\n';
    std::size_t silent = 0;
    for (const Bus::Answer& answer : Bus::probe(bus, Bus::moduleDevices())) {
        char line[96];
        std::snprintf(line, sizeof line, "0x%02x  %-27s ", answer.device->address,
                      answer.device->role);
        out << line;
        if (answer.result == 0) {
            out << "answers\n";
        } else {
            ++silent;
            out << "no answer: " << (answer.result < 0 ? std::strerror(-answer.result) : "error")
                << " (" << answer.result << ")\n";
        }
    }
    if (silent != 0) {
        throw CommandError(Exit::BusFailure, "probe: " + std::to_string(silent) + " of " +
                                                 std::to_string(Bus::moduleDevices().size()) +
                                                 " devices do not answer on " + bus.name());
    }
}

}  // namespace Lumivor::Ctl
