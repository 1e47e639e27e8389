#include "variant/ModulationParameters.h"

#include <cstdint>
#include <optional>

#include "core/FieldAccess.h"
#include "core/Truncate.h"
#include "core/VEXARParameterInterpreter.h"
#include "host/Gcd.h"
#include "variant/ModuleConstants.h"
#include "variant/ParameterSupport.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor {

namespace {

using namespace YorinD;

// Both frequencies advertise the same range; the writes accept what the synthesiser can make.
constexpr FloatBounds kFrequencyRange{0.0f, 50.0f, 1.0f};

// k * P * f must lie between these two frequencies (MHz): the synthesiser's output stage runs
// at twice that, 2 * k * P * f, from 600 to 1200 MHz.
constexpr float kStageLowMhz = 300.0f;
constexpr float kStageHighMhz = 600.0f;
// Larger than any error a valid setting can have.
constexpr float kNoErrorYet = 100.0f;

// Where each synthesiser keeps its setting.
struct SynthesiserFields {
    std::uint32_t inputDivider;
    std::uint32_t multiplier;
    std::uint32_t outputDivider;
};
constexpr SynthesiserFields kModulationSynthesiser{
    Field::ModulationInputDivider, Field::ModulationMultiplier, Field::ModulationOutputDivider};
constexpr SynthesiserFields kDealiasingSynthesiser{
    Field::DealiasingInputDivider, Field::DealiasingMultiplier, Field::DealiasingOutputDivider};

// No bus traffic: the maxima come from the field table.
SynthesiserLimits synthesiserLimits(FieldAccess& fields, const SynthesiserFields& synthesiser) {
    SynthesiserLimits limits{};
    limits.inputDivider = fields.maximum(synthesiser.inputDivider);
    limits.outputDivider = fields.maximum(synthesiser.outputDivider);
    limits.multiplier = fields.maximum(synthesiser.multiplier);
    return limits;
}

// The setting as the sensor holds it; the caller reads the clock and the field that decides
// the phase count before it.
SynthesiserSetting readSetting(FieldAccess& fields, const SynthesiserFields& synthesiser) {
    SynthesiserSetting setting{};
    setting.multiplier = fields.read(synthesiser.multiplier);
    setting.inputDivider = fields.read(synthesiser.inputDivider);
    setting.outputDivider = fields.read(synthesiser.outputDivider);
    return setting;
}

float producedFrequency(const SynthesiserSetting& s, std::uint32_t clock, std::uint32_t divisor) {
    return (static_cast<float>(s.multiplier) * static_cast<float>(clock)) /
           static_cast<float>(divisor);
}

// The setting goes first, then whatever goes with it, then the strobe: a failure on the way
// leaves the strobe alone.
void writeSetting(FieldAccess& fields, const SynthesiserFields& synthesiser,
                  const SynthesiserSetting& setting) {
    fields.write(synthesiser.multiplier, setting.multiplier);
    fields.write(synthesiser.inputDivider, setting.inputDivider);
    fields.write(synthesiser.outputDivider, setting.outputDivider);
}

// Written 1 and 0, the strobe makes the sensor take up the new fields.
void strobeUpdate(FieldAccess& fields) {
    fields.write(Field::UpdateStrobe, 1);
    fields.write(Field::UpdateStrobe, 0);
}

// Both frequency writes: the request must fit the output stage with the largest output divider
// and with 1, and the synthesiser must come within reach of it at the sensor's clock. A refusal
// is kept in fields like a failed access. Nothing is judged on limits that could not be had.
std::optional<SynthesiserSetting> chooseSetting(FieldAccess& fields, float frequency,
                                                std::uint32_t phases,
                                                const SynthesiserLimits& limits,
                                                std::uint32_t* clock) {
    if (!fields.ok()) {
        return std::nullopt;
    }
    if (kStageLowMhz / static_cast<float>(phases * limits.outputDivider) > frequency ||
        frequency > kStageHighMhz / static_cast<float>(phases)) {
        fields.fail(Error::OutOfRange);
        return std::nullopt;
    }
    *clock = fields.read(Field::ClockMhz);
    if (!fields.ok()) {
        return std::nullopt;
    }
    const auto found = findFrequencySettings(frequency, *clock, limits, 1, phases);
    if (!found) {
        fields.fail(Error::OutOfRange);
    }
    return found;
}

}  // namespace

