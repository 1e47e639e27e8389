#pragma once

// The host's plain record of a rectangle is the one the plug-in's public header declares.
#include "vexar_param_interp.h"

inline bool operator==(const RegionOfInterestInternal& a, const RegionOfInterestInternal& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
