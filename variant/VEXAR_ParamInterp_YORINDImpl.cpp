#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

#include "variant/ModuleConstants.h"
#include "variant/ModuleIdentity.h"
#include "variant/ParameterCatalogue.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor {

namespace {
static_assert(VEXARParameterInterpreter::kInitialPhaseCount == yorind::kPhasesWithoutDealiasing,
              "a new instance must count the phases of the power-on module");

SubRegisterMap buildSubRegisterMap() {
    SubRegisterMap map;
    map.assign(YorinD::kSubRegisters);
    return map;
}

constexpr ModuleTables kTables{&YorinD::servesModule, &YorinD::buildParameterTable,
                               &buildSubRegisterMap};
}  // namespace

VEXAR_ParamInterp_YORINDImpl::VEXAR_ParamInterp_YORINDImpl() : VEXARParameterInterpreter(kTables) {}

ErrorCode VEXAR_ParamInterp_YORINDImpl::initialize(void* hostContext,
                                                   RegisterReadCallback readCallback,
                                                   RegisterWriteCallback writeCallback,
                                                   ModuleKey key, ModuleDescriptor descriptor) {
    return VEXARParameterInterpreter::initialize(hostContext, readCallback, writeCallback, key,
                                                 descriptor);
}

void VEXAR_ParamInterp_YORINDImpl::dispose() {
    VEXARParameterInterpreter::dispose();
}

}  // namespace Lumivor
