#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "host/ROM.h"
#include "tool/CtlRunner.h"

namespace Lumivor::Testing {
namespace {

using ::testing::HasSubstr;
using Json = nlohmann::json;

constexpr const char* kRecord = R"({
  "phaseOffset1": {"offset": 1000},
  "phaseOffset2": {"offset": -7},
  "temperatureCalibration1": {"values": [25.7, 40.2]},
  "temperatureCompensation1": {"kind": 3, "values": [1.25, -1.25]}
})";

class CtlCalibration : public ::testing::Test {
  protected:
    CtlRun ctl(std::vector<std::string> args) {
        args.insert(args.begin(), {"--image", image});
        return runCtl(args);
    }
    ScratchDir dir;
    std::string image = dir.file("camera.img");
};

TEST_F(CtlCalibration, JsonGoesInAndComesBackAsTheSensorHoldsIt) {
    dir.write("in.json", kRecord);
    const CtlRun write = ctl({"calib", "write", dir.file("in.json")});
    ASSERT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(write.out, "");

    const CtlRun read = ctl({"calib", "read", "--json", dir.file("out.json")});
    ASSERT_EQ(read.status, 0) << read.err;
    const Json json = Json::parse(dir.read("out.json"));
    EXPECT_EQ(json["phaseOffset1"]["offset"], 1000);
    EXPECT_EQ(json["phaseOffset2"]["offset"], -8);
    EXPECT_EQ(json["temperatureCalibration1"]["values"], Json::array({25.0, 40.0}));
    EXPECT_EQ(json["temperatureCompensation1"]["kind"], 3);
    EXPECT_EQ(json["temperatureCompensation1"]["values"], Json::array({1.5, -1.5}));
    EXPECT_EQ(json["phaseOffset1"]["state"], 2);
}

TEST_F(CtlCalibration, BinaryAndJsonFormsOfOneRecordAreInterchangeable) {
    dir.write("in.json", kRecord);
    ASSERT_EQ(ctl({"calib", "write", dir.file("in.json")}).status, 0);
    ASSERT_EQ(ctl({"calib", "read", dir.file("a.bin")}).status, 0);
    ASSERT_EQ(ctl({"calib", "read", "--json", dir.file("a.json")}).status, 0);

    // The binary file is the host library's record, byte for byte.
    const std::string bytes = dir.read("a.bin");
    const std::vector<std::uint8_t> record(bytes.begin(), bytes.end());
    std::unique_ptr<ROM::Configuration> parsed(ROM::Configuration::deserialize(
        record, 0,
        [](void*, ROM::ContainerSectionType, std::uint16_t) -> ROM::Object* {
            return new ROM::Configuration;
        },
        nullptr));
    ASSERT_NE(parsed, nullptr);
    EXPECT_EQ(parsed->phaseOffset1().offset(), 1000);
    EXPECT_EQ(parsed->serialize(), record);

    // Writing either form back and reading again gives the same bytes.
    for (const char* file : {"a.bin", "a.json"}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(
            runCtl({"--image", dir.file("fresh.img"), "calib", "write", dir.file(file)}).status, 0);
        ASSERT_EQ(
            runCtl({"--image", dir.file("fresh.img"), "calib", "read", dir.file("b.bin")}).status,
            0);
        EXPECT_EQ(dir.read("b.bin"), bytes);
        std::filesystem::remove(dir.file("fresh.img"));
    }
}

TEST_F(CtlCalibration, StandardStreamsCarryTheRecord) {
    const CtlRun write = runCtl({"--image", image, "calib", "write", "-"}, kRecord);
    ASSERT_EQ(write.status, 0) << write.err;
    const CtlRun read = ctl({"calib", "read", "-"});
    ASSERT_EQ(read.status, 0);
    EXPECT_EQ(read.out.substr(0, 4), "LVRC");
    ASSERT_EQ(ctl({"calib", "read", dir.file("c.bin")}).status, 0);
    EXPECT_EQ(read.out, dir.read("c.bin"));
}

TEST_F(CtlCalibration, CompensationKindZeroComesBackWithEmptyLists) {
    dir.write("off.json", R"({"phaseOffset1": {"offset": 16}, "temperatureCompensation1": {}})");
    ASSERT_EQ(ctl({"calib", "write", dir.file("off.json")}).status, 0);
    const CtlRun read = ctl({"calib", "read", "--json", "-"});
    const Json json = Json::parse(read.out);
    EXPECT_EQ(json["phaseOffset1"]["offset"], 16);
    EXPECT_EQ(json["temperatureCompensation1"]["kind"], 0);
    EXPECT_TRUE(json["temperatureCalibration1"]["values"].empty());
}

class CtlCalibrationRefusal : public ::testing::TestWithParam<FileRefusal> {};

TEST_P(CtlCalibrationRefusal, IsReportedAndTheSensorKeepsItsCalibration) {
    ScratchDir dir;
    const std::string image = dir.file("camera.img");
    dir.write("bad", GetParam().file);
    const CtlRun run = runCtl({"--image", image, "calib", "write", dir.file("bad")});
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_THAT(run.err, HasSubstr(GetParam().message));
    EXPECT_EQ(dir.read("camera.img"), "");
}

const FileRefusal kCalibrationRefusals[] = {
    {"LVRC this is no record", 1, "InvalidArgument (-4): failed to unmarshal calibration"},
    {R"({"temperatureCalibration1": {"values": [256, 20]},
        "temperatureCompensation1": {"kind": 3, "values": [1, 2]}})",
     1, "OutOfRange (-5): illumination calibration must be less than 255 degree Celsius"},
    {R"({"temperatureCalibration1": {"values": [20, 20]},
        "temperatureCompensation1": {"kind": 3, "values": [1, 2, 3]}})",
     1, "InvalidArgument (-4): expecting 2 reference temperatures"},
    {R"({"phaseOffset1": {"offset": 40000}})", 2,
     "calibration phaseOffset1: offset must be a whole number from -32768 to 32767"},
    {R"({"phaseOffset3": {"offset": 1}})", 2,
     "calibration record: unknown member \"phaseOffset3\""},
    {R"({"phaseOffset1": {"ofset": 1}})", 2, "calibration phaseOffset1: unknown member \"ofset\""},
    {R"({"temperatureCalibration1": {"values": [20, "warm"]}})", 2,
     "calibration temperatureCalibration1: values must be numbers"},
    {R"({"temperatureCalibration1": {"values": [1e39]}})", 2,
     "calibration temperatureCalibration1: values must be numbers"},
    {R"({"phaseOffset1": )", 2, "is not JSON"},
};
INSTANTIATE_TEST_SUITE_P(Files, CtlCalibrationRefusal, ::testing::ValuesIn(kCalibrationRefusals));

TEST(CtlCalibrationFiles, JsonIsInsistedOnWithTheFlagAndMissingFilesAreNamed) {
    ScratchDir dir;
    dir.write("record.bin", "LVRC");
    const CtlRun insisted = runCtl({"calib", "write", "--json", dir.file("record.bin")});
    EXPECT_EQ(insisted.status, 2);
    EXPECT_THAT(insisted.err, HasSubstr("record.bin is not JSON"));

    const CtlRun missing = runCtl({"calib", "write", dir.file("absent.json")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "vexar-ctl: cannot read " + dir.file("absent.json") + "\n");

    const CtlRun unwritable = runCtl({"calib", "read", dir.file("no/such/dir")});
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_EQ(unwritable.err, "vexar-ctl: cannot write " + dir.file("no/such/dir") + "\n");
}

}  // namespace
}  // namespace Lumivor::Testing
