#pragma once

#include "core/ParameterInternal.h"

namespace Lumivor {

// Frames per second, from the clock, the phase period, the phase count and the micro-frames.
class FrameRate_YORIN_D final
    : public CatalogueParameter<float, UnitType::None, AccessMode::ReadWrite> {
  public:
    FrameRate_YORIN_D() : CatalogueParameter(ParameterType::FrameRate) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
    ErrorCode read(const AccessContext& context, float* value) const override;
};

// Micro-frames per depth frame: 1, 2, 4 or 8.
class MicroFrameNumber_YORIN_D final
    : public CatalogueParameter<int, UnitType::None, AccessMode::ReadWrite> {
  public:
    MicroFrameNumber_YORIN_D() : CatalogueParameter(ParameterType::MicroFrameNumber) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, int value) const override;
    ErrorCode read(const AccessContext& context, int* value) const override;
};

// Milliseconds per micro-frame: a 6-bit fraction of the micro-frame time.
class IntegrationTime_YORIN_D final
    : public CatalogueParameter<float, UnitType::Milliseconds, AccessMode::ReadWrite> {
  public:
    IntegrationTime_YORIN_D() : CatalogueParameter(ParameterType::IntegrationTime) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
    ErrorCode read(const AccessContext& context, float* value) const override;
};

}  // namespace Lumivor
