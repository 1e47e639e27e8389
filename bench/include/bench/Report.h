#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench/HeapCounter.h"
#include "bench/Operations.h"
#include "bench/ZeroCostBus.h"

namespace Lumivor::Bench {

// What was measured of one operation: its traffic and heap use per call, counted exactly on
// one call, and its CPU time per call as the benchmark found it.
struct Measurement {
    std::string name;
    std::string group;
    Target target = Target::None;
    bool mustNotAllocate = false;
    BusTraffic traffic;
    HeapCounts heap;
    double cpuNanoseconds = 0.0;
    // Timed call by call in the benchmark's loop, whose own cost is then part of the figure;
    // false for what is timed directly around the calls.
    bool inLoop = true;
};

// The cost of the measuring loop and of the zero-cost bus's callbacks, taken off the CPU
// figures to give the plug-in's own work.
struct Baseline {
    double loopNanoseconds = 0.0;
    double readNanoseconds = 0.0;   // one read callback, loop excluded
    double writeNanoseconds = 0.0;  // one write callback, loop excluded
};

struct Verdict {
    bool met = true;
    std::string text;  // the target as the table states it, or empty when there is none
};

// The baseline from the measurements of the empty call and the two callbacks.
Baseline baselineOf(const std::vector<Measurement>& rows);
// The CPU time of the plug-in alone: the measured time less the loop's and the callbacks'.
double ownNanoseconds(const Measurement& m, const Baseline& baseline);
Verdict judge(const Measurement& m, const Baseline& baseline);

// The markdown table of all measurements, one row each, grouped as given.
std::string table(const std::vector<Measurement>& rows, const Baseline& baseline);

// Facts printed above the table: the processor, the callback costs, the instance's memory.
struct Footprint {
    std::uint64_t objectBytes = 0;  // the instance object itself, of what it holds
    std::uint64_t instanceBytes = 0;
    std::uint64_t instanceBlocks = 0;
    std::uint64_t bytesLeftAfterDestroy = 0;
};
std::string header(const std::string& cpuModel, const Baseline& baseline,
                   const Footprint& footprint);
// The targets missed, one line each, or a line saying all were met.
std::string summary(const std::vector<Measurement>& rows, const Baseline& baseline);

// The processor's model name from /proc/cpuinfo, or "unknown".
std::string cpuModel();

}  // namespace Lumivor::Bench
