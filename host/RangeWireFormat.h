#pragma once

#include <cstddef>
#include <cstdint>

#include "host/ParameterRange.h"
#include "host/ParameterTypes.h"

// Layout facts of the serialised range, shared by the range objects that write it and the
// decoder that reads it back. The kind byte is the range's ParameterRangeTypeInternal and the
// element byte its ValueType.
namespace Lumivor::RangeWire {

inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kHeaderSize = 4;  // version, kind, element type, reserved
inline constexpr std::size_t kValueSize = 4;
inline constexpr std::size_t kBoundsSize = 3 * kValueSize;  // minimum, maximum, step
inline constexpr std::size_t kRegionComponents = 4;         // x, y, width, height
inline constexpr std::size_t kCountSize = 4;

inline constexpr std::size_t kMinMaxStepSize = kHeaderSize + kBoundsSize;
inline constexpr std::size_t kRegionSize = kHeaderSize + kRegionComponents * kBoundsSize;
inline constexpr std::size_t discreteSetSize(std::size_t count) {
    return kHeaderSize + kCountSize + count * kValueSize;
}

template <typename T>
inline constexpr ValueType kElementType = ValueType::Int;
template <>
inline constexpr ValueType kElementType<float> = ValueType::Float;

}  // namespace Lumivor::RangeWire
