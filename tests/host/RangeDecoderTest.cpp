#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "host/ParameterRange.h"
#include "host/RangeDecoder.h"

namespace Lumivor::RangeWire {
namespace {

using ByteList = std::vector<std::uint8_t>;

ByteList marshalled(const ParameterRangeBaseInternal& range) {
    std::uint32_t size = 0;
    range.marshal(nullptr, &size);
    ByteList bytes(size);
    EXPECT_EQ(range.marshal(bytes.data(), &size), Error::Success);
    return bytes;
}

ParameterRangeInternal<int>* intRange(int lo, int hi, int step) {
    return new ParameterRangeInternal<int>(MinMaxStepRange, lo, hi, step);
}

// One marshalled range of every kind and element type, with what it must decode to.
struct Sample {
    const char* name;
    std::unique_ptr<ParameterRangeBaseInternal> range;
    RangeDescription expected;
};

std::vector<Sample> samples() {
    std::vector<Sample> s;
    s.push_back({"int",
                 std::make_unique<ParameterRangeInternal<int>>(MinMaxStepRange, -5, 9, 2),
                 {Bounds<int>{-5, 9, 2}}});
    s.push_back({"float",
                 std::make_unique<ParameterRangeInternal<float>>(
                     MinMaxStepRange, 0.25f, std::numeric_limits<float>::max(), -0.5f),
                 {Bounds<float>{0.25f, std::numeric_limits<float>::max(), -0.5f}}});
    s.push_back({"set",
                 std::make_unique<ParameterDiscreteSetInternal<int>>(
                     std::vector<int>{3, 4, 2, 1, std::numeric_limits<int>::min()}),
                 {std::vector<int>{3, 4, 2, 1, std::numeric_limits<int>::min()}}});
    s.push_back({"empty set",
                 std::make_unique<ParameterDiscreteSetInternal<int>>(std::vector<int>{}),
                 {std::vector<int>{}}});
    s.push_back(
        {"region",
         std::make_unique<RegionOfInterestRangeInternal>(
             intRange(0, 303, 16), intRange(0, 239, 1), intRange(16, 320, 16), intRange(1, 240, 1)),
         {RegionBounds{{0, 303, 16}, {0, 239, 1}, {16, 320, 16}, {1, 240, 1}}}});
    return s;
}

TEST(RangeDecoder, EveryKindRoundTrips) {
    const ParameterRangeTypeInternal kinds[] = {MinMaxStepRange, MinMaxStepRange, DiscreteSetRange,
                                                DiscreteSetRange, RegionOfInterestRange};
    const ValueType types[] = {ValueType::Int, ValueType::Float, ValueType::Int, ValueType::Int,
                               ValueType::Int};
    const auto all = samples();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const DecodedRange decoded = decodeRange(marshalled(*all[i].range));
        ASSERT_TRUE(decoded) << all[i].name << ": " << decoded.error;
        EXPECT_TRUE(decoded.error.empty());
        EXPECT_EQ(*decoded.range, all[i].expected) << all[i].name;
        EXPECT_EQ(decoded.range->kind(), kinds[i]) << all[i].name;
        EXPECT_EQ(decoded.range->kind(), all[i].range->rangeType()) << all[i].name;
        EXPECT_EQ(decoded.range->elementType(), types[i]) << all[i].name;
    }
}

TEST(RangeDecoder, RefusesEveryTruncationAndAnyTrailingByte) {
    for (const Sample& s : samples()) {
        ByteList bytes = marshalled(*s.range);
        for (std::size_t n = 0; n < bytes.size(); ++n) {
            const DecodedRange decoded = decodeRange(std::span(bytes).first(n));
            EXPECT_FALSE(decoded) << s.name << " cut to " << n;
            EXPECT_FALSE(decoded.error.empty());
        }
        bytes.push_back(0);
        EXPECT_FALSE(decodeRange(bytes)) << s.name << " with a trailing byte";
    }
}

// Changes one header byte of a valid min/max/step or discrete-set range.
DecodedRange withHeaderByte(ByteList bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return decodeRange(bytes);
}

TEST(RangeDecoder, RefusesBadHeaders) {
    const auto all = samples();
    const ByteList intBytes = marshalled(*all[0].range);
    const ByteList setBytes = marshalled(*all[2].range);
    const ByteList regionBytes = marshalled(*all[4].range);

    for (const std::uint8_t version : {0, 2, 255}) {
        const DecodedRange d = withHeaderByte(intBytes, 0, version);
        EXPECT_FALSE(d);
        EXPECT_NE(d.error.find("version"), std::string::npos) << d.error;
    }
    for (const std::uint8_t kind : {3, 255}) {
        const DecodedRange d = withHeaderByte(intBytes, 1, kind);
        EXPECT_FALSE(d);
        EXPECT_NE(d.error.find("kind"), std::string::npos) << d.error;
    }
    for (const std::uint8_t type : {0, 3, 4}) {
        EXPECT_FALSE(withHeaderByte(intBytes, 2, type)) << int{type};
    }
    EXPECT_FALSE(withHeaderByte(setBytes, 2, 1)) << "discrete sets hold integers only";
    EXPECT_FALSE(withHeaderByte(regionBytes, 2, 1)) << "regions hold integers only";
    EXPECT_FALSE(withHeaderByte(intBytes, 3, 1)) << "reserved byte";
    // Same length, other kind: a 16-byte min/max/step read as a set of 2 needs 16 bytes too,
    // but its count (the minimum, -5) does not say 2.
    EXPECT_FALSE(withHeaderByte(intBytes, 1, 1));
}

TEST(RangeDecoder, RefusesACountThatDisagreesWithTheLength) {
    const ByteList setBytes = marshalled(*samples()[2].range);  // five values
    for (const std::uint32_t count : {0u, 4u, 6u, 0x40000000u, 0xFFFFFFFFu}) {
        ByteList bytes = setBytes;
        for (int i = 0; i < 4; ++i) {
            bytes[4 + i] = static_cast<std::uint8_t>(count >> (8 * i));
        }
        const DecodedRange d = decodeRange(bytes);
        EXPECT_FALSE(d) << count;
        EXPECT_FALSE(d.error.empty());
    }
}

}  // namespace
}  // namespace Lumivor::RangeWire
