#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tool/CtlRunner.h"

namespace Lumivor::Testing {
namespace {

using ::testing::HasSubstr;
using Json = nlohmann::ordered_json;

// A module away from its power-on settings, kept in an image file.
class CtlState : public ::testing::Test {
  protected:
    void SetUp() override {
        const CtlRun set = ctl({"set", "MicroFrameNumber=8", "FrameRate=20",
                                "ModulationFrequency=20", "IntegrationTime=1", "RawOutputMode=2",
                                "IlluminationMode=1", "MixingSignalsMode=3"});
        ASSERT_EQ(set.status, 0) << set.err;
    }
    CtlRun ctl(std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), {"--image", image});
        return runCtl(args, input);
    }
    CtlRun fresh(std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), {"--image", dir.file("fresh.img")});
        return runCtl(args, input);
    }
    ScratchDir dir;
    std::string image = dir.file("camera.img");
};

TEST_F(CtlState, BinaryHoldsOneRecordPerReportedParameterInIdOrder) {
    const CtlRun save = ctl({"state", "save", dir.file("s.bin")});
    ASSERT_EQ(save.status, 0) << save.err;
    const std::string bytes = dir.read("s.bin");
    ASSERT_EQ(bytes.size(), 71u);
    // Identifier bytes at the record starts: floats and ints 5 bytes, bools 2, the region 9.
    const std::vector<std::pair<std::size_t, int>> starts{
        {0, 0},  {5, 1},  {10, 2}, {15, 3},  {20, 4},  {25, 5},  {30, 6},
        {35, 7}, {37, 8}, {42, 9}, {47, 10}, {52, 11}, {57, 13}, {66, 15}};
    for (const auto& [at, id] : starts) {
        EXPECT_EQ(static_cast<unsigned char>(bytes[at]), id) << "at " << at;
    }
    // MicroFrameNumber as written, little-endian.
    EXPECT_EQ(bytes.substr(21, 4), std::string("\x08\x00\x00\x00", 4));
}

TEST_F(CtlState, SavedStateRestoresOnAFreshModuleToTheSameState) {
    ASSERT_EQ(ctl({"state", "save", dir.file("s.bin")}).status, 0);
    const CtlRun load = fresh({"state", "load", dir.file("s.bin")});
    ASSERT_EQ(load.status, 0) << load.err;
    ASSERT_EQ(fresh({"state", "save", dir.file("again.bin")}).status, 0);
    EXPECT_EQ(dir.read("again.bin"), dir.read("s.bin"));
    const std::vector<std::string> get{"get",           "MicroFrameNumber",
                                       "FrameRate",     "ModulationFrequency",
                                       "RawOutputMode", "MixingSignalsMode"};
    EXPECT_EQ(fresh(get).out, ctl(get).out);
}

TEST_F(CtlState, JsonNamesEveryRecordAndLoadsBackToTheSameBytes) {
    ASSERT_EQ(ctl({"state", "save", dir.file("s.bin")}).status, 0);
    const CtlRun save = ctl({"state", "save", "--json", "-"});
    ASSERT_EQ(save.status, 0) << save.err;
    const Json json = Json::parse(save.out);
    ASSERT_EQ(json.size(), 14u);
    EXPECT_EQ(json.begin().key(), "LeftIlluminationVoltage");
    EXPECT_EQ(json["MixingVoltage"], 50.0);  // the voltages are not read back
    EXPECT_EQ(json["MicroFrameNumber"], 8);
    // Raw output mode 2 doubles the frame period, so the rate written as 20 reads 40.
    EXPECT_EQ(ctl({"get", "FrameRate"}).out, "FrameRate: 40\n");
    EXPECT_EQ(json["FrameRate"], 40.0);
    EXPECT_EQ(json["DealiasingOn"], false);
    EXPECT_EQ(json["RegionOfInterest"],
              (Json{{"x", 0}, {"y", 0}, {"width", 320}, {"height", 240}}));
    EXPECT_FALSE(json.contains("Range"));
    EXPECT_FALSE(json.contains("StreamEnable"));

    const CtlRun load = fresh({"state", "load", "-"}, save.out);
    ASSERT_EQ(load.status, 0) << load.err;
    ASSERT_EQ(fresh({"state", "save", dir.file("from-json.bin")}).status, 0);
    EXPECT_EQ(dir.read("from-json.bin"), dir.read("s.bin"));
}

