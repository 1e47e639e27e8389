#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

#include "variant/ModuleConstants.h"
#include "variant/ModuleIdentity.h"
#include "variant/ParameterCatalogue.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor {

// Dealiasing is off at power-on, and so is the six-phase micro-frame.
VEXAR_ParamInterp_YORINDImpl::VEXAR_ParamInterp_YORINDImpl() {
    setPhaseCount(YorinD::kPhasesWithoutDealiasing);
}

ErrorCode VEXAR_ParamInterp_YORINDImpl::selectParameterTable(ModuleKey key,
                                                             ModuleDescriptor descriptor,
                                                             ParameterTable& table) {
    if (!YorinD::servesModule(key, descriptor)) {
        return Error::NotSupported;
    }
    ParameterTable fresh = YorinD::buildParameterTable();
    table.swap(fresh);
    return Error::Success;
}

ErrorCode VEXAR_ParamInterp_YORINDImpl::selectSubRegisterMap(ModuleKey key,
                                                             ModuleDescriptor descriptor,
                                                             SubRegisterMap& map) {
    if (!YorinD::servesModule(key, descriptor)) {
        return Error::NotSupported;
    }
    map.assign(YorinD::kSubRegisters);
    return Error::Success;
}

}  // namespace Lumivor
