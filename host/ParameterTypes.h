#pragma once

#include <cstdint>
#include <type_traits>

namespace Lumivor {

// Parameter identifiers as the host names them; a plain 32-bit number at every interface.
enum ParameterType : std::uint32_t {
    LeftIlluminationVoltage = 0,
    RightIlluminationVoltage = 1,
    MixingVoltage = 2,
    FrameRate = 3,
    MicroFrameNumber = 4,
    IntegrationTime = 5,
    ModulationFrequency = 6,
    DealiasingOn = 7,
    DealiasingFrequency = 8,
    MixingSignalsMode = 9,
    IlluminationMode = 10,
    RawOutputMode = 11,
    Range = 12,
    RegionOfInterest = 13,
    StreamEnable = 14,
    NativeFrameFormat = 15,
};

enum class ValueType : std::uint32_t { Float = 1, Int = 2, Bool = 3, RegionOfInterest = 4 };

enum class UnitType : std::uint32_t {
    None = 1,
    Milliseconds = 2,
    Megahertz = 3,
    Meters = 5,
    Percent = 6,
};

enum class AccessMode : std::uint32_t { ReadWrite = 1, ReadOnly = 2, WriteOnly = 3 };

// The number an enumeration crosses the C boundary as.
template <typename Enum>
constexpr std::uint32_t code(Enum e) {
    return static_cast<std::uint32_t>(static_cast<std::underlying_type_t<Enum>>(e));
}

}  // namespace Lumivor
