#pragma once

#include <cstdint>

namespace Lumivor::YorinD {

// Names of the fields that the parameter code, calibration and phase scaling program, by their
// index in the sub-register table.
namespace Field {
inline constexpr std::uint32_t UpdateStrobe = 3;                  // 0x102 bit 2
inline constexpr std::uint32_t RatioModulationShare = 5;          // 0x002 bits 5-8 (nm, m)
inline constexpr std::uint32_t RatioModularInverse = 15;          // 0x002 bits 0-3 (j)
inline constexpr std::uint32_t RatioDealiasingShare = 17;         // 0x002 bits 10-13 (nd, n)
inline constexpr std::uint32_t PhaseScalingBypass = 18;           // 0x002 bit 22
inline constexpr std::uint32_t DealiasingEnable = 20;             // 0x002 bit 23
inline constexpr std::uint32_t PhaseScalingShift = 22;            // 0x003 bits 11-14 (k)
inline constexpr std::uint32_t PhaseOffset2 = 46;                 // 0x038 bits 4-15
inline constexpr std::uint32_t RoiLastColumnPair = 71;            // 0x121 bits 0-7
inline constexpr std::uint32_t RawOutputPeriodDoubling = 72;      // 0x025 bits 8-11
inline constexpr std::uint32_t ClockMhz = 79;                     // 0x033 bits 0-5
inline constexpr std::uint32_t PhaseOffset1 = 84;                 // 0x037 bits 4-15
inline constexpr std::uint32_t FrameTimingLatch = 96;             // 0x04C bit 22
inline constexpr std::uint32_t Coefficient0 = 111;                // 0x047 bits 0-16
inline constexpr std::uint32_t Coefficient1 = 112;                // 0x048 bits 0-16
inline constexpr std::uint32_t Coefficient0Copy = 113;            // 0x049 bits 0-16
inline constexpr std::uint32_t DealiasingMultiplier = 115;        // 0x10D bits 16-21
inline constexpr std::uint32_t Coefficient1Copy = 116;            // 0x04A bits 0-16
inline constexpr std::uint32_t RawOutputSelectB = 117;            // 0x108 bit 1
inline constexpr std::uint32_t IntegrationFraction = 118;         // 0x04C bits 0-5
inline constexpr std::uint32_t IlluminationReferenceTemp = 125;   // 0x051 bits 0-7
inline constexpr std::uint32_t SensorReferenceTemp = 126;         // 0x051 bits 8-15
inline constexpr std::uint32_t MixingSignalsSelect = 127;         // 0x10F bit 19
inline constexpr std::uint32_t PhaseOffsetDisable = 128;          // 0x051 bit 16
inline constexpr std::uint32_t CompensationDisable = 129;         // 0x051 bit 17
inline constexpr std::uint32_t ModulationMultiplier = 145;        // 0x10C bits 16-21
inline constexpr std::uint32_t ModeShared = 184;                  // 0x10F bit 18
inline constexpr std::uint32_t RawOutputSelectA = 197;            // 0x108 bit 0
inline constexpr std::uint32_t RawOutputEnable = 198;             // 0x108 bit 2
inline constexpr std::uint32_t ModulationInputDivider = 200;      // 0x10F bits 0-1
inline constexpr std::uint32_t DealiasingInputDivider = 201;      // 0x10F bits 2-3
inline constexpr std::uint32_t ModulationOutputDivider = 202;     // 0x10F bits 4-6
inline constexpr std::uint32_t DealiasingOutputDivider = 203;     // 0x10F bits 7-9
inline constexpr std::uint32_t IlluminationModeClear = 204;       // 0x10F bit 20
inline constexpr std::uint32_t RoiFirstRow = 207;                 // 0x11F bits 0-7
inline constexpr std::uint32_t RoiLastRow = 208;                  // 0x11F bits 16-23
inline constexpr std::uint32_t RoiFirstColumnPair = 209;          // 0x120 bits 0-7
inline constexpr std::uint32_t RawOutputLaneA = 211;              // 0x128 bit 17
inline constexpr std::uint32_t RawOutputLaneC = 212;              // 0x128 bit 18
inline constexpr std::uint32_t RawOutputLaneB = 213;              // 0x128 bit 19
inline constexpr std::uint32_t RawOutputLaneD = 214;              // 0x128 bit 20
inline constexpr std::uint32_t StreamEnable = 215;                // 0x180 bit 0
inline constexpr std::uint32_t PhasePeriod = 217;                 // 0x182 bits 0-21
inline constexpr std::uint32_t ModulationPhaseCount = 218;        // 0x183 bits 0-3
inline constexpr std::uint32_t MicroFrameCount = 219;             // 0x183 bits 4-7
}  // namespace Field

}  // namespace Lumivor::YorinD
