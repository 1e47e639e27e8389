#pragma once

#include "core/ParameterInternal.h"

namespace Lumivor {

// The unambiguous range in metres, computed from the modulation and dealiasing frequencies.
class Range_YORIN_D final : public CatalogueParameter<float, UnitType::Meters, AccessMode::ReadOnly> {
public:
    Range_YORIN_D() : CatalogueParameter(ParameterType::Range) {}
    ErrorCode read(const AccessContext& context, float* value) const override;
};

// The window of the 320 x 240 pixel array that is read out.
class RegionOfInterest_YORIN_D final
    : public CatalogueParameter<RegionOfInterestInternal, UnitType::None, AccessMode::ReadWrite> {
public:
    RegionOfInterest_YORIN_D() : CatalogueParameter(ParameterType::RegionOfInterest) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, RegionOfInterestInternal value) const override;
    ErrorCode read(const AccessContext& context, RegionOfInterestInternal* value) const override;
};

class RawOutputMode_YORIN_D final
    : public CatalogueParameter<int, UnitType::None, AccessMode::ReadWrite> {
public:
    RawOutputMode_YORIN_D() : CatalogueParameter(ParameterType::RawOutputMode) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, int value) const override;
    ErrorCode read(const AccessContext& context, int* value) const override;
};

class StreamEnable_YORIN_D final
    : public CatalogueParameter<bool, UnitType::None, AccessMode::ReadWrite> {
public:
    StreamEnable_YORIN_D() : CatalogueParameter(ParameterType::StreamEnable) {}
    ErrorCode write(const AccessContext& context, bool value) const override;
    ErrorCode read(const AccessContext& context, bool* value) const override;
};

class NativeFrameFormat_YORIN_D final
    : public CatalogueParameter<int, UnitType::None, AccessMode::ReadOnly> {
public:
    NativeFrameFormat_YORIN_D() : CatalogueParameter(ParameterType::NativeFrameFormat) {}
    ErrorCode read(const AccessContext& context, int* value) const override;
};

}  // namespace Lumivor
