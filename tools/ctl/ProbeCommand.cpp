#include <cstdio>
#include <cstring>
#include <ostream>

#include "Commands.h"
#include "Errors.h"

namespace vexar::ctl {

void runProbe(std::string_view where, const vexar::OpenOptions& options, std::ostream& out) {
    const vexar::ProbeResult probed = vexar::probe(where, options);
    const std::vector<vexar::DeviceAnswer>& answers = probed.devices;
    const std::string& name = probed.bus;
    out << "probing the module's devices on " << name << '\n';
    std::size_t silent = 0;
    for (const vexar::DeviceAnswer& answer : answers) {
        char line[96];
        std::snprintf(line, sizeof line, "0x%02x  %-27s ", answer.device, answer.role.c_str());
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
        throw vexar::Error(vexar::ErrorKind::BusFailure, "probe: " + std::to_string(silent) +
                                                             " of " +
                                                             std::to_string(answers.size()) +
                                                             " devices do not answer on " + name);
    }
}

}  // namespace vexar::ctl
