// Per-operation cost of the plug-in on a zero-cost bus: CPU time, bus traffic and heap use of
// every export, printed as one table. The benchmark's own report goes to stderr, the table to
// stdout. Google Benchmark's flags apply (--benchmark_filter, --benchmark_min_time, ...).

#include <benchmark/benchmark.h>

#include <array>
#include <ctime>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "bench/HeapCounter.h"
#include "bench/Operations.h"
#include "bench/Report.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace {

using namespace Lumivor::Bench;

constexpr const char* kCreate = "createInstance + initialize";
constexpr const char* kDestroy = "dispose + destroyInstance";
// Instances made per timed stretch of the lifecycle benchmarks: the clock is read twice per
// stretch, and that cost is spread over this many.
constexpr std::size_t kBatch = 16;

// CPU time of this thread: other work on a shared machine does not count against the figures.
double threadNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

void setCounters(benchmark::State& state, const BusTraffic& traffic, const HeapCounts& heap) {
    state.counters["reads"] = static_cast<double>(traffic.reads);
    state.counters["writes"] = static_cast<double>(traffic.writes);
    state.counters["byte_writes"] = static_cast<double>(traffic.byteWrites);
    state.counters["clocks"] = static_cast<double>(traffic.clocks);
    state.counters["allocs"] = static_cast<double>(heap.allocations);
    state.counters["alloc_bytes"] = static_cast<double>(heap.bytes);
}

// One call is counted exactly, after a first one that lets lazily made things settle; then
// the benchmark times the call over and over on the same instance.
void measureOperation(benchmark::State& state, const Operation& operation) {
    PluginOnBus plugin;
    if (operation.prepare != nullptr) {
        operation.prepare(plugin);
    }
    std::int32_t status = operation.run(plugin);
    plugin.bus.clearTraffic();
    HeapCounts heap;
    {
        HeapScope scope;
        status |= operation.run(plugin);
        heap = scope.counts();
    }
    const BusTraffic traffic = plugin.bus.traffic();
    if (status != 0) {
        state.SkipWithError(("the call failed with " + std::to_string(status)).c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(operation.run(plugin));
    }
    setCounters(state, traffic, heap);
}

void measureCreate(benchmark::State& state) {
    ZeroCostBus bus;
    std::array<void*, kBatch> instances{};
    HeapCounts heap;
    std::uint64_t made = 0;
    for (auto _ : state) {
        Heap::clearCounts();
        Heap::startCounting();
        const double start = threadNanoseconds();
        for (void*& instance : instances) {
            instance = createAndInitialize(bus);
        }
        const double stop = threadNanoseconds();
        Heap::stopCounting();
        heap.allocations += Heap::counts().allocations;
        heap.bytes += Heap::counts().bytes;
        made += kBatch;
        state.SetIterationTime((stop - start) * 1e-9 / kBatch);
        for (void* instance : instances) {
            disposeAndDestroy(instance);
        }
    }
    setCounters(state, bus.traffic(), HeapCounts{heap.allocations / made, heap.bytes / made});
}

void measureDestroy(benchmark::State& state) {
    ZeroCostBus bus;
    std::array<void*, kBatch> instances{};
    HeapCounts heap;
    for (auto _ : state) {
        for (void*& instance : instances) {
            instance = createAndInitialize(bus);
        }
        Heap::clearCounts();
        Heap::startCounting();
        const double start = threadNanoseconds();
        for (void* instance : instances) {
            disposeAndDestroy(instance);
        }
        const double stop = threadNanoseconds();
        Heap::stopCounting();
        heap.allocations += Heap::counts().allocations;
        heap.bytes += Heap::counts().bytes;
        state.SetIterationTime((stop - start) * 1e-9 / kBatch);
    }
    setCounters(state, bus.traffic(), heap);
}

// What an initialised instance holds on the heap, and what is left once it is gone.
Footprint measureFootprint() {
    ZeroCostBus bus;
    disposeAndDestroy(createAndInitialize(bus));  // anything made once per process
    Footprint footprint;
    footprint.objectBytes = sizeof(Lumivor::VEXAR_ParamInterp_YORINDImpl);
    const std::uint64_t bytesBefore = Heap::liveBytes();
    const std::uint64_t blocksBefore = Heap::liveBlocks();
    void* instance = createAndInitialize(bus);
    footprint.instanceBytes = Heap::liveBytes() - bytesBefore;
    footprint.instanceBlocks = Heap::liveBlocks() - blocksBefore;
    disposeAndDestroy(instance);
    footprint.bytesLeftAfterDestroy = Heap::liveBytes() - bytesBefore;
    return footprint;
}

// Keeps every run for the table while the console shows them as usual.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration || median) {
                runs_[run.run_name.function_name] = run;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    const Run* find(const std::string& name) const {
        const auto it = runs_.find(name);
        return it == runs_.end() || it->second.error_occurred ? nullptr : &it->second;
    }

  private:
    std::map<std::string, Run> runs_;
};

Measurement fromRun(const benchmark::BenchmarkReporter::Run& run, const std::string& name,
                    const std::string& group, Target target, bool mustNotAllocate, bool inLoop) {
    auto counter = [&](const char* key) {
        const auto it = run.counters.find(key);
        return it == run.counters.end() ? 0 : static_cast<std::uint64_t>(it->second.value);
    };
    Measurement m;
    m.name = name;
    m.group = group;
    m.target = target;
    m.mustNotAllocate = mustNotAllocate;
    m.traffic =
        BusTraffic{counter("reads"), counter("writes"), counter("byte_writes"), counter("clocks")};
    m.heap = HeapCounts{counter("allocs"), counter("alloc_bytes")};
    m.cpuNanoseconds = inLoop ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
    m.inLoop = inLoop;
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    for (const Operation& operation : operations()) {
        benchmark::RegisterBenchmark(operation.name, [&operation](benchmark::State& state) {
            measureOperation(state, operation);
        })->Unit(benchmark::kNanosecond);
    }
    benchmark::RegisterBenchmark(kCreate, measureCreate)
        ->UseManualTime()
        ->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark(kDestroy, measureDestroy)
        ->UseManualTime()
        ->Unit(benchmark::kNanosecond);

    const Footprint footprint = measureFootprint();
    CollectingReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::vector<Measurement> rows;
    for (const Operation& operation : operations()) {
        if (const auto* run = reporter.find(operation.name)) {
            rows.push_back(fromRun(*run, operation.name, operation.group, operation.target,
                                   operation.mustNotAllocate, true));
        }
    }
    for (const char* name : {kCreate, kDestroy}) {
        if (const auto* run = reporter.find(name)) {
            rows.push_back(fromRun(*run, name, "lifecycle",
                                   name == kCreate ? Target::Lifecycle : Target::None, false,
                                   false));
        }
    }

    const Baseline baseline = baselineOf(rows);
    std::cout << header(cpuModel(), baseline, footprint) << "\n"
              << table(rows, baseline) << "\n"
              << summary(rows, baseline);
    return 0;
}
