// The calls python/bench/bench.py times from Python, made through the C++ client library on
// the simulated module, so that the two columns differ by what the binding adds alone.

#include <benchmark/benchmark.h>

#include <vexar/camera.hpp>

namespace {

void getFrameRate(benchmark::State& state) {
    vexar::Camera camera = vexar::Camera::open("sim");
    for (auto _ : state) {
        benchmark::DoNotOptimize(camera.get("FrameRate"));
    }
}
BENCHMARK(getFrameRate);

void setFrameRate(benchmark::State& state) {
    vexar::Camera camera = vexar::Camera::open("sim");
    for (auto _ : state) {
        benchmark::DoNotOptimize(camera.set("FrameRate", 25.0));
    }
}
BENCHMARK(setFrameRate);

}  // namespace

BENCHMARK_MAIN();
