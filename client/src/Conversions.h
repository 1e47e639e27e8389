#pragma once

#include <cstdint>

#include "Values.h"
#include "host/RangeDecoder.h"
#include "vexar/camera.hpp"

// Between the public types and the ones the plug-in's exports and records speak.
namespace vexar::detail {

vexar::ValueType toPublic(ValueType type);
ValueType toInternal(vexar::ValueType type);
vexar::Value toPublic(const Value& value);
Value toInternal(const vexar::Value& value);
vexar::Range toPublic(const Lumivor::RangeWire::RangeDescription& range);
vexar::Access toPublicAccess(std::uint32_t access);

// "min=0 max=60 step=0.01", "values=1,2,4,8", per region field "x=0..303/16 ...".
std::string describeRange(const Lumivor::RangeWire::RangeDescription& range);

}  // namespace vexar::detail
