#pragma once

#include "variant/ParameterCatalogue.h"

namespace Lumivor {

class LeftIlluminationVoltage_YORIN_D final
    : public ModuleParameter<LeftIlluminationVoltage, float> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
};

class RightIlluminationVoltage_YORIN_D final
    : public ModuleParameter<RightIlluminationVoltage, float> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
};

class MixingVoltage_YORIN_D final : public ModuleParameter<MixingVoltage, float> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
};

class MixingSignalsMode_YORIN_D final : public ModuleParameter<MixingSignalsMode, int> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, int value) const override;
    ErrorCode read(const AccessContext& context, int* value) const override;
};

class IlluminationMode_YORIN_D final : public ModuleParameter<IlluminationMode, int> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, int value) const override;
    ErrorCode read(const AccessContext& context, int* value) const override;
};

}  // namespace Lumivor
