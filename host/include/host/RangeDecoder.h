#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "host/Export.h"
#include "host/ParameterRange.h"
#include "host/ParameterTypes.h"

// Reading back the bytes that a range's marshal() wrote, for hosts and tools that receive
// them through getParameterRange.
namespace Lumivor::RangeWire {

template <typename T>
struct Bounds {
    T minimum;
    T maximum;
    T step;
    bool operator==(const Bounds&) const = default;
};

struct RegionBounds {
    Bounds<int> x;
    Bounds<int> y;
    Bounds<int> width;
    Bounds<int> height;
    bool operator==(const RegionBounds&) const = default;
};

// One decoded range: its numbers, from which kind and element type follow.
struct RangeDescription {
    std::variant<Bounds<int>, Bounds<float>, std::vector<int>, RegionBounds> numbers;

    LUMIVOR_API ParameterRangeTypeInternal kind() const;
    LUMIVOR_API ValueType elementType() const;
    bool operator==(const RangeDescription&) const = default;
};

// Either a range or the reason the bytes were refused.
struct DecodedRange {
    std::optional<RangeDescription> range;
    std::string error;  // empty when range holds a value

    explicit operator bool() const { return range.has_value(); }
};

// Decodes exactly the given bytes: a wrong version, kind, element type or reserved byte, too
// few bytes, or bytes left over after the range are all refused.
LUMIVOR_API DecodedRange decodeRange(std::span<const std::uint8_t> bytes);

}  // namespace Lumivor::RangeWire
