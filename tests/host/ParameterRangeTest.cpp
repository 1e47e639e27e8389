#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "host/ParameterRange.h"
#include "vexar_param_interp.h"

namespace Lumivor {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The header and little-endian words of a marshalled range, written out by hand.
Bytes wire(std::uint8_t kind, std::uint8_t element, std::initializer_list<std::uint32_t> words) {
    Bytes out{1, kind, element, 0};
    for (const std::uint32_t v : words) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    return out;
}

ParameterRangeInternal<int>* intRange(int lo, int hi, int step) {
    return new ParameterRangeInternal<int>(MinMaxStepRange, lo, hi, step);
}

// The plug-in's own ranges are on record with the bus transcripts; these are the shapes it
// does not advertise today.
TEST(ParameterRange, MarshalsItsHeaderAndValuesThroughTheTwoCallProtocol) {
    struct Case {
        const char* name;
        std::unique_ptr<ParameterRangeBaseInternal> range;
        Bytes expected;
    };
    Case cases[] = {
        {"int", std::make_unique<ParameterRangeInternal<int>>(MinMaxStepRange, -2, 0x01020304, 7),
         wire(0, 2, {0xFFFFFFFEu, 0x01020304, 7})},
        {"empty set", std::make_unique<ParameterDiscreteSetInternal<int>>(std::vector<int>{}),
         wire(1, 2, {0})},
    };
    for (const Case& c : cases) {
        std::uint32_t size = 0;
        EXPECT_EQ(c.range->marshal(nullptr, &size), VEXAR_BUFFER_TOO_SMALL) << c.name;
        Bytes bytes(size, 0xAA);
        EXPECT_EQ(c.range->marshal(bytes.data(), &size), VEXAR_SUCCESS) << c.name;
        EXPECT_EQ(size, c.expected.size()) << c.name;
        EXPECT_EQ(bytes, c.expected) << c.name;
        EXPECT_EQ(c.range->rangeType(), static_cast<ParameterRangeTypeInternal>(c.expected[1]));
    }
}

TEST(ParameterRange, SizeProtocol) {
    const ParameterDiscreteSetInternal<int> set({1, 2});  // 16 bytes
    Bytes buffer(32, 0xAA);

    EXPECT_EQ(set.marshal(buffer.data(), nullptr), VEXAR_INVALID_ARGUMENT);

    std::uint32_t size = 15;
    EXPECT_EQ(set.marshal(buffer.data(), &size), VEXAR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(buffer, Bytes(32, 0xAA)) << "a refused call writes nothing";

    size = 16;
    EXPECT_EQ(set.marshal(nullptr, &size), VEXAR_INVALID_ARGUMENT);
    EXPECT_EQ(size, 16u);

    size = 32;  // more room than needed: only the needed bytes are written and reported
    EXPECT_EQ(set.marshal(buffer.data(), &size), VEXAR_SUCCESS);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(buffer[16], 0xAA);

    const RegionOfInterestRangeInternal incomplete(intRange(0, 1, 1), nullptr, intRange(0, 1, 1),
                                                   intRange(0, 1, 1));
    size = 64;
    Bytes room(64);
    EXPECT_EQ(incomplete.marshal(room.data(), &size), VEXAR_INVALID_ARGUMENT);
}

// Counts destructions, to see who deletes what.
struct CountedRange : ParameterRangeInternal<int> {
    explicit CountedRange(int& deaths)
        : ParameterRangeInternal<int>(MinMaxStepRange, 0, 1, 1), deaths_(deaths) {}
    ~CountedRange() override { ++deaths_; }
    int& deaths_;
};

TEST(ParameterRange, OwnershipRegionComponentsReferenceCountsAndTheBaseDestructor) {
    int deaths = 0;
    {
        const RegionOfInterestRangeInternal region(
            new CountedRange(deaths), new CountedRange(deaths), new CountedRange(deaths),
            new CountedRange(deaths));
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 4) << "the region deletes the components it took over";

    auto* range = new CountedRange(deaths);
    EXPECT_EQ(range->referenceCount(), 1u);
    range->incref();
    range->decref();
    EXPECT_EQ(deaths, 4);
    range->decref();
    EXPECT_EQ(deaths, 5) << "the last reference deletes";

    std::unique_ptr<ParameterRangeBaseInternal> base(new CountedRange(deaths));
    base.reset();
    EXPECT_EQ(deaths, 6) << "deletion through the base runs the derived destructor";
}

}  // namespace
}  // namespace Lumivor
