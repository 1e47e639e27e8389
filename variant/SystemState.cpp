#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor {

ErrorCode VEXAR_ParamInterp_YORINDImpl::writeSystemState(const std::uint8_t*, std::uint32_t) {
    return Error::NotSupported;
}

ErrorCode VEXAR_ParamInterp_YORINDImpl::readSystemState(std::uint8_t*, std::uint32_t) {
    return Error::NotSupported;
}

}  // namespace Lumivor
