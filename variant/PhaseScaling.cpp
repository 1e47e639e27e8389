#include <cmath>

#include "core/FieldAccess.h"
#include "variant/SubRegisterTable.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

namespace Lumivor {

namespace {
// The factor is 2^(kScalingExponent - k) / (m * n).
constexpr int kScalingExponent = 5;
}  // namespace

ErrorCode VEXAR_ParamInterp_YORINDImpl::getPhaseScaling(float* factor) {
    using namespace YorinD;
    if (factor == nullptr) {
        return Error::InvalidArgument;
    }
    FieldAccess fields(*this);
    const std::uint32_t dealiasing = fields.read(Field::DealiasingEnable);
    const std::uint32_t bypass = fields.read(Field::PhaseScalingBypass);
    if (!fields.ok()) {
        return fields.status();
    }
    // Without dealiasing, or with the sensor's scaling bypassed, phases need no rescaling.
    if (dealiasing == 0 || bypass == 1) {
        *factor = 1.0f;
        return Error::Success;
    }

    const std::uint32_t m = fields.read(Field::RatioModulationShare);
    const std::uint32_t n = fields.read(Field::RatioDealiasingShare);
    const std::uint32_t k = fields.read(Field::PhaseScalingShift);
    if (!fields.ok()) {
        return fields.status();
    }
    // ldexp keeps the power exact for k above the exponent too (a fraction, not a shift by a
    // negative count). m or n at 0 gives the IEEE infinity, which the caller receives as is.
    const float power = std::ldexp(1.0f, kScalingExponent - static_cast<int>(k));
    *factor = power / static_cast<float>(m * n);
    return Error::Success;
}

}  // namespace Lumivor
