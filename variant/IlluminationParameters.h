#pragma once

#include "core/ParameterInternal.h"

namespace Lumivor {

class LeftIlluminationVoltage_YORIN_D final
    : public CatalogueParameter<float, UnitType::Percent, AccessMode::WriteOnly> {
public:
    LeftIlluminationVoltage_YORIN_D()
        : CatalogueParameter(ParameterType::LeftIlluminationVoltage) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
};

class RightIlluminationVoltage_YORIN_D final
    : public CatalogueParameter<float, UnitType::Percent, AccessMode::WriteOnly> {
public:
    RightIlluminationVoltage_YORIN_D()
        : CatalogueParameter(ParameterType::RightIlluminationVoltage) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
};

class MixingVoltage_YORIN_D final
    : public CatalogueParameter<float, UnitType::Percent, AccessMode::WriteOnly> {
public:
    MixingVoltage_YORIN_D() : CatalogueParameter(ParameterType::MixingVoltage) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
};

class MixingSignalsMode_YORIN_D final
    : public CatalogueParameter<int, UnitType::None, AccessMode::ReadWrite> {
public:
    MixingSignalsMode_YORIN_D() : CatalogueParameter(ParameterType::MixingSignalsMode) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, int value) const override;
    ErrorCode read(const AccessContext& context, int* value) const override;
};

class IlluminationMode_YORIN_D final
    : public CatalogueParameter<int, UnitType::None, AccessMode::ReadWrite> {
public:
    IlluminationMode_YORIN_D() : CatalogueParameter(ParameterType::IlluminationMode) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, int value) const override;
    ErrorCode read(const AccessContext& context, int* value) const override;
};

}  // namespace Lumivor
