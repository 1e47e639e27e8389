#include "variant/ModulationParameters.h"

namespace Lumivor {

ErrorCode ModulationFrequency_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode ModulationFrequency_YORIN_D::write(const AccessContext&, float) const { return Error::NotSupported; }

ErrorCode ModulationFrequency_YORIN_D::read(const AccessContext&, float*) const { return Error::NotSupported; }

ErrorCode DealiasingOn_YORIN_D::write(const AccessContext&, bool) const { return Error::NotSupported; }

ErrorCode DealiasingOn_YORIN_D::read(const AccessContext&, bool*) const { return Error::NotSupported; }

ErrorCode DealiasingFrequency_YORIN_D::getRange(const AccessContext&, ParameterRangeBaseInternal**) const { return Error::NotSupported; }

ErrorCode DealiasingFrequency_YORIN_D::write(const AccessContext&, float) const { return Error::NotSupported; }

ErrorCode DealiasingFrequency_YORIN_D::read(const AccessContext&, float*) const { return Error::NotSupported; }

}  // namespace Lumivor
