#pragma once

#include "core/VEXARParameterInterpreter.h"

namespace Lumivor {

// The interpreter of the YORIN_D module: a 320 x 240 time-of-flight sensor with separate bus
// devices for its illumination and mixing voltages.
class VEXAR_ParamInterp_YORINDImpl final : public VEXARParameterInterpreter {
  public:
    VEXAR_ParamInterp_YORINDImpl();

    ErrorCode writeSystemState(const std::uint8_t* buffer, std::uint32_t size) override;
    ErrorCode readSystemState(std::uint8_t* buffer, std::uint32_t size) override;
    ErrorCode writeCalibration(const std::uint8_t* data, std::uint32_t size) override;
    ErrorCode readCalibration(std::uint8_t* buffer, std::uint32_t* size) override;
    ErrorCode getPhaseScaling(float* factor) override;

  protected:
    ErrorCode selectParameterTable(ModuleKey key, ModuleDescriptor descriptor,
                                   ParameterTable& table) override;
    ErrorCode selectSubRegisterMap(ModuleKey key, ModuleDescriptor descriptor,
                                   SubRegisterMap& map) override;
};

}  // namespace Lumivor
