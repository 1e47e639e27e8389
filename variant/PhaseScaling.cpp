#include <cmath>

#include "core/FieldIO.h"
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
    std::uint32_t dealiasing = 0;
    std::uint32_t bypass = 0;
    if (const ErrorCode status = readFields(
            *this, {{Field::DealiasingEnable, &dealiasing}, {Field::PhaseScalingBypass, &bypass}});
        status != Error::Success) {
        return status;
    }
    // Without dealiasing, or with the sensor's scaling bypassed, phases need no rescaling.
    if (dealiasing == 0 || bypass == 1) {
        *factor = 1.0f;
        return Error::Success;
    }

    std::uint32_t m = 0;
    std::uint32_t n = 0;
    std::uint32_t k = 0;
    if (const ErrorCode status = readFields(*this, {{Field::RatioModulationShare, &m},
                                                    {Field::RatioDealiasingShare, &n},
                                                    {Field::PhaseScalingShift, &k}});
        status != Error::Success) {
        return status;
    }
    // ldexp keeps the power exact for k above the exponent too (a fraction, not a shift by a
    // negative count). m or n at 0 gives the IEEE infinity, which the caller receives as is.
    const float power = std::ldexp(1.0f, kScalingExponent - static_cast<int>(k));
    *factor = power / static_cast<float>(m * n);
    return Error::Success;
}

}  // namespace Lumivor
