#pragma once

#include <cstdint>

#include "core/ParameterInternal.h"

namespace Lumivor {

class ModulationFrequency_YORIN_D final
    : public CatalogueParameter<float, UnitType::Megahertz, AccessMode::ReadWrite> {
public:
    ModulationFrequency_YORIN_D() : CatalogueParameter(ParameterType::ModulationFrequency) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
    ErrorCode read(const AccessContext& context, float* value) const override;
};

// Reaches the host only through a restored system state, which also sets the phase count.
class DealiasingOn_YORIN_D final
    : public CatalogueParameter<bool, UnitType::None, AccessMode::ReadWrite> {
public:
    DealiasingOn_YORIN_D() : CatalogueParameter(ParameterType::DealiasingOn) {}
    ErrorCode write(const AccessContext& context, bool value) const override;
    ErrorCode read(const AccessContext& context, bool* value) const override;
};

class DealiasingFrequency_YORIN_D final
    : public CatalogueParameter<float, UnitType::Megahertz, AccessMode::ReadWrite> {
public:
    DealiasingFrequency_YORIN_D() : CatalogueParameter(ParameterType::DealiasingFrequency) {}
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
    ErrorCode read(const AccessContext& context, float* value) const override;
};

}  // namespace Lumivor
