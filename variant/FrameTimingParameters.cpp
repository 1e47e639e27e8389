#include "variant/FrameTimingParameters.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "core/FieldAccess.h"
#include "core/Truncate.h"
#include "core/VEXARParameterInterpreter.h"
#include "variant/ModuleConstants.h"
#include "variant/ParameterSupport.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor {

namespace {

using namespace YorinD;

// Advertised ranges. The frame-rate write itself has no upper bound and the integration-time
// write accepts up to the micro-frame time; the host only sees these numbers.
constexpr FloatBounds kFrameRateRange{0.0f, 60.0f, 0.01f};
constexpr FloatBounds kIntegrationTimeRange{0.0f, 0.5f, 1e-7f};
constexpr std::array<int, 4> kMicroFrameCounts{1, 2, 4, 8};

constexpr float kMillisecondsPerSecond = 1000.0f;

// Raw output modes 2 to 4 set the field to 15 and run on the stored phase period halved.
constexpr std::uint32_t kPeriodDoublingMode = 15;

std::uint32_t periodDoubling(std::uint32_t rawOutputField) {
    return rawOutputField == kPeriodDoublingMode ? 2u : 1u;
}

// The frame time in milliseconds, as the integration time needs it; the micro-frame count comes
// with it. Nothing is divided once a read has failed.
float readFrameTime(FieldAccess& fields, int* microFrames) {
    const float frameRate = fields.readValue<float>(ParameterType::FrameRate);
    *microFrames = fields.readValue<int>(ParameterType::MicroFrameNumber);
    return fields.ok() ? kMillisecondsPerSecond / frameRate : 0.0f;
}

}  // namespace

ErrorCode FrameRate_YORIN_D::getRange(const AccessContext&,
                                      ParameterRangeBaseInternal** range) const {
    *range = makeFloatRange(kFrameRateRange);
    return Error::Success;
}

// The read takes the phase count from the dealiasing enable on the sensor, not from the
// interpreter: both agree once a system state has been written.
ErrorCode FrameRate_YORIN_D::read(const AccessContext& context, float* value) const {
    FieldAccess fields(*context.interpreter);
    const std::uint32_t clock = fields.read(Field::ClockMhz);
    const std::uint32_t microFrames = fields.read(Field::MicroFrameCount);
    const std::uint32_t dealiasing = fields.read(Field::DealiasingEnable);
    const std::uint32_t period = fields.read(Field::PhasePeriod);
    const std::uint32_t rawOutput = fields.read(Field::RawOutputPeriodDoubling);
    if (!fields.ok()) {
        return fields.status();
    }
    const std::uint32_t phases = phaseCount(dealiasing == 1);
    const std::uint32_t cycles = period / periodDoubling(rawOutput) * phases * microFrames;
    *value = (static_cast<float>(clock) * kHertzPerMegahertz) / static_cast<float>(cycles);
    return Error::Success;
}

ErrorCode FrameRate_YORIN_D::write(const AccessContext& context, float value) const {
    VEXARParameterInterpreter& interpreter = *context.interpreter;
    const std::uint32_t phases = interpreter.getPhaseCount();
    if (value < 0.0f) {
        return Error::OutOfRange;
    }
    FieldAccess fields(interpreter);
    const std::uint32_t clock = fields.read(Field::ClockMhz);
    const std::uint32_t microFrames = fields.read(Field::MicroFrameCount);
    const std::uint32_t rawOutput = fields.read(Field::RawOutputPeriodDoubling);
    if (!fields.ok()) {
        return fields.status();
    }
    // A rate of 0 gives an infinite quotient, which truncates to a period of 0.
    const std::uint32_t period =
        truncateLow32((static_cast<float>(clock) * kHertzPerMegahertz) /
                      ((static_cast<float>(phases) * static_cast<float>(microFrames)) * value));
    fields.write(Field::PhasePeriod, period * periodDoubling(rawOutput));
    fields.write(Field::FrameTimingLatch, 0);
    return fields.status();
}

ErrorCode MicroFrameNumber_YORIN_D::getRange(const AccessContext&,
                                             ParameterRangeBaseInternal** range) const {
    *range = new ParameterDiscreteSetInternal<int>(
        std::vector<int>(kMicroFrameCounts.begin(), kMicroFrameCounts.end()));
    return Error::Success;
}

ErrorCode MicroFrameNumber_YORIN_D::read(const AccessContext& context, int* value) const {
    FieldAccess fields(*context.interpreter);
    const std::uint32_t count = fields.read(Field::MicroFrameCount);
    if (fields.ok()) {
        *value = static_cast<int>(count);
    }
    return fields.status();
}

// The accepted counts are the advertised ones: both come from the same array. The phase
// period is left alone: the frame rate follows the count inversely.
ErrorCode MicroFrameNumber_YORIN_D::write(const AccessContext& context, int value) const {
    if (std::find(kMicroFrameCounts.begin(), kMicroFrameCounts.end(), value) ==
        kMicroFrameCounts.end()) {
        return Error::OutOfRange;
    }
    FieldAccess fields(*context.interpreter);
    fields.write(Field::MicroFrameCount, static_cast<std::uint32_t>(value));
    return fields.status();
}

ErrorCode IntegrationTime_YORIN_D::getRange(const AccessContext&,
                                            ParameterRangeBaseInternal** range) const {
    *range = makeFloatRange(kIntegrationTimeRange);
    return Error::Success;
}

// The integration time is a fraction raw / M of the micro-frame time T / m.
ErrorCode IntegrationTime_YORIN_D::write(const AccessContext& context, float value) const {
    FieldAccess fields(*context.interpreter);
    int microFrames = 0;
    const float frameTime = readFrameTime(fields, &microFrames);
    if (!fields.ok()) {
        return fields.status();
    }
    const float frames = static_cast<float>(microFrames);
    // Negative times get through here; one step or more below 0 is refused by the field write.
    if (frames * value > frameTime) {
        return Error::OutOfRange;
    }
    const std::uint32_t maximum = fields.maximum(Field::IntegrationFraction);
    if (!fields.ok()) {
        return fields.status();
    }
    const std::uint32_t raw =
        truncateLow32(((static_cast<float>(maximum) * value) * frames) / frameTime);
    fields.write(Field::IntegrationFraction, raw);
    return fields.status();
}

ErrorCode IntegrationTime_YORIN_D::read(const AccessContext& context, float* value) const {
    FieldAccess fields(*context.interpreter);
    int microFrames = 0;
    const float frameTime = readFrameTime(fields, &microFrames);
    const std::uint32_t raw = fields.read(Field::IntegrationFraction);
    const std::uint32_t maximum = fields.maximum(Field::IntegrationFraction);
    if (!fields.ok()) {
        return fields.status();
    }
    *value = (static_cast<float>(raw) * frameTime) /
             (static_cast<float>(maximum) * static_cast<float>(microFrames));
    return Error::Success;
}

}  // namespace Lumivor
