#pragma once

#include <cstdint>
#include <string>

#include "core/AccessContext.h"
#include "core/ErrorCode.h"
#include "core/ParameterTable.h"
#include "core/SubRegisterMap.h"
#include "host/RegionOfInterestInternal.h"
#include "vexar_param_interp.h"

namespace Lumivor {

// The descriptor a new instance holds until its first initialize.
ModuleDescriptor defaultModuleDescriptor();

// What a module variant hands the interpreter at construction: which modules it serves and how
// its two tables are built. The interpreter selects and installs them itself, so it needs to
// know no module.
struct ModuleTables {
    bool (*serves)(const ModuleKey& key, const ModuleDescriptor& descriptor);
    ParameterTable (*buildParameterTable)();
    SubRegisterMap (*buildSubRegisterMap)();
};

// One interpreter instance serves one camera module. The module variant supplies the tables
// for the modules it serves, the system state, calibration and phase scaling.
class VEXARParameterInterpreter {
  public:
    // Phases per micro-frame until a system state says otherwise: dealiasing is off at power-on.
    static constexpr std::uint32_t kInitialPhaseCount = 4;

    explicit VEXARParameterInterpreter(const ModuleTables& tables);
    VEXARParameterInterpreter(const VEXARParameterInterpreter&) = delete;
    VEXARParameterInterpreter& operator=(const VEXARParameterInterpreter&) = delete;
    virtual ~VEXARParameterInterpreter();

    virtual ErrorCode initialize(void* hostContext, RegisterReadCallback readCallback,
                                 RegisterWriteCallback writeCallback, ModuleKey key,
                                 ModuleDescriptor descriptor);
    virtual void dispose();
    virtual ErrorCode getUnitType(std::uint32_t id, std::uint32_t* unit);
    virtual ErrorCode getAccessMode(std::uint32_t id, std::uint32_t* mode);
    virtual ErrorCode getValueType(std::uint32_t id, std::uint32_t* type);
    virtual ErrorCode getParameterRange(std::uint32_t id, std::uint8_t* buffer,
                                        std::uint32_t* size);
    virtual ErrorCode writeSystemState(const std::uint8_t* buffer, std::uint32_t size) = 0;
    virtual ErrorCode readSystemState(std::uint8_t* buffer, std::uint32_t size) = 0;
    virtual ErrorCode getLastError(char* buffer, std::int32_t* size);
    virtual ErrorCode writeSubRegister(std::uint32_t index, std::uint32_t value);
    virtual ErrorCode readSubRegister(std::uint32_t index, std::uint32_t* value);
    virtual ErrorCode getSubRegisterMaximum(std::uint32_t index, std::uint32_t* maximum);
    virtual ErrorCode writeCalibration(const std::uint8_t* data, std::uint32_t size) = 0;
    virtual ErrorCode readCalibration(std::uint8_t* buffer, std::uint32_t* size) = 0;
    virtual std::uint32_t getPhaseCount();
    virtual ErrorCode getPhaseScaling(float* factor) = 0;

    // Typed access by parameter identifier, for T = int, float, bool, RegionOfInterestInternal.
    template <typename T>
    ErrorCode readValue(std::uint32_t id, T* value);
    template <typename T>
    ErrorCode writeValue(std::uint32_t id, const T& value);

    const std::string& lastError() const { return lastError_; }
    const ModuleDescriptor& moduleDescriptor() const { return descriptor_; }
    const AccessContext& accessContext() const { return context_; }

  protected:
    // Replaces the last-error text; messages are never appended.
    void setLastError(std::string text);
    // Only a written system state changes the phase count.
    void setPhaseCount(std::uint32_t count) { phaseCount_ = count; }

  private:
    // Fill the table for the module named by key and descriptor, or answer NotSupported and
    // leave it as it was. Only initialize selects; the tables come from the variant's builders.
    ErrorCode selectParameterTable(ModuleKey key, ModuleDescriptor descriptor,
                                   ParameterTable& table);
    ErrorCode selectSubRegisterMap(ModuleKey key, ModuleDescriptor descriptor, SubRegisterMap& map);

    AccessContext context_;
    ParameterTable parameters_;
    SubRegisterMap subRegisters_;
    std::string lastError_;
    ModuleDescriptor descriptor_;
    std::uint32_t phaseCount_ = kInitialPhaseCount;
    const ModuleTables* tables_;
};

extern template ErrorCode VEXARParameterInterpreter::readValue<int>(std::uint32_t, int*);
extern template ErrorCode VEXARParameterInterpreter::readValue<float>(std::uint32_t, float*);
extern template ErrorCode VEXARParameterInterpreter::readValue<bool>(std::uint32_t, bool*);
extern template ErrorCode VEXARParameterInterpreter::readValue<RegionOfInterestInternal>(
    std::uint32_t, RegionOfInterestInternal*);
extern template ErrorCode VEXARParameterInterpreter::writeValue<int>(std::uint32_t, const int&);
extern template ErrorCode VEXARParameterInterpreter::writeValue<float>(std::uint32_t, const float&);
extern template ErrorCode VEXARParameterInterpreter::writeValue<bool>(std::uint32_t, const bool&);
extern template ErrorCode VEXARParameterInterpreter::writeValue<RegionOfInterestInternal>(
    std::uint32_t, const RegionOfInterestInternal&);

}  // namespace Lumivor
