// The numbers of the public header are the contract with every host that was compiled against
// it. They are held here at run time, each against its number written out, so that a changed
// constant fails a test instead of quietly changing what hosts send and receive.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "interface/vexar_param_interp.h"

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

struct CatalogueRow {
    long long id;
    std::string name;
    long long valueType;
    long long unit;
    long long access;
    bool operator==(const CatalogueRow&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CatalogueRow& row) {
    return out << row.id << ' ' << row.name << ' ' << row.valueType << ' ' << row.unit << ' '
               << row.access;
}

// The catalogue list hosts expand into their own tables: identifier, name, value type, unit,
// access mode, in identifier order.
TEST(PublicConstants, CatalogueListDescribesEachParameterAsHostsExpectIt) {
#define VEXAR_TEST_ROW(suffix, name, value, unit, access)                             \
    CatalogueRow{VEXAR_PARAM_##suffix, #name, VEXAR_VALUE_##value, VEXAR_UNIT_##unit, \
                 VEXAR_ACCESS_##access},
    const std::vector<CatalogueRow> rows{VEXAR_PARAMETERS(VEXAR_TEST_ROW)};
#undef VEXAR_TEST_ROW
    const std::vector<CatalogueRow> expected{
        {0, "LeftIlluminationVoltage", 1, 6, 3},
        {1, "RightIlluminationVoltage", 1, 6, 3},
        {2, "MixingVoltage", 1, 6, 3},
        {3, "FrameRate", 1, 1, 1},
        {4, "MicroFrameNumber", 2, 1, 1},
        {5, "IntegrationTime", 1, 2, 1},
        {6, "ModulationFrequency", 1, 3, 1},
        {7, "DealiasingOn", 3, 1, 1},
        {8, "DealiasingFrequency", 1, 3, 1},
        {9, "MixingSignalsMode", 2, 1, 1},
        {10, "IlluminationMode", 2, 1, 1},
        {11, "RawOutputMode", 2, 1, 1},
        {12, "Range", 1, 5, 2},
        {13, "RegionOfInterest", 4, 1, 1},
        {14, "StreamEnable", 3, 1, 1},
        {15, "NativeFrameFormat", 2, 1, 2},
    };
    EXPECT_EQ(rows, expected);
}

}  // namespace
}  // namespace Lumivor::Testing
