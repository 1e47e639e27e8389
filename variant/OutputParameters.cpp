#include "variant/OutputParameters.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/FieldAccess.h"
#include "core/Truncate.h"
#include "core/VEXARParameterInterpreter.h"
#include "host/Gcd.h"
#include "variant/ByteDevices.h"
#include "variant/ModuleConstants.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor {

namespace {

namespace Field = YorinD::Field;

// Half the speed of light in metres per second, as the single-precision value it is held in.
constexpr float kHalfSpeedOfLight = 149896224.0f;

// Fields carry 16-bit arithmetic; a sum that leaves that range wraps before the field's own
// limit turns it away.
constexpr std::uint32_t kFieldArithmeticMask = 0xFFFF;

// The raw output modes as the sensor fields that select them, in the order they are read.
// The enable field (always 1 when written, never read) goes in after the first of them.
constexpr std::array<std::uint32_t, 7> kRawOutputFields{
    Field::RawOutputPeriodDoubling, Field::RawOutputSelectA, Field::RawOutputSelectB,
    Field::RawOutputLaneA,          Field::RawOutputLaneB,   Field::RawOutputLaneC,
    Field::RawOutputLaneD,
};

struct RawOutputRow {
    int mode;
    std::array<std::uint32_t, kRawOutputFields.size()> values;
};

constexpr std::array<RawOutputRow, 4> kRawOutputModes{{
    {1, {0, 0, 0, 0, 0, 0, 0}},
    {2, {15, 0, 0, 0, 0, 0, 0}},
    {3, {15, 0, 1, 0, 0, 1, 1}},
    {4, {15, 1, 0, 1, 1, 0, 0}},
}};

// The modes in the order they are published, not the order of the table.
constexpr std::array<int, 4> kRawOutputRangeOrder{3, 4, 2, 1};

// The region range: x and width in steps of 16 columns, rows one by one.
struct IntRange {
    int minimum;
    int maximum;
    int step;
};
constexpr IntRange kRoiX{0, 303, 16};
constexpr IntRange kRoiY{0, 239, 1};
constexpr IntRange kRoiWidth{16, 320, 16};
constexpr IntRange kRoiHeight{1, 240, 1};

ParameterRangeInternal<int>* makeRange(const IntRange& r) {
    return new ParameterRangeInternal<int>(MinMaxStepRange, r.minimum, r.maximum, r.step);
}

// The frame format the sensor delivers natively; it cannot be changed.
constexpr int kNativeFrameFormat = 4;

}  // namespace

ErrorCode Range_YORIN_D::read(const AccessContext& context, float* value) const {
    FieldAccess fields(*context.interpreter);
    const float f =
        fields.readValue<float>(ParameterType::ModulationFrequency) * YorinD::kHertzPerMegahertz;
    const bool dealiasing = fields.readValue<bool>(ParameterType::DealiasingOn);
    if (!fields.ok()) {
        return fields.status();
    }
    if (!dealiasing) {
        *value = kHalfSpeedOfLight / f;
        return Error::Success;
    }
    // With two frequencies the range repeats at their common beat: the largest frequency of
    // which both are whole multiples.
    const float g =
        fields.readValue<float>(ParameterType::DealiasingFrequency) * YorinD::kHertzPerMegahertz;
    if (!fields.ok()) {
        return fields.status();
    }
    const int d = Utils::gcd(truncateToInt32(f), truncateToInt32(g));
    *value = kHalfSpeedOfLight / static_cast<float>(d);
    return Error::Success;
}

ErrorCode RegionOfInterest_YORIN_D::getRange(const AccessContext&,
                                             ParameterRangeBaseInternal** range) const {
    *range = new RegionOfInterestRangeInternal(makeRange(kRoiX), makeRange(kRoiY),
                                               makeRange(kRoiWidth), makeRange(kRoiHeight));
    return Error::Success;
}

// Rows are stored as first and last row, columns as first and last column pair. The values are
// checked only against the widths of the fields, not against the published range.
ErrorCode RegionOfInterest_YORIN_D::write(const AccessContext& context,
                                          RegionOfInterestInternal value) const {
    if (value.x < 0 || value.y < 0 || value.width < 0 || value.height < 0) {
        return Error::OutOfRange;
    }
    const auto x = static_cast<std::uint32_t>(value.x);
    const auto y = static_cast<std::uint32_t>(value.y);
    const auto width = static_cast<std::uint32_t>(value.width);
    const auto height = static_cast<std::uint32_t>(value.height);
    FieldAccess fields(*context.interpreter);
    fields.write(Field::RoiFirstRow, y);
    fields.write(Field::RoiLastRow, (y + height - 1) & kFieldArithmeticMask);
    fields.write(Field::RoiFirstColumnPair, x / 2);
    fields.write(Field::RoiLastColumnPair, (width / 2 - 1 + x / 2) & kFieldArithmeticMask);
    return fields.status();
}

