// What an integrator's program gets from including the public header first and alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "vexar/camera.hpp"
#include "vexar/options.hpp"

// The plug-in's C header declares these at global scope; they compile here only while the
// public header keeps it out.
struct ModuleKey {};
struct ModuleDescriptor {};
using RegisterReadCallback = int;

// A string literal would otherwise convert to the flag true.
static_assert(!std::is_constructible_v<vexar::Value, const char*>);

namespace {

vexar::OpenOptions withPlugin() {
    vexar::OpenOptions options;
    options.plugin = VEXAR_PLUGIN_PATH;
    return options;
}

void expectBadInput(auto make, const char* what) {
    try {
        make();
        ADD_FAILURE() << what << " was taken";
    } catch (const vexar::Error& error) {
        EXPECT_EQ(error.kind(), vexar::ErrorKind::BadInput) << what;
        EXPECT_NE(std::string(error.what()).find("does not fit"), std::string::npos)
            << error.what();
    }
}

TEST(PublicHeader, ValuesComeFromAnyArithmeticTypeAndNeverWrap) {
    auto camera = vexar::Camera::open("sim", withPlugin());
    std::size_t micro = 2;
    EXPECT_EQ(camera.set("MicroFrameNumber", micro).applied, vexar::Value(2));
    unsigned rate = 25;
    EXPECT_EQ(camera.set("FrameRate", rate).applied, vexar::Value(25.0f));

    EXPECT_EQ(vexar::Value(std::uint64_t{2147483647}), vexar::Value(std::int32_t{2147483647}));
    EXPECT_EQ(vexar::Value(-2147483648L), vexar::Value(std::numeric_limits<std::int32_t>::min()));
    EXPECT_EQ(vexar::Value(0.5), vexar::Value(0.5f));
    EXPECT_TRUE(std::isnan(vexar::Value(std::nan("")).asFloat()));
    EXPECT_EQ(vexar::Value(-HUGE_VALL).asFloat(), -std::numeric_limits<float>::infinity());

    expectBadInput([] { return vexar::Value(std::uint32_t{2147483648U}); }, "2^31 unsigned");
    expectBadInput([] { return vexar::Value(-2147483649LL); }, "-2^31 - 1");
    expectBadInput([] { return vexar::Value(std::numeric_limits<std::size_t>::max()); },
                   "SIZE_MAX");
    expectBadInput([] { return vexar::Value(1e39); }, "1e39");
    expectBadInput([] { return vexar::Value(-1e-50); }, "-1e-50");
    expectBadInput([] { return vexar::Value(1e400L); }, "1e400L");
}

}  // namespace
