#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor {

ErrorCode VEXAR_ParamInterp_YORINDImpl::getPhaseScaling(float*) { return Error::NotSupported; }

}  // namespace Lumivor
