#include "host/RangeDecoder.h"

#include <utility>

#include "RangeWireFormat.h"
#include "host/Format.h"
#include "interface/ByteOrder.h"

namespace Lumivor::RangeWire {

namespace {

using Bytes::Reader;

DecodedRange refuse(const Utils::Format& text) {
    return {std::nullopt, text.str()};
}

std::string describeSizes(std::size_t needed, std::size_t given) {
    return Utils::Format("% bytes needed, % given") % static_cast<long long>(needed) %
           static_cast<long long>(given);
}

// Reads are safe once the total size has been checked against the layout.
int readValue(Reader& in, int) {
    return *in.i32();
}
float readValue(Reader& in, float) {
    return *in.f32();
}

template <typename T>
Bounds<T> readBounds(Reader& in) {
    const T minimum = readValue(in, T{});
    const T maximum = readValue(in, T{});
    const T step = readValue(in, T{});
    return {minimum, maximum, step};
}

bool elementFitsKind(std::uint8_t kind, std::uint8_t element) {
    const auto intCode = static_cast<std::uint8_t>(code(ValueType::Int));
    const auto floatCode = static_cast<std::uint8_t>(code(ValueType::Float));
    return element == intCode || (kind == MinMaxStepRange && element == floatCode);
}

}  // namespace

ParameterRangeTypeInternal RangeDescription::kind() const {
    constexpr ParameterRangeTypeInternal kinds[] = {MinMaxStepRange, MinMaxStepRange,
                                                    DiscreteSetRange, RegionOfInterestRange};
    return kinds[numbers.index()];
}

ValueType RangeDescription::elementType() const {
    return std::holds_alternative<Bounds<float>>(numbers) ? ValueType::Float : ValueType::Int;
}

DecodedRange decodeRange(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) {
        return refuse(Utils::Format("range header incomplete: %") %
                      describeSizes(kHeaderSize, bytes.size()));
    }
    Reader in(bytes);
    const std::uint8_t version = *in.u8();
    const std::uint8_t kind = *in.u8();
    const std::uint8_t element = *in.u8();
    const std::uint8_t reserved = *in.u8();
    if (version != kVersion) {
        return refuse(Utils::Format("unsupported range format version %") % int{version});
    }
    if (kind > RegionOfInterestRange) {
        return refuse(Utils::Format("unknown range kind %") % int{kind});
    }
    if (!elementFitsKind(kind, element)) {
        return refuse(Utils::Format("element type % does not fit range kind %") % int{element} %
                      int{kind});
    }
    if (reserved != 0) {
        return refuse(Utils::Format("reserved header byte is %, not 0") % int{reserved});
    }

    std::size_t needed = kind == MinMaxStepRange ? kMinMaxStepSize : kRegionSize;
    std::uint32_t count = 0;
    if (kind == DiscreteSetRange) {
        const auto counted = in.u32();
        if (!counted) {
            return refuse(Utils::Format("discrete set without its count: %") %
                          describeSizes(discreteSetSize(0), bytes.size()));
        }
        count = *counted;
        needed = discreteSetSize(count);
    }
    if (bytes.size() != needed) {
        return refuse(Utils::Format("range of kind % has the wrong size: %") % int{kind} %
                      describeSizes(needed, bytes.size()));
    }

    RangeDescription range;
    if (kind == DiscreteSetRange) {
        std::vector<int> values(count);
        for (int& v : values) {
            v = readValue(in, int{});
        }
        range.numbers = std::move(values);
    } else if (kind == RegionOfInterestRange) {
        // A braced list evaluates left to right: x, y, width, height as written.
        range.numbers = RegionBounds{readBounds<int>(in), readBounds<int>(in), readBounds<int>(in),
                                     readBounds<int>(in)};
    } else if (element == code(ValueType::Float)) {
        range.numbers = readBounds<float>(in);
    } else {
        range.numbers = readBounds<int>(in);
    }
    return {std::move(range), {}};
}

}  // namespace Lumivor::RangeWire
