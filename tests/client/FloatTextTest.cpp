#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>

#include "Values.h"
#include "vexar/json.hpp"

namespace vexar::detail {
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

}  // namespace
}  // namespace vexar::detail
