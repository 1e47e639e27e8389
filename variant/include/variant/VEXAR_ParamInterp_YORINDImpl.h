#pragma once

#include "core/VEXARParameterInterpreter.h"

namespace Lumivor {

class ValueTable;

// The interpreter of the YORIN_D module: the base class does the work of every operation but
// the system state, calibration and phase scaling, from the tables this class hands it.
class VEXAR_ParamInterp_YORINDImpl final : public VEXARParameterInterpreter {
  public:
    VEXAR_ParamInterp_YORINDImpl();

    ErrorCode initialize(void* hostContext, RegisterReadCallback readCallback,
                         RegisterWriteCallback writeCallback, ModuleKey key,
                         ModuleDescriptor descriptor) override;
    void dispose() override;
    ErrorCode writeSystemState(const std::uint8_t* buffer, std::uint32_t size) override;
    ErrorCode readSystemState(std::uint8_t* buffer, std::uint32_t size) override;
    ErrorCode writeCalibration(const std::uint8_t* data, std::uint32_t size) override;
    ErrorCode readCalibration(std::uint8_t* buffer, std::uint32_t* size) override;
    ErrorCode getPhaseScaling(float* factor) override;

  private:
    ErrorCode decodeState(ValueTable& table, const std::uint8_t* buffer, std::uint32_t size);
};

}  // namespace Lumivor
