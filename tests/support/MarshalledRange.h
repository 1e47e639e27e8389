#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/VEXARParameterInterpreter.h"
#include "host/RangeDecoder.h"

namespace Lumivor::Testing {

// The range of a parameter as the host receives it: marshalled by getParameterRange and decoded
// again. A failure on either side fails the calling test and yields an empty description.
inline RangeWire::RangeDescription marshalledRange(VEXARParameterInterpreter& interp,
                                                   std::uint32_t id) {
    std::vector<std::uint8_t> bytes(64);
    auto size = static_cast<std::uint32_t>(bytes.size());
    EXPECT_EQ(interp.getParameterRange(id, bytes.data(), &size), 0) << "parameter " << id;
    bytes.resize(size);
    const RangeWire::DecodedRange decoded = RangeWire::decodeRange(bytes);
    EXPECT_TRUE(decoded) << "parameter " << id << ": " << decoded.error;
    return decoded ? *decoded.range : RangeWire::RangeDescription{};
}

}  // namespace Lumivor::Testing
