// The checks of a calibration record, each exactly at its limit and one step past it.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "host/ROM.h"
#include "tests/PluginHost.h"

namespace Lumivor::Testing {
namespace {

struct LimitCase {
    const char* what;
    std::vector<float> temperatures;  // illumination, sensor
    std::vector<float> coefficients;
    std::uint32_t kind;
    std::int32_t status;
    const char* message;        // after a refusal
    std::uint32_t register051;  // 0x051 after success: bit 17 compensation off, 15-8 sensor, 7-0
};

const float kBelowZero = -std::numeric_limits<float>::denorm_min();
// The refusals' texts.
const char* const kIllumination = "illumination calibration must be less than 255 degree Celsius";
const char* const kSensor = "sensor calibration must be less than 255 degree Celsius";
const char* const kPositive = "reference temperatures must be greater than 0 degree Celsius";
const char* const kTwo = "expecting 2 reference temperatures";

const LimitCase kLimitCases[] = {
    {"illumination at the maximum", {255.0f, 40.0f}, {1, 2}, 3, 0, "", 0x28FF},
    {"illumination just below the next degree", {255.9f, 40.0f}, {1, 2}, 3, 0, "", 0x28FF},
    {"illumination one degree past", {256.0f, 40.0f}, {1, 2}, 3, -5, kIllumination, 0},
    {"sensor at the maximum", {25.0f, 255.9f}, {1, 2}, 3, 0, "", 0xFF19},
    {"sensor one degree past", {25.0f, 256.0f}, {1, 2}, 3, -5, kSensor, 0},
    {"temperatures at zero", {0.0f, -0.0f}, {1, 2}, 3, 0, "", 0x0000},
    {"illumination just below zero", {kBelowZero, 40.0f}, {1, 2}, 3, -5, kPositive, 0},
    {"sensor just below zero", {25.0f, kBelowZero}, {1, 2}, 3, -5, kPositive, 0},
    {"three coefficients", {25.0f, 40.0f}, {1, 2, 3}, 3, -4, kTwo, 0},
    {"one temperature", {25.0f}, {1, 2}, 3, -4, kTwo, 0},
    {"no compensation: nothing is checked", {256.0f, -1.0f}, {}, 0, 0, "", 0x20000},
};

class CalibrationLimits : public PluginHostTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(CalibrationLimits, AcceptOrRefuseTheRecordWhole) {
    const LimitCase& c = GetParam();
    ASSERT_EQ(initializeServed(), 0);
    ROM::Configuration record;
    ROM::TemperatureCalibrationData temperatures;
    temperatures.setValues(c.temperatures);
    record.temperatureCalibration1(temperatures);
    ROM::TemperatureCompensationData compensation(c.kind);
    compensation.setValues(c.coefficients);
    record.temperatureCompensation1(compensation);
    const std::vector<std::uint8_t> bytes = record.serialize();
    module.setRegisterValue(0x051, 0x7A7A);  // a sentinel a refusal must leave alone

    const std::int32_t status =
        api->writeCalibration(instance, bytes.data(), static_cast<std::uint32_t>(bytes.size()));

    EXPECT_EQ(status, c.status);
    if (c.status == 0) {
        EXPECT_EQ(module.registerValue(0x051), c.register051);
    } else {
        EXPECT_EQ(takeLastError(), c.message);
        EXPECT_EQ(module.registerValue(0x051), 0x7A7Au);
        EXPECT_EQ(bus.transactions().size(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Calibration, CalibrationLimits, ::testing::ValuesIn(kLimitCases),
                         [](const auto& info) {
                             std::string name = info.param.what;
                             std::erase_if(name, [](unsigned char c) { return !std::isalnum(c); });
                             return name;
                         });

}  // namespace
}  // namespace Lumivor::Testing
