#pragma once

#include <cstdint>
#include <optional>

#include "variant/ParameterCatalogue.h"

namespace Lumivor {

// One setting of a frequency synthesiser. With clock c and phase count P it produces
// multiplier * c / (2 * inputDivider * outputDivider * P) MHz.
struct SynthesiserSetting {
    std::uint32_t inputDivider;
    std::uint32_t multiplier;
    std::uint32_t outputDivider;
    bool operator==(const SynthesiserSetting&) const = default;
};

// Largest value of each synthesiser field.
struct SynthesiserLimits {
    std::uint32_t inputDivider;
    std::uint32_t multiplier;
    std::uint32_t outputDivider;
};

// The setting closest to frequency (MHz), searched by ascending output divider and, within
// one, ascending input divider from smallestInputDivider; an equally close later setting never
// replaces an earlier one. Only output dividers k that put the output stage, 2 * k * P * f,
// within 600 to 1200 MHz are tried. Nothing when no setting comes within 100 MHz or no output
// divider fits.
std::optional<SynthesiserSetting> findFrequencySettings(float frequency, std::uint32_t clock,
                                                        const SynthesiserLimits& limits,
                                                        std::uint32_t smallestInputDivider,
                                                        std::uint32_t phaseCount);

class ModulationFrequency_YORIN_D final : public ModuleParameter<ModulationFrequency, float> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
    ErrorCode read(const AccessContext& context, float* value) const override;
};

// Reaches the host only through a restored system state, which also sets the phase count.
class DealiasingOn_YORIN_D final : public ModuleParameter<DealiasingOn, bool> {
  public:
    ErrorCode write(const AccessContext& context, bool value) const override;
    ErrorCode read(const AccessContext& context, bool* value) const override;
};

class DealiasingFrequency_YORIN_D final : public ModuleParameter<DealiasingFrequency, float> {
  public:
    ErrorCode getRange(const AccessContext& context,
                       ParameterRangeBaseInternal** range) const override;
    ErrorCode write(const AccessContext& context, float value) const override;
    ErrorCode read(const AccessContext& context, float* value) const override;
};

}  // namespace Lumivor
