#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "host/RangeDecoder.h"
#include "tool/CtlRunner.h"
#include "tool/ReferenceHost.h"

namespace Lumivor::Testing {
namespace {

using ::testing::HasSubstr;
using Json = nlohmann::json;

Json parsedJson(const CtlRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    try {
        return Json::parse(run.out);
    } catch (const Json::parse_error& error) {
        ADD_FAILURE() << error.what() << "\n" << run.out;
        return Json();
    }
}

// A float as the tool's JSON carries it: a number, or a string for the non-finite ones.
float jsonFloat(const Json& json) {
    return json.is_string() ? std::strtof(json.get<std::string>().c_str(), nullptr)
                            : json.get<float>();
}

void expectSameFloat(float actual, float expected, const std::string& what) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << what;
    } else {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(actual), std::bit_cast<std::uint32_t>(expected))
            << what << ": " << actual << " vs " << expected;
    }
}

TEST(CtlInfo, TextAndJsonReportTheIdentityThePluginAnswers) {
    const CtlRun text = runCtl({"info"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("plug-in version      0.1.0\n"));
    EXPECT_THAT(text.out, HasSubstr("SDK version          1.9.0.5\n"));
    EXPECT_THAT(text.out,
                HasSubstr("GUID                 {5E3B9D41-7C2A-4F86-A1D0-2B6C8E94F713}\n"));
    EXPECT_THAT(text.out, HasSubstr("implementation type  9\n"));
    EXPECT_THAT(text.out, HasSubstr("module               type 0x102 version 0x2000\n"));
    EXPECT_THAT(text.out, HasSubstr("phase count          4 (dealiasing off)\n"));
    EXPECT_THAT(text.out, HasSubstr("phase scaling        1\n"));

    const Json json = parsedJson(runCtl({"info", "--format", "json"}));
    ReferenceHost reference;
    float scaling = 0;
    ASSERT_EQ(reference.api.getPhaseScaling(reference.instance, &scaling), 0);
    EXPECT_EQ(json["pluginVersion"], "0.1.0");
    EXPECT_EQ(json["sdkVersion"], "1.9.0.5");
    EXPECT_EQ(json["guid"], "{5E3B9D41-7C2A-4F86-A1D0-2B6C8E94F713}");
    EXPECT_EQ(json["implementationType"], reference.api.getImplType());
    EXPECT_EQ(json["moduleKey"], Json::array({0x451, 0x9100, 0, 0}));
    EXPECT_EQ(json["components"]["module"]["type"], 0x102);
    EXPECT_EQ(json["components"]["sensor board"]["version"], 0x1100);
    EXPECT_EQ(json["phaseCount"], 4);
    expectSameFloat(jsonFloat(json["phaseScaling"]), scaling, "phase scaling");
}

TEST(CtlList, EveryParameterWithTheUnitAccessRangeAndValueThePluginGives) {
    const Json list = parsedJson(runCtl({"list", "--format", "json"}));
    ASSERT_EQ(list.size(), 16u);
    ReferenceHost reference;
    const auto& api = reference.api;
    const std::map<std::uint32_t, std::string> units{
        {1, "none"}, {2, "ms"}, {3, "MHz"}, {5, "m"}, {6, "%"}};
    const std::map<std::uint32_t, std::string> modes{
        {1, "read-write"}, {2, "read-only"}, {3, "write-only"}};
    for (std::uint32_t id = 0; id < 16; ++id) {
        const Json& row = list[id];
        SCOPED_TRACE(row.dump());
        EXPECT_EQ(row["id"], id);
        std::uint32_t unit = 0, access = 0;
        ASSERT_EQ(api.getUnitType(reference.instance, id, &unit), 0);
        ASSERT_EQ(api.getAccessMode(reference.instance, id, &access), 0);
        EXPECT_EQ(row["unit"], units.at(unit));
        EXPECT_EQ(row["access"], modes.at(access));

        std::uint32_t size = 64;
        std::vector<std::uint8_t> bytes(size);
        if (api.getParameterRange(reference.instance, id, bytes.data(), &size) != 0) {
            EXPECT_TRUE(row["range"].is_null());
        } else {
            bytes.resize(size);
            const auto decoded = RangeWire::decodeRange(bytes);
            ASSERT_TRUE(decoded) << decoded.error;
            const auto& numbers = decoded.range->numbers;
            if (const auto* set = std::get_if<std::vector<int>>(&numbers)) {
                EXPECT_EQ(row["range"]["values"], Json(*set));
            } else if (const auto* f = std::get_if<RangeWire::Bounds<float>>(&numbers)) {
                expectSameFloat(jsonFloat(row["range"]["min"]), f->minimum, "min");
                expectSameFloat(jsonFloat(row["range"]["max"]), f->maximum, "max");
                expectSameFloat(jsonFloat(row["range"]["step"]), f->step, "step");
            } else if (const auto* r = std::get_if<RangeWire::RegionBounds>(&numbers)) {
                EXPECT_EQ(row["range"]["x"]["max"], r->x.maximum);
                EXPECT_EQ(row["range"]["width"]["min"], r->width.minimum);
                EXPECT_EQ(row["range"]["width"]["step"], r->width.step);
                EXPECT_EQ(row["range"]["height"]["max"], r->height.maximum);
            } else {
                ADD_FAILURE() << "unexpected range kind";
            }
        }
        if (access == 3) {
            EXPECT_TRUE(row["value"].is_null());
        }
    }
    EXPECT_EQ(list[13]["value"], (Json{{"x", 0}, {"y", 0}, {"width", 320}, {"height", 240}}));
    EXPECT_EQ(list[4]["value"], 4);
    EXPECT_EQ(list[7]["value"], false);
}

TEST(CtlList, TextHasOneLinePerParameterWithRangesInTheirThreeShapes) {
    const CtlRun run = runCtl({"list"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_THAT(lines[3], HasSubstr("FrameRate  3 (float ) unit=none read-write : min=0 max=60 "
                                    "step=0.01 value=30"));
    EXPECT_THAT(lines[4], HasSubstr(": values=1,2,4,8 value=4"));
    EXPECT_THAT(lines[13], HasSubstr(": x=0..303/16 y=0..239/1 width=16..320/16 height=1..240/1 "
                                     "value=0,0,320,240"));
    EXPECT_THAT(lines[0], HasSubstr("unit=%    write-only : min=0 max=100 step=0.1 "
                                    "value=write-only"));
    EXPECT_THAT(lines[12], HasSubstr("Range 12 (float ) unit=m    read-only  : value="));
}

TEST(CtlGet, NamesInAnyCaseAndIdsInDecimalOrHexNameTheSameParameter) {
    const CtlRun run = runCtl({"get", "IntegrationTime", "integrationtime", "5", "0x5", "0X05"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 5u);
    for (const std::string& line : lines) {
        EXPECT_EQ(line, lines[0]);
    }
    EXPECT_THAT(lines[0], HasSubstr("IntegrationTime: "));
}

// Text and JSON carry every readable value without losing a bit.
TEST(CtlGet, EveryReadableValueMatchesTheExportsInTextAndJson) {
    ReferenceHost reference;
    const auto& api = reference.api;
    const std::vector<std::string> ids{"3",  "4",  "5",  "6",  "7",  "8", "9",
                                       "10", "11", "12", "13", "14", "15"};
    std::vector<std::string> args{"get"};
    args.insert(args.end(), ids.begin(), ids.end());
    const CtlRun text = runCtl(args);
    ASSERT_EQ(text.status, 0) << text.err;
    const auto lines = linesOf(text.out);
    args.insert(args.begin(), {"--format", "json"});
    const Json json = parsedJson(runCtl(args));
    ASSERT_EQ(lines.size(), ids.size());
    ASSERT_EQ(json.size(), ids.size());

    for (std::size_t i = 0; i < ids.size(); ++i) {
        const auto id = static_cast<std::uint32_t>(std::stoul(ids[i]));
        const std::string shown = lines[i].substr(lines[i].find(": ") + 2);
        const Json& value = json[i]["value"];
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(json[i]["id"], id);
        const std::string type = json[i]["type"];
        if (type == "float") {
            float expected = 0;
            ASSERT_EQ(api.readFloat(reference.instance, id, &expected), 0);
            expectSameFloat(std::strtof(shown.c_str(), nullptr), expected, "text");
            expectSameFloat(jsonFloat(value), expected, "json");
        } else if (type == "int") {
            std::int32_t expected = 0;
            ASSERT_EQ(api.readInt(reference.instance, id, &expected), 0);
            EXPECT_EQ(shown, std::to_string(expected));
            EXPECT_EQ(value, expected);
        } else if (type == "bool") {
            bool expected = true;
            ASSERT_EQ(api.readBool(reference.instance, id, &expected), 0);
            EXPECT_EQ(shown, expected ? "true" : "false");
            EXPECT_EQ(value, expected);
        } else {
            RegionOfInterestInternal expected{};
            ASSERT_EQ(api.getRegionOfInterest(reference.instance, &expected), 0);
            EXPECT_EQ(shown, std::to_string(expected.x) + "," + std::to_string(expected.y) + "," +
                                 std::to_string(expected.width) + "," +
                                 std::to_string(expected.height));
            EXPECT_EQ(value["width"], expected.width);
        }
    }
}

// The tool's value type for each identifier must be the one the plug-in takes; a mismatch is
// refused by the plug-in with InvalidArgument.
TEST(CtlGet, TheToolReadsEveryParameterWithTheTypeThePluginExpects) {
    for (int id = 0; id < 16; ++id) {
        const CtlRun run = runCtl({"get", std::to_string(id)});
        SCOPED_TRACE(run.err);
        EXPECT_THAT(run.err, ::testing::Not(HasSubstr("InvalidArgument")));
        EXPECT_EQ(run.status, id <= 2 ? 1 : 0);
    }
}

TEST(CtlSet, ValuesReadBackAsWrittenAcrossTypes) {
    ScratchDir dir;
    const std::string image = dir.file("image");
    const CtlRun set =
        runCtl({"--image", image, "set", "MicroFrameNumber=0x8", "StreamEnable=on",
                "MixingSignalsMode=2", "IlluminationMode=1", "RawOutputMode=3", "FrameRate=+12.5"});
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "");
    const CtlRun get =
        runCtl({"--image", image, "get", "MicroFrameNumber", "StreamEnable", "MixingSignalsMode",
                "IlluminationMode", "RawOutputMode", "FrameRate"});
    ASSERT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(get.out,
              "MicroFrameNumber: 8\nStreamEnable: true\nMixingSignalsMode: 2\n"
              "IlluminationMode: 1\nRawOutputMode: 3\nFrameRate: 12.5\n");
    EXPECT_EQ(runCtl({"--image", image, "set", "StreamEnable=false"}).status, 0);
    EXPECT_EQ(runCtl({"--image", image, "get", "StreamEnable"}).out, "StreamEnable: false\n");
}

TEST(CtlDemo, TourRunsEveryStepAsExpected) {
    const CtlRun run = runCtl({"demo"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    for (const char* command : {"$ vexar-ctl info", "$ vexar-ctl list", "$ vexar-ctl state load",
                                "$ vexar-ctl calib read", "$ vexar-ctl regs --diff",
                                "$ vexar-ctl --trace get FrameRate"}) {
        EXPECT_THAT(run.out, HasSubstr(command));
    }
    EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace Lumivor::Testing
