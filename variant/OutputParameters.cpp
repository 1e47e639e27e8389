#include "variant/OutputParameters.h"

namespace Lumivor {

ErrorCode Range_YORIN_D::read(const AccessContext&, float*) const { return Error::NotSupported; }

ErrorCode RegionOfInterest_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode RegionOfInterest_YORIN_D::write(const AccessContext&, RegionOfInterestInternal) const { return Error::NotSupported; }

ErrorCode RegionOfInterest_YORIN_D::read(const AccessContext&, RegionOfInterestInternal*) const { return Error::NotSupported; }

ErrorCode RawOutputMode_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode RawOutputMode_YORIN_D::write(const AccessContext&, int) const { return Error::NotSupported; }

ErrorCode RawOutputMode_YORIN_D::read(const AccessContext&, int*) const { return Error::NotSupported; }

ErrorCode StreamEnable_YORIN_D::write(const AccessContext&, bool) const { return Error::NotSupported; }

ErrorCode StreamEnable_YORIN_D::read(const AccessContext&, bool*) const { return Error::NotSupported; }

ErrorCode NativeFrameFormat_YORIN_D::read(const AccessContext&, int*) const { return Error::NotSupported; }

}  // namespace Lumivor
