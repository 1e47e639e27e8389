#include "variant/IlluminationParameters.h"

namespace Lumivor {

ErrorCode LeftIlluminationVoltage_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode LeftIlluminationVoltage_YORIN_D::write(const AccessContext&, float) const { return Error::NotSupported; }

ErrorCode RightIlluminationVoltage_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode RightIlluminationVoltage_YORIN_D::write(const AccessContext&, float) const { return Error::NotSupported; }

ErrorCode MixingVoltage_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode MixingVoltage_YORIN_D::write(const AccessContext&, float) const { return Error::NotSupported; }

ErrorCode MixingSignalsMode_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode MixingSignalsMode_YORIN_D::write(const AccessContext&, int) const { return Error::NotSupported; }

ErrorCode MixingSignalsMode_YORIN_D::read(const AccessContext&, int*) const { return Error::NotSupported; }

ErrorCode IlluminationMode_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode IlluminationMode_YORIN_D::write(const AccessContext&, int) const { return Error::NotSupported; }

ErrorCode IlluminationMode_YORIN_D::read(const AccessContext&, int*) const { return Error::NotSupported; }

}  // namespace Lumivor
