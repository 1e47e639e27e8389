#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>

#include "host/RegionOfInterestInternal.h"
#include "tools/ctl/Errors.h"
#include "tools/ctl/StateRecords.h"
#include "tools/ctl/Values.h"

namespace Lumivor::Ctl {
namespace {

std::uint32_t bitsOf(float f) {
    return std::bit_cast<std::uint32_t>(f);
}

// Floats the tool prints must read back as the very same float, through the command line's
// text and through JSON text alike; a NaN keeps its sign, which the state carries.
TEST(CtlFloatText, EveryFloatSurvivesTextAndJsonBitForBit) {
    std::mt19937 random(20240611);
    std::vector<float> floats{0.0f,
                              -0.0f,
                              0.01f,
                              1e-7f,
                              30.0f,
                              std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::lowest(),
                              std::numeric_limits<float>::min(),
                              std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity()};
    for (int i = 0; i < 200000; ++i) {
        const float f = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
        if (!std::isnan(f)) {
            floats.push_back(f);
        }
    }
    for (const float f : floats) {
        const auto fromText = parseFloat(formatFloat(f));
        ASSERT_TRUE(fromText) << formatFloat(f);
        ASSERT_EQ(bitsOf(*fromText), bitsOf(f)) << formatFloat(f);
        const auto fromJson = floatFromJson(Json::parse(floatToJson(f).dump()));
        ASSERT_TRUE(fromJson) << floatToJson(f).dump();
        ASSERT_EQ(bitsOf(*fromJson), bitsOf(f)) << floatToJson(f).dump();
    }
    const float negativeNan = -std::numeric_limits<float>::quiet_NaN();
    const auto nan = floatFromJson(Json::parse(floatToJson(negativeNan).dump()));
    ASSERT_TRUE(nan);
    EXPECT_TRUE(std::isnan(*nan));
    EXPECT_TRUE(std::signbit(*nan));
    EXPECT_EQ(floatToJson(0.01f).dump(), "0.01");
}

TEST(CtlFloatText, PeopleTypedNumbersAreTakenAndJunkIsNot) {
    EXPECT_EQ(parseFloat("+12.5"), 12.5f);
    EXPECT_EQ(parseFloat("-0.5"), -0.5f);
    EXPECT_EQ(parseFloat("1e1"), 10.0f);
    EXPECT_TRUE(std::isinf(*parseFloat("inf")));
    for (const char* junk : {"", "+", "1.5.2", "12 ", " 12", "0x10", "1e39", "--1", "+-1"}) {
        EXPECT_FALSE(parseFloat(junk)) << '"' << junk << '"';
    }
    EXPECT_FALSE(floatFromJson(Json::parse("1e39")));
    EXPECT_FALSE(floatFromJson(Json("infinity")));
    EXPECT_FALSE(floatFromJson(Json(true)));
}

TEST(CtlWholeNumbers, DecimalAndHexWithinTheirTypesOnly) {
    EXPECT_EQ(parseInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(parseInt("0x7fffffff"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(parseInt("-0x10"), -16);
    EXPECT_EQ(parseUnsigned("0xFFFFFFFF"), 0xFFFFFFFFu);
    for (const char* junk : {"", "-", "0x", "2147483648", "-2147483649", "1.0", "- 1", "-+1",
                             "0x-1", "12a", "99999999999999999999999"}) {
        EXPECT_FALSE(parseInt(junk)) << '"' << junk << '"';
    }
    EXPECT_FALSE(parseUnsigned("-1"));
    EXPECT_FALSE(parseUnsigned("0x100000000"));
}

TEST(CtlValues, FlagsAndRegionsAsPeopleWriteThem) {
    for (const char* yes : {"1", "true", "on", "yes"}) {
        EXPECT_EQ(parseValue(ValueType::Bool, yes), Value{true}) << yes;
    }
    for (const char* no : {"0", "false", "off", "no"}) {
        EXPECT_EQ(parseValue(ValueType::Bool, no), Value{false}) << no;
    }
    EXPECT_FALSE(parseValue(ValueType::Bool, "2"));
    const auto region = parseValue(ValueType::RegionOfInterest, "16,-1,0x20,240");
    ASSERT_TRUE(region);
    const auto& r = std::get<RegionOfInterestInternal>(*region);
    EXPECT_EQ(std::tie(r.x, r.y, r.width, r.height), std::make_tuple(16, -1, 32, 240));
    EXPECT_EQ(formatValue(*region), "16,-1,32,240");
    for (const char* junk : {"1,2,3", "1,2,3,4,", ",1,2,3", "1,2,3,4,5", "a,b,c,d", ""}) {
        EXPECT_FALSE(parseValue(ValueType::RegionOfInterest, junk)) << junk;
    }
}

TEST(CtlValues, JsonValuesMustBeOfTheParametersType) {
    EXPECT_EQ(fromJson(ValueType::Int, Json(7)), Value{std::int32_t{7}});
    EXPECT_FALSE(fromJson(ValueType::Int, Json(7.5)));
    EXPECT_FALSE(fromJson(ValueType::Int, Json(4294967296LL)));
    EXPECT_FALSE(fromJson(ValueType::Int, Json("7")));
    EXPECT_FALSE(fromJson(ValueType::Bool, Json(1)));
    EXPECT_EQ(fromJson(ValueType::Float, Json(7)), Value{7.0f});
    const Json region = {{"x", 1}, {"y", 2}, {"width", 3}, {"height", 4}};
    EXPECT_EQ(toJson(*fromJson(ValueType::RegionOfInterest, region)), region);
    Json extra = region;
    extra["depth"] = 5;
    EXPECT_FALSE(fromJson(ValueType::RegionOfInterest, extra));
    Json missing = region;
    missing.erase("height");
    EXPECT_FALSE(fromJson(ValueType::RegionOfInterest, missing));
}

TEST(CtlStateRecords, EncodeAndDecodeAreInverseInTheRecordLayout) {
    const std::vector<StateRecord> records{
        {findParameter("FrameRate"), Value{30.0f}},
        {findParameter("DealiasingOn"), Value{true}},
        {findParameter("RegionOfInterest"), Value{RegionOfInterestInternal{0, 0, 320, 240}}},
        {findParameter("MicroFrameNumber"), Value{std::int32_t{-2}}},
    };
    const std::vector<std::uint8_t> bytes = encodeState(records);
    const std::vector<std::uint8_t> expected{0x03, 0x00, 0x00, 0xF0, 0x41,  // 30.0f
                                             0x07, 0xFF,                    // true
                                             0x0D, 0x00, 0x00, 0x00, 0x00,
                                             0x40, 0x01, 0xF0, 0x00,  // 0,0,320,240 as 16-bit
                                             0x04, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(bytes, expected);
    const auto decoded = decodeState(bytes);
    ASSERT_EQ(decoded.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(decoded[i].parameter, records[i].parameter);
        EXPECT_EQ(formatValue(decoded[i].value), formatValue(records[i].value));
    }
    // Any non-zero byte is true, as the plug-in reads it.
    EXPECT_EQ(decodeState(std::vector<std::uint8_t>{0x0E, 0x01})[0].value, Value{true});
}

TEST(CtlStateRecords, BytesThatAreNoStateAreRefusedWithTheirPlace) {
    const auto refusal = [](std::vector<std::uint8_t> bytes) {
        try {
            decodeState(bytes);
        } catch (const CommandError& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refusal({0x04, 1, 0, 0, 0, 0x10, 0, 0, 0, 0}),
              "state record at byte 5 names no parameter (identifier 16)");
    EXPECT_EQ(refusal({0x04, 1, 0, 0, 0, 0x0D, 0, 0, 0, 0, 0, 0, 0}),
              "state record at byte 5 (RegionOfInterest) is cut short");
    EXPECT_TRUE(decodeState(std::vector<std::uint8_t>{}).empty());
}

TEST(CtlStateRecords, TheReadTemplateHasARecordForEachParameterThePluginReports) {
    const auto records = decodeState(stateReadTemplate());
    std::vector<std::uint32_t> ids;
    for (const StateRecord& record : records) {
        ids.push_back(record.parameter->id);
    }
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15}));
}

TEST(CtlStateRecords, JsonMembersAreNamedInAnyCaseOrById) {
    const auto records = stateFromJson(Json::parse(R"({"framerate": 12.5, "4": 8, "0x0e": true})"));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].parameter->name, "FrameRate");
    EXPECT_EQ(records[1].parameter->name, "MicroFrameNumber");
    EXPECT_EQ(records[2].parameter->name, "StreamEnable");
    EXPECT_EQ(stateToJson(records).dump(),
              R"({"FrameRate":12.5,"MicroFrameNumber":8,"StreamEnable":true})");
}

}  // namespace
}  // namespace Lumivor::Ctl
