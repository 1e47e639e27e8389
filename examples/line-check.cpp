// A production-line check on the client library: open the module, set the settings a line
// uses, verify what the module holds, keep the state, and print the bus trace when a check
// fails. Run it with no argument for the simulated module, or give where the module is:
// "image:PATH" or "/dev/i2c-1".
#include <cmath>
#include <cstdio>
#include <vexar/camera.hpp>

namespace {
struct Setting {
    const char* name;
    vexar::Value value;
    double tolerance;  // what quantisation to register steps may take off
};
}  // namespace

int main(int argc, char** argv) {
    const char* where = argc > 1 ? argv[1] : "sim";
    try {
        vexar::Camera camera = vexar::Camera::open(where);
        // One hold: no other process gets between the settings and their checks.
        vexar::Hold hold = camera.hold();
        camera.clearTransactions();
        const Setting settings[] = {{"ModulationFrequency", 20.0f, 0},
                                    {"MicroFrameNumber", 2, 0},
                                    {"FrameRate", 25.0f, 0},
                                    {"IntegrationTime", 0.4f, 0.1}};
        int failed = 0;
        for (const Setting& setting : settings) {
            const vexar::Applied applied = camera.set(setting.name, setting.value);
            const bool close =
                applied.applied && (applied.applied->isFloat()
                                        ? std::fabs(applied.applied->asFloat() -
                                                    setting.value.asFloat()) <= setting.tolerance
                                        : *applied.applied == setting.value);
            std::printf("%-20s %-8s -> %-10s %s%s\n", setting.name,
                        applied.requested.toString().c_str(),
                        applied.applied ? applied.applied->toString().c_str() : "(write-only)",
                        close ? "ok" : "FAILED",
                        applied.outsideAdvertisedRange ? " (outside the advertised range)" : "");
            failed += close ? 0 : 1;
        }
        const vexar::Timing timing = camera.timing();
        std::printf("frame %.3f ms: %d micro-frames of %.3f ms, %.4f ms integration each\n",
                    timing.framePeriod, timing.microFrames, timing.microFramePeriod,
                    timing.integration);
        if (!vexar::Camera::unloadable(camera.saveState()).empty()) {
            std::printf("the state cannot be loaded back\n");
            ++failed;
        }
        if (failed != 0) {
            for (const vexar::Transaction& t : camera.transactions()) {
                std::printf("  %s\n", t.toString().c_str());
            }
        }
        hold.release();
        std::printf("%s\n", failed == 0 ? "PASS" : "FAIL");
        return failed == 0 ? 0 : 1;
    } catch (const vexar::Error& error) {
        std::fprintf(stderr, "line-check: %s\n", error.what());
        return vexar::kindInfo(error.kind()).exitStatus;  // as vexar-ctl exits
    }
}
