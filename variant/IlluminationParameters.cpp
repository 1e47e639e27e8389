#include "variant/IlluminationParameters.h"

#include <bit>
#include <cstdint>
#include <vector>

#include "core/FieldAccess.h"
#include "core/VEXARParameterInterpreter.h"
#include "variant/ByteDevices.h"
#include "variant/ModuleConstants.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor {

namespace {

using YorinD::ByteDevice;
namespace Field = YorinD::Field;
namespace Device = YorinD::Device;

constexpr float kVoltageMinimum = 0.0f;
constexpr float kVoltageMaximum = 100.0f;
// The left channel is published with a coarser step than the right one and the mixing voltage.
constexpr float kLeftVoltageStep = 0.1f;   // 0x3DCCCCCD
constexpr float kFineVoltageStep = 0.01f;  // 0x3C23D70A
static_assert(std::bit_cast<std::uint32_t>(kLeftVoltageStep) == 0x3DCCCCCDu);
static_assert(std::bit_cast<std::uint32_t>(kFineVoltageStep) == 0x3C23D70Au);

ErrorCode writeVoltage(const AccessContext& context, ByteDevice device, float percent) {
    if (percent < kVoltageMinimum || percent > kVoltageMaximum) {
        return Error::OutOfRange;
    }
    return YorinD::writeByte(context, device, yorind::voltageLevel(percent));
}

void voltageRange(float step, ParameterRangeBaseInternal** range) {
    *range =
        new ParameterRangeInternal<float>(MinMaxStepRange, kVoltageMinimum, kVoltageMaximum, step);
}

void discreteRange(const std::vector<int>& values, ParameterRangeBaseInternal** range) {
    *range = new ParameterDiscreteSetInternal<int>(values);
}

// Mixing signals mode "off" switches the shared bit off; the other two switch it on and differ
// in the select bit. Any other accepted value is programmed like "unselected".
constexpr int kMixingOff = YorinD::MixingMode::Off;
constexpr int kMixingSelected = YorinD::MixingMode::Selected;
constexpr int kMixingUnselected = YorinD::MixingMode::Unselected;

}  // namespace

ErrorCode LeftIlluminationVoltage_YORIN_D::getRange(const AccessContext&,
                                                    ParameterRangeBaseInternal** range) const {
    voltageRange(kLeftVoltageStep, range);
    return Error::Success;
}

ErrorCode LeftIlluminationVoltage_YORIN_D::write(const AccessContext& context, float value) const {
    return writeVoltage(context, Device::LeftIllumination, value);
}

ErrorCode RightIlluminationVoltage_YORIN_D::getRange(const AccessContext&,
                                                     ParameterRangeBaseInternal** range) const {
    voltageRange(kFineVoltageStep, range);
    return Error::Success;
}

ErrorCode RightIlluminationVoltage_YORIN_D::write(const AccessContext& context, float value) const {
    return writeVoltage(context, Device::RightIllumination, value);
}

ErrorCode MixingVoltage_YORIN_D::getRange(const AccessContext&,
                                          ParameterRangeBaseInternal** range) const {
    voltageRange(kFineVoltageStep, range);
    return Error::Success;
}

ErrorCode MixingVoltage_YORIN_D::write(const AccessContext& context, float value) const {
    return writeVoltage(context, Device::Mixing, value);
}

ErrorCode MixingSignalsMode_YORIN_D::getRange(const AccessContext&,
                                              ParameterRangeBaseInternal** range) const {
    discreteRange({kMixingOff, kMixingSelected, kMixingUnselected}, range);
    return Error::Success;
}

ErrorCode MixingSignalsMode_YORIN_D::write(const AccessContext& context, int value) const {
    if (value == -1 || value == 1) {
        return Error::InvalidArgument;
    }
    FieldAccess fields(*context.interpreter);
    fields.write(Field::ModeShared, value != kMixingOff ? 1u : 0u);
    fields.write(Field::MixingSignalsSelect, value == kMixingSelected ? 1u : 0u);
    return fields.status();
}

ErrorCode MixingSignalsMode_YORIN_D::read(const AccessContext& context, int* value) const {
    FieldAccess fields(*context.interpreter);
    const std::uint32_t shared = fields.read(Field::ModeShared);
    const std::uint32_t select = fields.read(Field::MixingSignalsSelect);
    if (!fields.ok()) {
        return fields.status();
    }
    if (shared == 0) {
        *value = kMixingOff;
    } else {
        *value = select == 1 ? kMixingSelected : kMixingUnselected;
    }
    return Error::Success;
}

ErrorCode IlluminationMode_YORIN_D::getRange(const AccessContext&,
                                             ParameterRangeBaseInternal** range) const {
    discreteRange({0, 1}, range);
    return Error::Success;
}

// The mode is the bit it shares with the mixing signals mode; the neighbouring bit is always
// cleared with it.
ErrorCode IlluminationMode_YORIN_D::write(const AccessContext& context, int value) const {
    if (value != 0 && value != 1) {
        return Error::InvalidArgument;
    }
    FieldAccess fields(*context.interpreter);
    fields.write(Field::ModeShared, static_cast<std::uint32_t>(value));
    fields.write(Field::IlluminationModeClear, 0);
    return fields.status();
}

ErrorCode IlluminationMode_YORIN_D::read(const AccessContext& context, int* value) const {
    FieldAccess fields(*context.interpreter);
    const std::uint32_t shared = fields.read(Field::ModeShared);
    if (fields.ok()) {
        *value = static_cast<int>(shared);
    }
    return fields.status();
}

}  // namespace Lumivor
