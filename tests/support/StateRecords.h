#pragma once

#include <bit>
#include <cstdint>
#include <utility>
#include <variant>
#include <vector>

#include "host/RegionOfInterestInternal.h"

namespace Lumivor::Testing {

// A parameter value of any of the four value types.
using Value = std::variant<float, int, bool, RegionOfInterestInternal>;
using StateRecords = std::vector<std::pair<std::uint8_t, Value>>;

// Builds a state buffer byte by byte, independently of the plug-in's own encoder.
inline std::vector<std::uint8_t> stateBytes(const StateRecords& records) {
    std::vector<std::uint8_t> out;
    auto put16 = [&](std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto put32 = [&](std::uint32_t v) {
        put16(v);
        put16(v >> 16);
    };
    for (const auto& [id, value] : records) {
        out.push_back(id);
        if (const float* f = std::get_if<float>(&value)) {
            put32(std::bit_cast<std::uint32_t>(*f));
        } else if (const int* i = std::get_if<int>(&value)) {
            put32(static_cast<std::uint32_t>(*i));
        } else if (const bool* b = std::get_if<bool>(&value)) {
            out.push_back(*b ? 1 : 0);
        } else {
            const auto& r = std::get<RegionOfInterestInternal>(value);
            for (const std::int32_t v : {r.x, r.y, r.width, r.height}) {
                put16(static_cast<std::uint32_t>(v));
            }
        }
    }
    return out;
}

}  // namespace Lumivor::Testing
