#include "bench/Report.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "bench/BusTime.h"

namespace Lumivor::Bench {

namespace {

constexpr double kSubRegisterLimitNs = 10.0;
constexpr double kParameterLimitNs = 150.0;
constexpr double kSystemStateLimitNs = 5000.0;
constexpr double kLifecycleLimitNs = 20000.0;

std::string printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string microseconds(double nanoseconds) {
    return nanoseconds == 0.0 ? "-" : printf("%.1f", nanoseconds / 1000.0);
}

// Share of the bus time that the CPU takes, with enough digits to tell small shares apart.
std::string share(double cpu, double bus) {
    if (bus == 0.0) {
        return "-";
    }
    const double percent = 100.0 * cpu / bus;
    return printf(percent >= 10.0 ? "%.0f %%" : percent >= 1.0 ? "%.1f %%" : "%.2g %%", percent);
}

std::string nanoseconds(double ns) {
    return printf(ns >= 1000.0 ? "%.0f" : ns >= 100.0 ? "%.0f" : "%.1f", ns);
}

}  // namespace

Baseline baselineOf(const std::vector<Measurement>& rows) {
    Baseline baseline;
    double readCall = 0.0;
    double writeCall = 0.0;
    for (const Measurement& m : rows) {
        if (m.name == kEmptyCall) {
            baseline.loopNanoseconds = m.cpuNanoseconds;
        } else if (m.name == kReadCallback) {
            readCall = m.cpuNanoseconds;
        } else if (m.name == kWriteCallback) {
            writeCall = m.cpuNanoseconds;
        }
    }
    baseline.readNanoseconds = std::max(0.0, readCall - baseline.loopNanoseconds);
    baseline.writeNanoseconds = std::max(0.0, writeCall - baseline.loopNanoseconds);
    return baseline;
}

double ownNanoseconds(const Measurement& m, const Baseline& baseline) {
    double own = m.cpuNanoseconds - (m.inLoop ? baseline.loopNanoseconds : 0.0);
    if (m.name != kEmptyCall && m.name != kReadCallback && m.name != kWriteCallback) {
        own -= static_cast<double>(m.traffic.reads) * baseline.readNanoseconds +
               static_cast<double>(m.traffic.writes) * baseline.writeNanoseconds;
    }
    return std::max(0.0, own);
}

Verdict judge(const Measurement& m, const Baseline& baseline) {
    const double own = ownNanoseconds(m, baseline);
    Verdict verdict;
    double limit = 0.0;
    switch (m.target) {
        case Target::None:
            break;
        case Target::SubRegister:
            limit = kSubRegisterLimitNs;
            verdict.text = "< 10 ns";
            break;
        case Target::Parameter:
            limit = kParameterLimitNs;
            verdict.text = "< 150 ns";
            break;
        case Target::SystemState:
            limit = kSystemStateLimitNs;
            verdict.text = "< 5 us";
            break;
        case Target::Lifecycle:
            limit = kLifecycleLimitNs;
            verdict.text = "< 20 us";
            break;
    }
    if (limit > 0.0 && own >= limit) {
        verdict.met = false;
    }
    if (m.mustNotAllocate) {
        verdict.text += verdict.text.empty() ? "no heap" : ", no heap";
        if (m.heap.allocations != 0) {
            verdict.met = false;
        }
    }
    if (!verdict.text.empty()) {
        verdict.text += verdict.met ? ": met" : ": MISSED";
    }
    return verdict;
}

std::string table(const std::vector<Measurement>& rows, const Baseline& baseline) {
    std::ostringstream out;
    out << "| operation | bus reads | bus writes | bus clocks | bus time 400 kHz (us) | bus time "
           "1 MHz (us) | CPU (ns) | plug-in CPU (ns) | CPU / bus 400 kHz | CPU / bus 1 MHz | "
           "heap allocations (bytes) | target |\n";
    out << "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|---|\n";
    std::string group;
    for (const Measurement& m : rows) {
        if (m.group != group) {
            group = m.group;
            out << "| **" << group << "** |||||||||||\n";
        }
        const double slow = I2c::nanoseconds(m.traffic.clocks, I2c::kFastMode);
        const double fast = I2c::nanoseconds(m.traffic.clocks, I2c::kFastModePlus);
        std::string writes = std::to_string(m.traffic.writes);
        if (m.traffic.byteWrites != 0) {
            writes += " (" + std::to_string(m.traffic.byteWrites) + " of 1 byte)";
        }
        out << "| " << m.name << " | " << m.traffic.reads << " | " << writes << " | "
            << m.traffic.clocks << " | " << microseconds(slow) << " | " << microseconds(fast)
            << " | " << nanoseconds(m.cpuNanoseconds) << " | "
            << nanoseconds(ownNanoseconds(m, baseline)) << " | " << share(m.cpuNanoseconds, slow)
            << " | " << share(m.cpuNanoseconds, fast) << " | " << m.heap.allocations << " ("
            << m.heap.bytes << ") | " << judge(m, baseline).text << " |\n";
    }
    return out.str();
}

std::string header(const std::string& cpu, const Baseline& baseline, const Footprint& footprint) {
    std::ostringstream out;
    out << "CPU: " << cpu << "\n";
    if (baseline.loopNanoseconds == 0.0) {
        out << "Baselines not run (filtered out): plug-in CPU is the whole CPU time\n";
    }
    out << "Measuring loop " << nanoseconds(baseline.loopNanoseconds)
        << " ns per call; zero-cost bus callbacks: read " << nanoseconds(baseline.readNanoseconds)
        << " ns, write " << nanoseconds(baseline.writeNanoseconds)
        << " ns (all taken off the CPU time to give the plug-in's own)\n";
    out << "Initialised instance: " << footprint.instanceBytes << " bytes of heap in "
        << footprint.instanceBlocks << " blocks (the instance object " << footprint.objectBytes
        << " bytes); after dispose + destroyInstance " << footprint.bytesLeftAfterDestroy
        << " bytes remain\n";
    out << "I2C clocks: read " << I2c::readClocks(3) << " (3 bytes), write " << I2c::writeClocks(3)
        << " (3 bytes), " << I2c::writeClocks(1) << " (1 byte)\n";
    return out.str();
}

std::string summary(const std::vector<Measurement>& rows, const Baseline& baseline) {
    std::ostringstream out;
    int judged = 0;
    int missed = 0;
    for (const Measurement& m : rows) {
        const Verdict verdict = judge(m, baseline);
        if (verdict.text.empty()) {
            continue;
        }
        ++judged;
        if (!verdict.met) {
            ++missed;
            out << "MISSED: " << m.name << " (" << verdict.text << ", plug-in CPU "
                << nanoseconds(ownNanoseconds(m, baseline)) << " ns, " << m.heap.allocations
                << " allocations)\n";
        }
    }
    out << "Targets met: " << judged - missed << " of " << judged << "\n";
    return out.str();
}

std::string cpuModel() {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            if (colon != std::string::npos) {
                return line.substr(line.find_first_not_of(' ', colon + 1));
            }
        }
    }
    return "unknown";
}

}  // namespace Lumivor::Bench
