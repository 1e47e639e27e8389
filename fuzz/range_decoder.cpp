// The range decoder. Whatever it accepts must be exactly what the host library's marshal
// writes for the range it describes, so accepted bytes re-marshal to themselves.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <variant>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "host/ParameterRange.h"
#include "host/RangeDecoder.h"

namespace {

using namespace Lumivor;

std::unique_ptr<ParameterRangeBaseInternal> rebuild(const RangeWire::RangeDescription& range) {
    struct Builder {
        ParameterRangeBaseInternal* operator()(const RangeWire::Bounds<int>& b) const {
            return new ParameterRangeInternal<int>(MinMaxStepRange, b.minimum, b.maximum, b.step);
        }
        ParameterRangeBaseInternal* operator()(const RangeWire::Bounds<float>& b) const {
            return new ParameterRangeInternal<float>(MinMaxStepRange, b.minimum, b.maximum, b.step);
        }
        ParameterRangeBaseInternal* operator()(const std::vector<int>& values) const {
            return new ParameterDiscreteSetInternal<int>(values);
        }
        ParameterRangeBaseInternal* operator()(const RangeWire::RegionBounds& r) const {
            const auto part = [](const RangeWire::Bounds<int>& b) {
                return new ParameterRangeInternal<int>(MinMaxStepRange, b.minimum, b.maximum,
                                                       b.step);
            };
            return new RegionOfInterestRangeInternal(part(r.x), part(r.y), part(r.width),
                                                     part(r.height));
        }
    };
    return std::unique_ptr<ParameterRangeBaseInternal>(std::visit(Builder{}, range.numbers));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const RangeWire::DecodedRange decoded = RangeWire::decodeRange(bytes);
    if (!decoded) {
        FUZZ_CHECK(!decoded.error.empty());
        return 0;
    }
    FUZZ_CHECK(decoded.error.empty());
    FUZZ_CHECK(size >= 4);
    FUZZ_CHECK(decoded.range->kind() == data[1]);
    FUZZ_CHECK(code(decoded.range->elementType()) == data[2]);

    const auto range = rebuild(*decoded.range);
    std::uint32_t needed = 0;
    FUZZ_CHECK(range->marshal(nullptr, &needed) == Error::BufferTooSmall);
    FUZZ_CHECK(needed == size);
    std::vector<std::uint8_t> again(needed);
    FUZZ_CHECK(range->marshal(again.data(), &needed) == Error::Success);
    FUZZ_CHECK(std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()));
    return 0;
}
