#pragma once

#include "variant/ParameterCatalogue.h"

namespace Lumivor {

// Frames per second, from the clock, the phase period, the phase count and the micro-frames.
class FrameRate_YORIN_D final : public ModuleParameter<FrameRate, float> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
    ErrorCode read(const AccessContext& context, float* value) const override;
};

// Micro-frames per depth frame: 1, 2, 4 or 8.
class MicroFrameNumber_YORIN_D final : public ModuleParameter<MicroFrameNumber, int> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, int value) const override;
    ErrorCode read(const AccessContext& context, int* value) const override;
};

// Milliseconds per micro-frame: a 6-bit fraction of the micro-frame time.
class IntegrationTime_YORIN_D final : public ModuleParameter<IntegrationTime, float> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
    ErrorCode read(const AccessContext& context, float* value) const override;
};

}  // namespace Lumivor
