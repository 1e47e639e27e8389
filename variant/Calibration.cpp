#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor {

ErrorCode VEXAR_ParamInterp_YORINDImpl::writeCalibration(const std::uint8_t*, std::uint32_t) {
    return Error::NotSupported;
}

ErrorCode VEXAR_ParamInterp_YORINDImpl::readCalibration(std::uint8_t*, std::uint32_t*) {
    return Error::NotSupported;
}

}  // namespace Lumivor
