// The numbers of the public header are the contract with every host that was compiled against
// it. They are held here at run time, each against its number written out, so that a changed
// constant fails a test instead of quietly changing what hosts send and receive. Which
// parameter has which type, unit and access is held by the tool's golden parameter list.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "vexar_param_interp.h"

namespace Lumivor::Testing {
namespace {

struct Constant {
    const char* name;
    long long actual;
    long long expected;
};

TEST(PublicConstants, HaveTheNumbersHostsWereBuiltWith) {
    const std::vector<Constant> constants{
        {"VEXAR_SUCCESS", VEXAR_SUCCESS, 0},
        {"VEXAR_NOT_SUPPORTED", VEXAR_NOT_SUPPORTED, -3},
        {"VEXAR_INVALID_ARGUMENT", VEXAR_INVALID_ARGUMENT, -4},
        {"VEXAR_OUT_OF_RANGE", VEXAR_OUT_OF_RANGE, -5},
        {"VEXAR_BUFFER_TOO_SMALL", VEXAR_BUFFER_TOO_SMALL, -6},
        {"VEXAR_VALUE_FLOAT", VEXAR_VALUE_FLOAT, 1},
        {"VEXAR_VALUE_INT", VEXAR_VALUE_INT, 2},
        {"VEXAR_VALUE_BOOL", VEXAR_VALUE_BOOL, 3},
        {"VEXAR_VALUE_REGION_OF_INTEREST", VEXAR_VALUE_REGION_OF_INTEREST, 4},
        {"VEXAR_UNIT_NONE", VEXAR_UNIT_NONE, 1},
        {"VEXAR_UNIT_MILLISECONDS", VEXAR_UNIT_MILLISECONDS, 2},
        {"VEXAR_UNIT_MEGAHERTZ", VEXAR_UNIT_MEGAHERTZ, 3},
        {"VEXAR_UNIT_METERS", VEXAR_UNIT_METERS, 5},
        {"VEXAR_UNIT_PERCENT", VEXAR_UNIT_PERCENT, 6},
        {"VEXAR_ACCESS_READ_WRITE", VEXAR_ACCESS_READ_WRITE, 1},
        {"VEXAR_ACCESS_READ_ONLY", VEXAR_ACCESS_READ_ONLY, 2},
        {"VEXAR_ACCESS_WRITE_ONLY", VEXAR_ACCESS_WRITE_ONLY, 3},
        {"VEXAR_PARAM_LEFT_ILLUMINATION_VOLTAGE", VEXAR_PARAM_LEFT_ILLUMINATION_VOLTAGE, 0},
        {"VEXAR_PARAM_RIGHT_ILLUMINATION_VOLTAGE", VEXAR_PARAM_RIGHT_ILLUMINATION_VOLTAGE, 1},
        {"VEXAR_PARAM_MIXING_VOLTAGE", VEXAR_PARAM_MIXING_VOLTAGE, 2},
        {"VEXAR_PARAM_FRAME_RATE", VEXAR_PARAM_FRAME_RATE, 3},
        {"VEXAR_PARAM_MICRO_FRAME_NUMBER", VEXAR_PARAM_MICRO_FRAME_NUMBER, 4},
        {"VEXAR_PARAM_INTEGRATION_TIME", VEXAR_PARAM_INTEGRATION_TIME, 5},
        {"VEXAR_PARAM_MODULATION_FREQUENCY", VEXAR_PARAM_MODULATION_FREQUENCY, 6},
        {"VEXAR_PARAM_DEALIASING_ON", VEXAR_PARAM_DEALIASING_ON, 7},
        {"VEXAR_PARAM_DEALIASING_FREQUENCY", VEXAR_PARAM_DEALIASING_FREQUENCY, 8},
        {"VEXAR_PARAM_MIXING_SIGNALS_MODE", VEXAR_PARAM_MIXING_SIGNALS_MODE, 9},
        {"VEXAR_PARAM_ILLUMINATION_MODE", VEXAR_PARAM_ILLUMINATION_MODE, 10},
        {"VEXAR_PARAM_RAW_OUTPUT_MODE", VEXAR_PARAM_RAW_OUTPUT_MODE, 11},
        {"VEXAR_PARAM_RANGE", VEXAR_PARAM_RANGE, 12},
        {"VEXAR_PARAM_REGION_OF_INTEREST", VEXAR_PARAM_REGION_OF_INTEREST, 13},
        {"VEXAR_PARAM_STREAM_ENABLE", VEXAR_PARAM_STREAM_ENABLE, 14},
        {"VEXAR_PARAM_NATIVE_FRAME_FORMAT", VEXAR_PARAM_NATIVE_FRAME_FORMAT, 15},
        {"VEXAR_PARAM_COUNT", VEXAR_PARAM_COUNT, 16},
        {"sizeof(ModuleKey)", sizeof(ModuleKey), 16},
        {"sizeof(ComponentIdentity)", sizeof(ComponentIdentity), 20},
        {"sizeof(ModuleDescriptor)", sizeof(ModuleDescriptor), 116},
        {"sizeof(GUID)", sizeof(GUID), 16},
        {"sizeof(RegionOfInterestInternal)", sizeof(RegionOfInterestInternal), 16},
    };
    for (const Constant& constant : constants) {
        EXPECT_EQ(constant.actual, constant.expected) << constant.name;
    }
}

}  // namespace
}  // namespace Lumivor::Testing
