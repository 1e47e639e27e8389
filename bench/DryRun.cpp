// What a dry run of a profile's write costs beyond the reads of the module's registers: on the
// simulated module of this process the registers are seen without a transaction, so the CPU
// time is the dry run's own (the stand-in module, its plug-in instance, the write made there).
// The write itself is timed beside it.

#include <benchmark/benchmark.h>

#include <vexar/camera.hpp>

namespace {

vexar::Camera prepared() {
    vexar::Camera camera = vexar::Camera::open("sim");
    for (const char* voltage :
         {"LeftIlluminationVoltage", "RightIlluminationVoltage", "MixingVoltage"}) {
        camera.set(voltage, 40.0f);
    }
    camera.set("ModulationFrequency", 20.0f);
    return camera;
}

// A write the module can take again and again: the frame rate and the region.
vexar::Profile frameAndRegion() {
    vexar::Profile p;
    p.parameters = {{"FrameRate", vexar::Value(25.0f)},
                    {"RegionOfInterest", vexar::Value(vexar::Region{16, 8, 128, 100})}};
    return p;
}

// One that changes the phase count and every frequency field: a dry run only, which leaves the
// module as it was.
vexar::Profile dealiasingOn() {
    vexar::Profile p = frameAndRegion();
    p.parameters.emplace_back("DealiasingOn", vexar::Value(true));
    p.parameters.emplace_back("DealiasingFrequency", vexar::Value(10.0f));
    return p;
}

void dryRun(benchmark::State& state, vexar::Profile (*made)()) {
    vexar::Camera camera = prepared();
    const vexar::Profile p = made();
    for (auto _ : state) {
        benchmark::DoNotOptimize(camera.dryRun(p));
    }
}
BENCHMARK_CAPTURE(dryRun, frameAndRegion, frameAndRegion)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(dryRun, dealiasingOn, dealiasingOn)->Unit(benchmark::kMicrosecond);

void applyProfile(benchmark::State& state) {
    vexar::Camera camera = prepared();
    const vexar::Profile p = frameAndRegion();
    for (auto _ : state) {
        benchmark::DoNotOptimize(camera.applyProfile(p));
    }
}
BENCHMARK(applyProfile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