TEST_F(CtlState, AnEditedJsonStateWritesWhatTheExportsCannot) {
    ASSERT_EQ(ctl({"state", "save", "--json", dir.file("s.json")}).status, 0);
    Json json = Json::parse(dir.read("s.json"));
    json["RegionOfInterest"] = {{"x", 64}, {"y", 48}, {"width", 160}, {"height", 120}};
    json["DealiasingOn"] = true;
    json["ModulationFrequency"] = 30;
    json["DealiasingFrequency"] = 20;
    dir.write("edited.json", json.dump());
    const CtlRun load = ctl({"state", "load", "--json", dir.file("edited.json")});
    ASSERT_EQ(load.status, 0) << load.err;
    EXPECT_EQ(ctl({"get", "RegionOfInterest", "DealiasingOn"}).out,
              "RegionOfInterest: 64,48,160,120\nDealiasingOn: true\n");
    EXPECT_EQ(ctl({"get", "DealiasingFrequency"}).out, "DealiasingFrequency: 20\n");
    EXPECT_THAT(ctl({"info"}).out, HasSubstr("phase count          6 (dealiasing on)\n"));
}

class CtlStateRefusal : public ::testing::TestWithParam<FileRefusal> {};

TEST_P(CtlStateRefusal, IsReportedWithItsReason) {
    ScratchDir dir;
    dir.write("state", GetParam().file);
    const CtlRun run = runCtl({"state", "load", dir.file("state")});
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_THAT(run.err, HasSubstr(GetParam().message));
}

const FileRefusal kStateRefusals[] = {
    {std::string("\x10\x00\x00\x00\x00", 5), 1, "failed to unmarshal data"},
    {std::string("\x03\x00\x00\xa0\x41", 5), 1,
     "InvalidArgument (-4): system state lacks parameter"},
    {std::string("\x03\x00\x00", 3), 1, "failed to unmarshal data"},
    {R"({"Brightness": 3})", 2, "state names an unknown parameter \"Brightness\""},
    {R"({"MicroFrameNumber": 2.5})", 2, "state value of MicroFrameNumber is not an int: 2.5"},
    {R"({"DealiasingOn": 1})", 2, "state value of DealiasingOn is not a bool: 1"},
    {R"({"RegionOfInterest": {"x": 0, "y": 0, "width": 70000, "height": 1}})", 2,
     "is not a region of fields 0 to 65535"},
    {R"({"RegionOfInterest": [0, 0, 320, 240]})", 2, "is not a region"},
    {R"({"FrameRate": "fast"})", 2, "state value of FrameRate is not a float: \"fast\""},
    {"{ nope", 2, "is not JSON"},
};
INSTANTIATE_TEST_SUITE_P(Files, CtlStateRefusal, ::testing::ValuesIn(kStateRefusals));

TEST(CtlStateModes, AStateWithModesThatDoNotGoTogetherIsRefusedByThePlugin) {
    ScratchDir dir;
    ASSERT_EQ(runCtl({"state", "save", "--json", dir.file("s.json")}).status, 0);
    Json json = Json::parse(dir.read("s.json"));
    json["MixingSignalsMode"] = 0;
    json["IlluminationMode"] = 1;
    dir.write("s.json", json.dump());
    const CtlRun run = runCtl({"state", "load", dir.file("s.json")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "vexar-ctl: state load " + dir.file("s.json") +
                           ": InvalidArgument (-4): incompatible Mixing signals mode and "
                           "Illumination mode\n");
}

}  // namespace
}  // namespace Lumivor::Testing
