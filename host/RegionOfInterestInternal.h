#pragma once

#include <cstdint>

// The host's plain record of a rectangle. The public C header of the plug-in declares the same
// record under the same guard, so the two can be included together.
#ifndef LUMIVOR_REGION_OF_INTEREST_INTERNAL_DEFINED
#define LUMIVOR_REGION_OF_INTEREST_INTERNAL_DEFINED
typedef struct RegionOfInterestInternal {
    std::int32_t x, y, width, height;
} RegionOfInterestInternal;
#endif

static_assert(sizeof(RegionOfInterestInternal) == 16);

inline bool operator==(const RegionOfInterestInternal& a, const RegionOfInterestInternal& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