ErrorCode RegionOfInterest_YORIN_D::read(const AccessContext& context,
                                         RegionOfInterestInternal* value) const {
    FieldAccess fields(*context.interpreter);
    const std::uint32_t firstRow = fields.read(Field::RoiFirstRow);
    const std::uint32_t firstPair = fields.read(Field::RoiFirstColumnPair);
    const std::uint32_t lastPair = fields.read(Field::RoiLastColumnPair);
    const std::uint32_t lastRow = fields.read(Field::RoiLastRow);
    if (!fields.ok()) {
        return fields.status();
    }
    RegionOfInterestInternal roi{0, 0, 0, 0};
    roi.y = static_cast<std::int32_t>(firstRow);
    roi.x = 2 * static_cast<std::int32_t>(firstPair);
    // The sensor reads columns out in groups of eight; a narrower remainder is not delivered.
    const std::int32_t columns = 2 * static_cast<std::int32_t>(lastPair) + 2 - roi.x;
    roi.width = columns - columns % 8;
    roi.height = static_cast<std::int32_t>(lastRow) - roi.y + 1;
    *value = roi;
    return Error::Success;
}

ErrorCode RawOutputMode_YORIN_D::getRange(const AccessContext&,
                                          ParameterRangeBaseInternal** range) const {
    *range = new ParameterDiscreteSetInternal<int>(
        std::vector<int>(kRawOutputRangeOrder.begin(), kRawOutputRangeOrder.end()));
    return Error::Success;
}

ErrorCode RawOutputMode_YORIN_D::write(const AccessContext& context, int value) const {
    if (value < 0) {
        return Error::OutOfRange;
    }
    const auto row = std::find_if(kRawOutputModes.begin(), kRawOutputModes.end(),
                                  [value](const RawOutputRow& r) { return r.mode == value; });
    if (row == kRawOutputModes.end()) {
        return Error::NotSupported;
    }
    FieldAccess fields(*context.interpreter);
    fields.write(kRawOutputFields[0], row->values[0]);
    fields.write(Field::RawOutputEnable, 1);
    for (std::size_t i = 1; i < kRawOutputFields.size(); ++i) {
        fields.write(kRawOutputFields[i], row->values[i]);
    }
    return fields.status();
}

ErrorCode RawOutputMode_YORIN_D::read(const AccessContext& context, int* value) const {
    FieldAccess fields(*context.interpreter);
    std::array<std::uint32_t, kRawOutputFields.size()> current{};
    for (std::size_t i = 0; i < kRawOutputFields.size(); ++i) {
        current[i] = fields.read(kRawOutputFields[i]);
    }
    if (!fields.ok()) {
        return fields.status();
    }
    // A register state that matches no mode is reported as mode 0.
    int mode = 0;
    for (const RawOutputRow& row : kRawOutputModes) {
        if (row.values == current) {
            mode = row.mode;
        }
    }
    *value = mode;
    return Error::Success;
}

// The stream switch is told first; the sensor's field follows only when the switch took it.
ErrorCode StreamEnable_YORIN_D::write(const AccessContext& context, bool value) const {
    const std::uint8_t command = value ? 0xFE : 0xFF;
    if (const ErrorCode status = YorinD::writeByte(context, YorinD::Device::StreamSwitch, command);
        status != Error::Success) {
        return status;
    }
    FieldAccess fields(*context.interpreter);
    fields.write(Field::StreamEnable, value ? 1u : 0u);
    return fields.status();
}

ErrorCode StreamEnable_YORIN_D::read(const AccessContext& context, bool* value) const {
    FieldAccess fields(*context.interpreter);
    const std::uint32_t field = fields.read(Field::StreamEnable);
    if (fields.ok()) {
        *value = field == 1;
    }
    return fields.status();
}

ErrorCode NativeFrameFormat_YORIN_D::read(const AccessContext&, int* value) const {
    *value = kNativeFrameFormat;
    return Error::Success;
}

}  // namespace Lumivor
