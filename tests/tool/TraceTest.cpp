#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tool/CtlRunner.h"
#include "tool/ReferenceHost.h"

namespace Lumivor::Testing {
namespace {

using ::testing::EndsWith;

// --trace must show exactly the traffic that the same calls make on a simulated module of
// the test's own, line for line and in the same count.
TEST(CtlTrace, GetShowsTheReadsOfTheExportLineForLine) {
    ReferenceHost reference;
    float rate = 0;
    ASSERT_EQ(reference.api.readFloat(reference.instance, 3, &rate), 0);
    const CtlRun run = runCtl({"--trace", "get", "FrameRate"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "FrameRate: 30\n");
    EXPECT_EQ(run.err, reference.trace());
    EXPECT_THAT(run.err, EndsWith("\n5 transactions (5 reads, 0 writes)\n"));
}

TEST(CtlTrace, SetShowsReadModifyWritesAndByteWrites) {
    ReferenceHost reference;
    ASSERT_EQ(reference.api.writeFloat(reference.instance, 6, 20.0f), 0);
    ASSERT_EQ(reference.api.writeFloat(reference.instance, 2, 50.0f), 0);
    const CtlRun run = runCtl({"set", "ModulationFrequency=20", "MixingVoltage=50", "--trace"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, reference.trace());
    EXPECT_GT(reference.module.writeCount(), 1u);
}

TEST(CtlTrace, ListCountsOnlyTheReadsOfReadableParameters) {
    ReferenceHost reference;
    const CtlRun run = runCtl({"--trace", "list"});
    EXPECT_EQ(run.status, 0);
    // The write-only voltages (0 to 2) are not read at all. A typed read of the wrong type
    // is refused before any traffic, so trying each type leaves only the real read's traffic.
    for (std::uint32_t id = 3; id < 16; ++id) {
        float f = 0;
        std::int32_t i = 0;
        bool b = false;
        RegionOfInterestInternal r{};
        const auto& api = reference.api;
        if (api.readFloat(reference.instance, id, &f) != 0 &&
            api.readInt(reference.instance, id, &i) != 0 &&
            api.readBool(reference.instance, id, &b) != 0) {
            ASSERT_EQ(api.getRegionOfInterest(reference.instance, &r), 0);
        }
    }
    EXPECT_EQ(run.err, reference.trace());
}

TEST(CtlTrace, StartsFromTheStoredImageAndIsPrintedBeforeARefusal) {
    ScratchDir dir;
    const std::string image = dir.file("camera.img");
    ASSERT_EQ(runCtl({"--image", image, "set", "MicroFrameNumber=8"}).status, 0);
    ReferenceHost reference;
    reference.loadImage(image);
    std::int32_t count = 0;
    ASSERT_EQ(reference.api.readInt(reference.instance, 4, &count), 0);
    ASSERT_EQ(count, 8);
    // Identical bytes on the bus prove that the tool's module started from the same image.
    const CtlRun get = runCtl({"--image", image, "--trace", "get", "MicroFrameNumber"});
    EXPECT_EQ(get.err, reference.trace());

    const CtlRun refused = runCtl({"--trace", "set", "MicroFrameNumber=3"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "0 transactions (0 reads, 0 writes)\n"
              "vexar-ctl: set MicroFrameNumber=3: OutOfRange (-5): failed to write parameter 4\n");
}

TEST(CtlTrace, CalibrationWriteShowsItsTenReadModifyWrites) {
    ScratchDir dir;
    dir.write("calib.json", R"({"phaseOffset1": {"offset": 1000}, "phaseOffset2": {"offset": -8},
        "temperatureCalibration1": {"values": [25, 40]},
        "temperatureCompensation1": {"kind": 3, "values": [1.5, -1.5]}})");
    const CtlRun run = runCtl({"--trace", "calib", "write", dir.file("calib.json")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.err, EndsWith("\n20 transactions (10 reads, 10 writes)\n"));
}

}  // namespace
}  // namespace Lumivor::Testing
