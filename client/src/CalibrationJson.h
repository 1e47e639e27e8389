#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Values.h"
#include "host/ROM.h"

namespace vexar::detail {

// A serialised calibration record read with the host library; null when it does not read.
std::unique_ptr<Lumivor::ROM::Configuration> parseCalibration(
    const std::vector<std::uint8_t>& bytes);

// The readable form of a calibration record:
//   {"phaseOffset1": {"offset": 1000, "state": 2}, "phaseOffset2": {...},
//    "temperatureCalibration1": {"values": [25, 40], "state": 2},
//    "temperatureCompensation1": {"kind": 3, "values": [1.5, -1.5], "state": 2}}
// Reading it, a missing entry or "state" keeps the record's default; unknown members, values of
// the wrong type and offsets outside 16 bits are Error(BadInput).
Json calibrationToJson(const Lumivor::ROM::Configuration& record);
Lumivor::ROM::Configuration calibrationFromJson(const Json& json);

}  // namespace vexar::detail
