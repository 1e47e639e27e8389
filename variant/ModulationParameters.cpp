#include "variant/ModulationParameters.h"

#include <cstdint>
#include <initializer_list>

#include "core/FieldIO.h"
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

ErrorCode synthesiserLimits(VEXARParameterInterpreter& interpreter, const SynthesiserFields& fields,
                            SynthesiserLimits* limits) {
    return fieldMaxima(interpreter, {{fields.inputDivider, &limits->inputDivider},
                                     {fields.outputDivider, &limits->outputDivider},
                                     {fields.multiplier, &limits->multiplier}});
}

// The clock, the field that decides the phase count, and the setting, in this order.
ErrorCode readSynthesiser(VEXARParameterInterpreter& interpreter, const SynthesiserFields& fields,
                          std::uint32_t phaseField, std::uint32_t* clock, std::uint32_t* phaseValue,
                          SynthesiserSetting* setting) {
    return readFields(interpreter, {{Field::ClockMhz, clock},
                                    {phaseField, phaseValue},
                                    {fields.multiplier, &setting->multiplier},
                                    {fields.inputDivider, &setting->inputDivider},
                                    {fields.outputDivider, &setting->outputDivider}});
}

float producedFrequency(const SynthesiserSetting& s, std::uint32_t clock, std::uint32_t divisor) {
    return (static_cast<float>(s.multiplier) * static_cast<float>(clock)) /
           static_cast<float>(divisor);
}

// The setting first, then whatever goes with it, then the strobe written 1 and 0, which makes
// the sensor take up the new fields: a failure on the way leaves the strobe alone.
ErrorCode writeSettingAndStrobe(VEXARParameterInterpreter& interpreter,
                                const SynthesiserFields& fields, const SynthesiserSetting& setting,
                                std::initializer_list<FieldWrite> companions = {}) {
    if (const ErrorCode status =
            writeFields(interpreter, {{fields.multiplier, setting.multiplier},
                                      {fields.inputDivider, setting.inputDivider},
                                      {fields.outputDivider, setting.outputDivider}});
        status != Error::Success) {
        return status;
    }
    if (const ErrorCode status = writeFields(interpreter, companions); status != Error::Success) {
        return status;
    }
    return writeFields(interpreter, {{Field::UpdateStrobe, 1}, {Field::UpdateStrobe, 0}});
}

// Both frequency writes: the request must fit the output stage with the largest output divider
// and with 1, and the synthesiser must come within reach of it at the sensor's clock.
ErrorCode chooseSetting(VEXARParameterInterpreter& interpreter, float frequency,
                        std::uint32_t phases, const SynthesiserLimits& limits, std::uint32_t* clock,
                        SynthesiserSetting* setting) {
    if (kStageLowMhz / static_cast<float>(phases * limits.outputDivider) > frequency ||
        frequency > kStageHighMhz / static_cast<float>(phases)) {
        return Error::OutOfRange;
    }
    if (const ErrorCode status = readFields(interpreter, {{Field::ClockMhz, clock}});
        status != Error::Success) {
        return status;
    }
    const auto found = findFrequencySettings(frequency, *clock, limits, 1, phases);
    if (!found) {
        return Error::OutOfRange;
    }
    *setting = *found;
    return Error::Success;
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
    SynthesiserLimits limits{};
    if (const ErrorCode status = synthesiserLimits(interpreter, kModulationSynthesiser, &limits);
        status != Error::Success) {
        return status;
    }
    std::uint32_t clock = 0;
    SynthesiserSetting setting{};
    if (const ErrorCode status =
            chooseSetting(interpreter, value, phases, limits, &clock, &setting);
        status != Error::Success) {
        return status;
    }
    return writeSettingAndStrobe(interpreter, kModulationSynthesiser, setting);
}

// The phase count comes from the sensor's own field, which only the sensor's defaults set.
ErrorCode ModulationFrequency_YORIN_D::read(const AccessContext& context, float* value) const {
    std::uint32_t clock = 0;
    std::uint32_t phases = 0;
    SynthesiserSetting s{};
    if (const ErrorCode status = readSynthesiser(*context.interpreter, kModulationSynthesiser,
                                                 Field::ModulationPhaseCount, &clock, &phases, &s);
        status != Error::Success) {
        return status;
    }
    // Unprogrammed dividers give 0 / 0: the result is then NaN, as the arithmetic has it.
    *value = producedFrequency(s, clock, 2u * phases * s.outputDivider * s.inputDivider);
    return Error::Success;
}

ErrorCode DealiasingOn_YORIN_D::write(const AccessContext& context, bool value) const {
    return writeFields(*context.interpreter, {{Field::DealiasingEnable, value ? 1u : 0u}});
}

ErrorCode DealiasingOn_YORIN_D::read(const AccessContext& context, bool* value) const {
    std::uint32_t enabled = 0;
    if (const ErrorCode status =
            readFields(*context.interpreter, {{Field::DealiasingEnable, &enabled}});
        status != Error::Success) {
        return status;
    }
    *value = enabled == 1;
    return Error::Success;
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
    SynthesiserLimits limits{};
    std::uint32_t modulationShareLimit = 0;
    std::uint32_t dealiasingShareLimit = 0;
    std::uint32_t inverseLimit = 0;
    if (const ErrorCode status = synthesiserLimits(interpreter, kDealiasingSynthesiser, &limits);
        status != Error::Success) {
        return status;
    }
    if (const ErrorCode status =
            fieldMaxima(interpreter, {{Field::RatioModulationShare, &modulationShareLimit},
                                      {Field::RatioDealiasingShare, &dealiasingShareLimit},
                                      {Field::RatioModularInverse, &inverseLimit}});
        status != Error::Success) {
        return status;
    }
    float modulation = 0.0f;
    if (const ErrorCode status =
            interpreter.readValue(ParameterType::ModulationFrequency, &modulation);
        status != Error::Success) {
        return status;
    }
    std::uint32_t clock = 0;
    SynthesiserSetting setting{};
    if (const ErrorCode status =
            chooseSetting(interpreter, value, phases, limits, &clock, &setting);
        status != Error::Success) {
        return status;
    }
    const float dealiasing = producedFrequency(
        setting, clock, 2u * setting.inputDivider * setting.outputDivider * phases);

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
    return writeSettingAndStrobe(interpreter, kDealiasingSynthesiser, setting,
                                 {{Field::RatioModulationShare, modulationShare},
                                  {Field::RatioDealiasingShare, dealiasingShare},
                                  {Field::RatioModularInverse, inverse}});
}

// Here the phase count follows the sensor's dealiasing enable.
ErrorCode DealiasingFrequency_YORIN_D::read(const AccessContext& context, float* value) const {
    std::uint32_t clock = 0;
    std::uint32_t dealiasingEnabled = 0;
    SynthesiserSetting s{};
    if (const ErrorCode status =
            readSynthesiser(*context.interpreter, kDealiasingSynthesiser, Field::DealiasingEnable,
                            &clock, &dealiasingEnabled, &s);
        status != Error::Success) {
        return status;
    }
    const std::uint32_t phases = phaseCount(dealiasingEnabled == 1);
    *value = producedFrequency(s, clock, 2u * phases * s.outputDivider * s.inputDivider);
    return Error::Success;
}

}  // namespace Lumivor
