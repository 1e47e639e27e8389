#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/ParameterRange.h"

namespace Lumivor {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Runs the two-call protocol a host uses: ask for the size, then fetch the bytes.
Bytes marshalled(const ParameterRangeBaseInternal& range) {
    std::uint32_t size = 0;
    EXPECT_EQ(range.marshal(nullptr, &size), Error::BufferTooSmall);
    Bytes bytes(size, 0xAA);
    std::uint32_t capacity = size;
    EXPECT_EQ(range.marshal(bytes.data(), &capacity), Error::Success);
    EXPECT_EQ(capacity, size);
    return bytes;
}

void appendLe(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

Bytes header(std::uint8_t kind, std::uint8_t element) {
    return {1, kind, element, 0};
}

ParameterRangeInternal<int>* intRange(int lo, int hi, int step) {
    return new ParameterRangeInternal<int>(MinMaxStepRange, lo, hi, step);
}

TEST(ParameterRange, IntMinMaxStepWritesHeaderAndThreeLittleEndianValues) {
    const ParameterRangeInternal<int> range(MinMaxStepRange, -2, 0x01020304, 7);
    Bytes expected = header(0, 2);
    appendLe(expected, static_cast<std::uint32_t>(-2));
    appendLe(expected, 0x01020304);
    appendLe(expected, 7);
    EXPECT_EQ(marshalled(range), expected);
    EXPECT_EQ(range.getMin(), -2);
    EXPECT_EQ(range.getMax(), 0x01020304);
    EXPECT_EQ(range.getStep(), 7);
    EXPECT_EQ(range.rangeType(), MinMaxStepRange);
}

TEST(ParameterRange, FloatMinMaxStepWritesIeeeBits) {
    const ParameterRangeInternal<float> range(MinMaxStepRange, 0.5f, 80.25f, 0.1f);
    Bytes expected = header(0, 1);
    for (const float v : {0.5f, 80.25f, 0.1f}) {
        appendLe(expected, std::bit_cast<std::uint32_t>(v));
    }
    EXPECT_EQ(marshalled(range), expected);
}

TEST(ParameterRange, DiscreteSetKeepsTheGivenOrder) {
    const ParameterDiscreteSetInternal<int> set({3, 4, 2, 1});
    Bytes expected = header(1, 2);
    for (const std::uint32_t v : {4u, 3u, 4u, 2u, 1u}) {
        appendLe(expected, v);
    }
    EXPECT_EQ(marshalled(set), expected);
    EXPECT_EQ(set.getSupportedValues(), (std::vector<int>{3, 4, 2, 1}));
    EXPECT_EQ(set.rangeType(), DiscreteSetRange);
}

TEST(ParameterRange, EmptyDiscreteSetIsHeaderAndZeroCount) {
    const ParameterDiscreteSetInternal<int> set({});
    Bytes expected = header(1, 2);
    appendLe(expected, 0);
    EXPECT_EQ(marshalled(set), expected);
}

TEST(ParameterRange, RegionWritesItsFourComponentsInOrder) {
    const RegionOfInterestRangeInternal region(intRange(0, 303, 16), intRange(0, 239, 1),
                                               intRange(16, 320, 16), intRange(1, 240, 1));
    Bytes expected = header(2, 2);
    for (const std::uint32_t v : {0u, 303u, 16u, 0u, 239u, 1u, 16u, 320u, 16u, 1u, 240u, 1u}) {
        appendLe(expected, v);
    }
    const Bytes bytes = marshalled(region);
    EXPECT_EQ(bytes.size(), 52u);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(region.width().getMin(), 16);
    EXPECT_EQ(region.rangeType(), RegionOfInterestRange);
}

TEST(ParameterRange, SizeProtocol) {
    const ParameterDiscreteSetInternal<int> set({1, 2});  // 16 bytes
    Bytes buffer(32, 0xAA);

    EXPECT_EQ(set.marshal(buffer.data(), nullptr), Error::InvalidArgument);

    std::uint32_t size = 15;
    EXPECT_EQ(set.marshal(buffer.data(), &size), Error::BufferTooSmall);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(buffer, Bytes(32, 0xAA)) << "a refused call writes nothing";

    size = 16;
    EXPECT_EQ(set.marshal(nullptr, &size), Error::InvalidArgument);
    EXPECT_EQ(size, 16u);

    size = 32;  // more room than needed: only the needed bytes are written and reported
    EXPECT_EQ(set.marshal(buffer.data(), &size), Error::Success);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(buffer[16], 0xAA);
}

TEST(ParameterRange, RegionWithoutAComponentRefusesToMarshal) {
    const RegionOfInterestRangeInternal region(intRange(0, 1, 1), nullptr, intRange(0, 1, 1),
                                               intRange(0, 1, 1));
    std::uint32_t size = 64;
    Bytes buffer(64);
    EXPECT_EQ(region.marshal(buffer.data(), &size), Error::InvalidArgument);
}

// Counts destructions, to see who deletes what.
struct CountedRange : ParameterRangeInternal<int> {
    explicit CountedRange(int& deaths)
        : ParameterRangeInternal<int>(MinMaxStepRange, 0, 1, 1), deaths_(deaths) {}
    ~CountedRange() override { ++deaths_; }
    int& deaths_;
};

TEST(ParameterRange, RegionDeletesTheComponentsItTookOver) {
    int deaths = 0;
    {
        const RegionOfInterestRangeInternal region(
            new CountedRange(deaths), new CountedRange(deaths), new CountedRange(deaths),
            new CountedRange(deaths));
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 4);
}

TEST(ParameterRange, ReferenceCountDeletesAtZero) {
    int deaths = 0;
    auto* range = new CountedRange(deaths);
    EXPECT_EQ(range->referenceCount(), 1u);
    range->incref();
    range->decref();
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(range->referenceCount(), 1u);
    range->decref();
    EXPECT_EQ(deaths, 1);
}

TEST(ParameterRange, DeletionThroughTheBaseRunsTheDerivedDestructor) {
    int deaths = 0;
    std::unique_ptr<ParameterRangeBaseInternal> range(new CountedRange(deaths));
    range.reset();
    EXPECT_EQ(deaths, 1);
}

}  // namespace
}  // namespace Lumivor
