#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tool/CtlRunner.h"

namespace Lumivor::Testing {
namespace {

using ::testing::HasSubstr;

TEST(CtlImage, ASetInOneRunIsWhatTheNextRunReads) {
    ScratchDir dir;
    const std::string image = dir.file("camera.img");
    EXPECT_FALSE(dir.exists("camera.img"));
    ASSERT_EQ(runCtl({"--image", image, "set", "MicroFrameNumber=8"}).status, 0);
    EXPECT_TRUE(dir.exists("camera.img"));
    // The frame period stayed, so twice the micro-frames halve the frame rate.
    EXPECT_EQ(runCtl({"--image", image, "get", "MicroFrameNumber", "FrameRate"}).out,
              "MicroFrameNumber: 8\nFrameRate: 15\n");
    ASSERT_EQ(runCtl({"--image", image, "set", "FrameRate=30"}).status, 0);
    EXPECT_EQ(runCtl({"--image", image, "get", "MicroFrameNumber", "FrameRate"}).out,
              "MicroFrameNumber: 8\nFrameRate: 30\n");
    // Without the image every run starts from the power-on state.
    EXPECT_EQ(runCtl({"get", "MicroFrameNumber"}).out, "MicroFrameNumber: 4\n");
}

TEST(CtlImage, HoldsOnlyWhatDiffersFromPowerOnIncludingTheByteDevices) {
    ScratchDir dir;
    const std::string image = dir.file("camera.img");
    ASSERT_EQ(runCtl({"--image", image, "get", "FrameRate"}).status, 0);
    EXPECT_EQ(dir.read("camera.img"), "");
    ASSERT_EQ(runCtl({"--image", image, "set", "MicroFrameNumber=8", "MixingVoltage=50"}).status,
              0);
    EXPECT_EQ(dir.read("camera.img"), "0x183 0x000084\nbyte 0x28 0x7f\n");
}

TEST(CtlImage, CalibrationAndReadOnlyRunsKeepTheImage) {
    ScratchDir dir;
    const std::string image = dir.file("camera.img");
    dir.write("calib.json",
              R"({"phaseOffset1": {"offset": 1000}, "temperatureCompensation1": {"kind": 0}})");
    ASSERT_EQ(runCtl({"--image", image, "calib", "write", dir.file("calib.json")}).status, 0);
    const std::string written = dir.read("camera.img");
    ASSERT_EQ(runCtl({"--image", image, "list"}).status, 0);
    EXPECT_EQ(dir.read("camera.img"), written);
    const CtlRun read = runCtl({"--image", image, "calib", "read", "--json", "-"});
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_THAT(read.out, HasSubstr("\"offset\": 1000"));
}

TEST(CtlImage, AMalformedImageIsRefusedAndLeftAsItWas) {
    ScratchDir dir;
    const std::string image = dir.file("camera.img");
    dir.write("camera.img", "0x183 0x000084\nthis is not a register\n");
    const CtlRun run = runCtl({"--image", image, "set", "MicroFrameNumber=2"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "vexar-ctl: register image " + image + " is malformed\n");
    EXPECT_EQ(dir.read("camera.img"), "0x183 0x000084\nthis is not a register\n");
}

TEST(CtlImage, AnImageThatCannotBeWrittenIsReported) {
    ScratchDir dir;
    const std::string image = dir.file("no-such-dir/camera.img");
    const CtlRun run = runCtl({"--image", image, "set", "MicroFrameNumber=2"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "vexar-ctl: cannot write register image " + image + "\n");
}

}  // namespace
}  // namespace Lumivor::Testing