std::optional<SynthesiserSetting> findFrequencySettings(float frequency, std::uint32_t clock,
                                                        const SynthesiserLimits& limits,
                                                        std::uint32_t smallestInputDivider,
                                                        std::uint32_t phaseCount) {
    float best = kNoErrorYet;
    const float t = static_cast<float>(phaseCount) * frequency;
    std::uint32_t kHigh = truncateLow32(kStageHighMhz / t);
    if (kHigh > limits.outputDivider) {
        kHigh = limits.outputDivider;
    }
    const std::uint32_t kLow = truncateLow32(kStageLowMhz / t) + 1;
    std::optional<SynthesiserSetting> found;
    if (kLow > kHigh) {
        return found;
    }
    const float fClock = static_cast<float>(clock);
    // 64-bit counters: an inclusive limit of UINT32_MAX must not wrap into an endless scan.
    for (std::uint64_t kWide = kLow; kWide <= kHigh; ++kWide) {
        const auto k = static_cast<std::uint32_t>(kWide);
        for (std::uint64_t aWide = smallestInputDivider; aWide <= limits.inputDivider; ++aWide) {
            const auto a = static_cast<std::uint32_t>(aWide);
            const float x = (static_cast<float>(a) *
                             ((static_cast<float>(k * phaseCount) * frequency) * 2.0f)) /
                            fClock;
            const std::uint32_t r = truncateLow32(x + 0.5f);
            if (r > limits.multiplier) {
                continue;
            }
            const float signedError = ((x - static_cast<float>(r)) * fClock) /
                                      static_cast<float>(2u * a * k * phaseCount);
            const float error = signedError < 0.0f ? -signedError : signedError;
            if (error < best) {
                best = error;
                found = SynthesiserSetting{a, r, k};
                // Nothing beats an exact setting, and ties keep the first: the rest of the
                // scan could not change the choice.
                if (best == 0.0f) {
                    return found;
                }
            }
        }
    }
    return found;
}

ErrorCode ModulationFrequency_YORIN_D::getRange(const AccessContext&,
                                                ParameterRangeBaseInternal** range) const {
    *range = makeFloatRange(kFrequencyRange);
    return Error::Success;
}

ErrorCode ModulationFrequency_YORIN_D::write(const AccessContext& context, float value) const {
    VEXARParameterInterpreter& interpreter = *context.interpreter;
    const std::uint32_t phases = interpreter.getPhaseCount();
    FieldAccess fields(interpreter);
    const SynthesiserLimits limits = synthesiserLimits(fields, kModulationSynthesiser);
    std::uint32_t clock = 0;
    const auto setting = chooseSetting(fields, value, phases, limits, &clock);
    if (!setting) {
        return fields.status();
    }
    writeSetting(fields, kModulationSynthesiser, *setting);
    strobeUpdate(fields);
    return fields.status();
}

// The phase count comes from the sensor's own field, which only the sensor's defaults set.
ErrorCode ModulationFrequency_YORIN_D::read(const AccessContext& context, float* value) const {
    FieldAccess fields(*context.interpreter);
    const std::uint32_t clock = fields.read(Field::ClockMhz);
    const std::uint32_t phases = fields.read(Field::ModulationPhaseCount);
    const SynthesiserSetting s = readSetting(fields, kModulationSynthesiser);
    if (!fields.ok()) {
        return fields.status();
    }
    // Unprogrammed dividers give 0 / 0: the result is then NaN, as the arithmetic has it.
    *value = producedFrequency(s, clock, 2u * phases * s.outputDivider * s.inputDivider);
    return Error::Success;
}

ErrorCode DealiasingOn_YORIN_D::write(const AccessContext& context, bool value) const {
    FieldAccess fields(*context.interpreter);
    fields.write(Field::DealiasingEnable, value ? 1u : 0u);
    return fields.status();
}

