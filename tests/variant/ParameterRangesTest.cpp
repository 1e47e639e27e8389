#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "host/RangeDecoder.h"
#include "support/SimulatedCamera.h"

namespace Lumivor::Testing {
namespace {

using RangeWire::Bounds;
using RangeWire::RangeDescription;
using RangeWire::RegionBounds;

Bounds<float> floats(std::uint32_t minimum, std::uint32_t maximum, std::uint32_t step) {
    return {std::bit_cast<float>(minimum), std::bit_cast<float>(maximum),
            std::bit_cast<float>(step)};
}

class ParameterRangesTest : public SimulatedCameraTest {
  protected:
    // The marshalled range of a parameter, asked for with the size query first as hosts do.
    std::vector<std::uint8_t> marshalled(std::uint32_t id, ErrorCode* status) {
        std::uint32_t size = 0;
        *status = interp.getParameterRange(id, nullptr, &size);
        if (*status != Error::BufferTooSmall) {
            return {};
        }
        std::vector<std::uint8_t> bytes(size);
        *status = interp.getParameterRange(id, bytes.data(), &size);
        bytes.resize(size);
        return bytes;
    }
};

TEST_F(ParameterRangesTest, EveryParameterWithARangeMarshalsItsPublishedNumbers) {
    struct Case {
        std::uint32_t id;
        RangeDescription expected;
    };
    const Case cases[] = {
        // Voltages in percent; the left one steps by 0.1, the others by 0.01.
        {0, {floats(0, 0x42C80000, 0x3DCCCCCD)}},
        {1, {floats(0, 0x42C80000, 0x3C23D70A)}},
        {2, {floats(0, 0x42C80000, 0x3C23D70A)}},
        {3, {floats(0, 0x42700000, 0x3C23D70A)}},
        {4, {std::vector<int>{1, 2, 4, 8}}},
        {5, {floats(0, 0x3F000000, 0x33D6BF95)}},
        {6, {floats(0, 0x42480000, 0x3F800000)}},
        {8, {floats(0, 0x42480000, 0x3F800000)}},
        {9, {std::vector<int>{0, 2, 3}}},
        {10, {std::vector<int>{0, 1}}},
        {11, {std::vector<int>{3, 4, 2, 1}}},
        {13, {RegionBounds{{0, 303, 16}, {0, 239, 1}, {16, 320, 16}, {1, 240, 1}}}},
    };
    for (const Case& c : cases) {
        ErrorCode status = 0;
        const auto bytes = marshalled(c.id, &status);
        ASSERT_EQ(status, 0) << c.id << ": " << interp.lastError();
        const auto decoded = RangeWire::decodeRange(bytes);
        ASSERT_TRUE(decoded) << c.id << ": " << decoded.error;
        EXPECT_EQ(*decoded.range, c.expected) << "parameter " << c.id;
    }
    EXPECT_TRUE(module.transactions().empty()) << "ranges are constants of the module";
}

TEST_F(ParameterRangesTest, ParametersWithoutARangeAndUnknownOnesAreRefusedWithTheirIdentifier) {
    for (const std::uint32_t id : {7u, 12u, 14u, 15u}) {
        std::uint8_t buffer[64];
        std::uint32_t size = sizeof buffer;
        EXPECT_EQ(interp.getParameterRange(id, buffer, &size), -3) << id;
        EXPECT_EQ(interp.lastError(), "Could not get range for parameter " + std::to_string(id));
        EXPECT_EQ(size, sizeof buffer);
    }
    for (const std::uint32_t id : {16u, 99u}) {
        std::uint8_t buffer[64];
        std::uint32_t size = sizeof buffer;
        EXPECT_EQ(interp.getParameterRange(id, buffer, &size), -3);
        EXPECT_EQ(interp.lastError(), "Parameter " + std::to_string(id) + " not defined");
    }
}

TEST_F(ParameterRangesTest, TooSmallBufferReportsTheMarshalFailureAndTheNeededSize) {
    interp.setLastError("untouched");
    std::uint32_t size = 0;
    EXPECT_EQ(interp.getParameterRange(13, nullptr, &size), -6);
    EXPECT_EQ(interp.lastError(), "Failed to marshal range for parameter 13");
    const std::uint32_t needed = size;
    EXPECT_GT(needed, 0u);

    std::vector<std::uint8_t> bytes(needed);
    size = needed - 1;
    EXPECT_EQ(interp.getParameterRange(13, bytes.data(), &size), -6);
    EXPECT_EQ(size, needed);

    interp.setLastError("untouched");
    size = needed;
    EXPECT_EQ(interp.getParameterRange(13, bytes.data(), &size), 0);
    EXPECT_EQ(interp.lastError(), "untouched") << "success leaves the last error alone";
    EXPECT_EQ(interp.getParameterRange(3, nullptr, nullptr), -4);
    EXPECT_EQ(interp.lastError(), "untouched") << "a null size is refused without a text";
}

}  // namespace
}  // namespace Lumivor::Testing
