#include "variant/FrameTimingParameters.h"

namespace Lumivor {

ErrorCode FrameRate_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode FrameRate_YORIN_D::write(const AccessContext&, float) const { return Error::NotSupported; }

ErrorCode FrameRate_YORIN_D::read(const AccessContext&, float*) const { return Error::NotSupported; }

ErrorCode MicroFrameNumber_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode MicroFrameNumber_YORIN_D::write(const AccessContext&, int) const { return Error::NotSupported; }

ErrorCode MicroFrameNumber_YORIN_D::read(const AccessContext&, int*) const { return Error::NotSupported; }

ErrorCode IntegrationTime_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode IntegrationTime_YORIN_D::write(const AccessContext&, float) const { return Error::NotSupported; }

ErrorCode IntegrationTime_YORIN_D::read(const AccessContext&, float*) const { return Error::NotSupported; }

}  // namespace Lumivor