ErrorCode DealiasingOn_YORIN_D::read(const AccessContext& context, bool* value) const {
    FieldAccess fields(*context.interpreter);
    const std::uint32_t enabled = fields.read(Field::DealiasingEnable);
    if (fields.ok()) {
        *value = enabled == 1;
    }
    return fields.status();
}

ErrorCode DealiasingFrequency_YORIN_D::getRange(const AccessContext&,
                                                ParameterRangeBaseInternal** range) const {
    *range = makeFloatRange(kFrequencyRange);
    return Error::Success;
}

// Besides its own synthesiser the dealiasing write stores the two frequencies' ratio
// nm : nd in lowest terms and the inverse j of nd modulo nm, from which the sensor unwraps
// the phases of the pair.
ErrorCode DealiasingFrequency_YORIN_D::write(const AccessContext& context, float value) const {
    VEXARParameterInterpreter& interpreter = *context.interpreter;
    const std::uint32_t phases = interpreter.getPhaseCount();
    FieldAccess fields(interpreter);
    const SynthesiserLimits limits = synthesiserLimits(fields, kDealiasingSynthesiser);
    const std::uint32_t modulationShareLimit = fields.maximum(Field::RatioModulationShare);
    const std::uint32_t dealiasingShareLimit = fields.maximum(Field::RatioDealiasingShare);
    const std::uint32_t inverseLimit = fields.maximum(Field::RatioModularInverse);
    const float modulation = fields.readValue<float>(ParameterType::ModulationFrequency);
    std::uint32_t clock = 0;
    const auto setting = chooseSetting(fields, value, phases, limits, &clock);
    if (!setting) {
        return fields.status();
    }
    const float dealiasing = producedFrequency(
        *setting, clock, 2u * setting->inputDivider * setting->outputDivider * phases);

    // The common divisor of the two frequencies in Hz, back in MHz.
    const int g = Utils::gcd(truncateToInt32(modulation * kHertzPerMegahertz),
                             truncateToInt32(dealiasing * kHertzPerMegahertz));
    if (g == 0) {
        return Error::OutOfRange;
    }
    const float common = static_cast<float>(g) / kHertzPerMegahertz;
    const std::uint32_t dealiasingShare = truncateLow32(dealiasing / common);
    const std::uint32_t modulationShare = truncateLow32(modulation / common);
    if (modulationShare > modulationShareLimit || dealiasingShare > dealiasingShareLimit) {
        return Error::OutOfRange;
    }
    // No remainder by a share of 0; a share of 1 has no inverse either (every remainder is 0).
    if (modulationShare == 0) {
        return Error::OutOfRange;
    }
    std::uint32_t inverse = 0;
    for (std::uint64_t j = 1; j <= inverseLimit; ++j) {
        if ((static_cast<std::uint32_t>(j) * dealiasingShare) % modulationShare == 1) {
            inverse = static_cast<std::uint32_t>(j);
            break;
        }
    }
    if (inverse == 0) {
        return Error::OutOfRange;
    }
    writeSetting(fields, kDealiasingSynthesiser, *setting);
    fields.write(Field::RatioModulationShare, modulationShare);
    fields.write(Field::RatioDealiasingShare, dealiasingShare);
    fields.write(Field::RatioModularInverse, inverse);
    strobeUpdate(fields);
    return fields.status();
}

// Here the phase count follows the sensor's dealiasing enable.
ErrorCode DealiasingFrequency_YORIN_D::read(const AccessContext& context, float* value) const {
    FieldAccess fields(*context.interpreter);
    const std::uint32_t clock = fields.read(Field::ClockMhz);
    const std::uint32_t dealiasingEnabled = fields.read(Field::DealiasingEnable);
    const SynthesiserSetting s = readSetting(fields, kDealiasingSynthesiser);
    if (!fields.ok()) {
        return fields.status();
    }
    const std::uint32_t phases = phaseCount(dealiasingEnabled == 1);
    *value = producedFrequency(s, clock, 2u * phases * s.outputDivider * s.inputDivider);
    return Error::Success;
}

}  // namespace Lumivor
