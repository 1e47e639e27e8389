#pragma once

#include "variant/ParameterCatalogue.h"

namespace Lumivor {

// The unambiguous range in metres, computed from the modulation and dealiasing frequencies.
class Range_YORIN_D final : public ModuleParameter<Range, float> {
  public:
    ErrorCode read(const AccessContext& context, float* value) const override;
};

// The window of the 320 x 240 pixel array that is read out.
class RegionOfInterest_YORIN_D final
    : public ModuleParameter<RegionOfInterest, RegionOfInterestInternal> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, RegionOfInterestInternal value) const override;
    ErrorCode read(const AccessContext& context, RegionOfInterestInternal* value) const override;
};

class RawOutputMode_YORIN_D final : public ModuleParameter<RawOutputMode, int> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, int value) const override;
    ErrorCode read(const AccessContext& context, int* value) const override;
};

class StreamEnable_YORIN_D final : public ModuleParameter<StreamEnable, bool> {
  public:
    ErrorCode write(const AccessContext& context, bool value) const override;
    ErrorCode read(const AccessContext& context, bool* value) const override;
};

class NativeFrameFormat_YORIN_D final : public ModuleParameter<NativeFrameFormat, int> {
  public:
    ErrorCode read(const AccessContext& context, int* value) const override;
};

}  // namespace Lumivor
