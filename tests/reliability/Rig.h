#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <variant>
#include <vector>

#include "host/ParameterTypes.h"
#include "host/RegionOfInterestInternal.h"
#include "sim/SimulatedModule.h"
#include "support/ModuleRig.h"
#include "support/StateRecords.h"
#include "variant/VEXAR_ParamInterp_YORINDImpl.h"

#if defined(__SANITIZE_ADDRESS__)
#define VEXAR_LEAK_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXAR_LEAK_CHECKS 1
#endif
#endif
#ifdef VEXAR_LEAK_CHECKS
#include <sanitizer/lsan_interface.h>
#endif

namespace Lumivor::Testing {

using Interp = VEXAR_ParamInterp_YORINDImpl;
using ParameterValue = Value;

// A rig whose initialisation must have succeeded.
struct Rig : ModuleRig {
    Rig() { EXPECT_EQ(initialised, Error::Success); }
};

// For every parameter a value its write accepts on a module fresh from reset; its alternative
// is the parameter's value type, which also selects the typed read.
inline const std::map<std::uint32_t, ParameterValue>& sampleValues() {
    static const std::map<std::uint32_t, ParameterValue> values = {
        {LeftIlluminationVoltage, 60.0f},
        {RightIlluminationVoltage, 40.0f},
        {MixingVoltage, 55.0f},
        {FrameRate, 30.0f},
        {MicroFrameNumber, 2},
        {IntegrationTime, 0.2f},
        {ModulationFrequency, 20.0f},
        {DealiasingOn, true},
        {DealiasingFrequency, 16.0f},
        {MixingSignalsMode, 2},
        {IlluminationMode, 1},
        {RawOutputMode, 3},
        {Range, 7.5f},
        {RegionOfInterest, RegionOfInterestInternal{16, 8, 160, 120}},
        {StreamEnable, true},
        {NativeFrameFormat, 1},
    };
    return values;
}

// A state buffer holding every parameter's sample value, in ascending identifier order.
inline std::vector<std::uint8_t> sampleState(bool dealiasing) {
    StateRecords records;
    for (const auto& [id, value] : sampleValues()) {
        records.emplace_back(static_cast<std::uint8_t>(id),
                             id == DealiasingOn ? Value(dealiasing) : value);
    }
    return stateBytes(records);
}

inline ErrorCode writeParameter(Interp& interp, std::uint32_t id, const ParameterValue& value) {
    return std::visit([&](const auto& v) { return interp.writeValue(id, v); }, value);
}

// Reads with the typed read of the value's type; the value is replaced by what was read.
inline ErrorCode readParameter(Interp& interp, std::uint32_t id, ParameterValue& value) {
    return std::visit([&](auto& v) { return interp.readValue(id, &v); }, value);
}

// Fails the calling test when memory has become unreachable since the process started; a no-op
// without LeakSanitizer, where the sanitizer build is the one that checks.
inline void expectNoLeaks() {
#ifdef VEXAR_LEAK_CHECKS
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found leaks (see above)";
#endif
}

}  // namespace Lumivor::Testing
