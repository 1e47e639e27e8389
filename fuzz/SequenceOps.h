#pragma once

#include <cstdint>

namespace Lumivor::Fuzz {

// The steps of a sequence-fuzzer program: an operation byte (taken modulo Count), a slot byte
// (bit 0 picks one of two instances, each with its own module), then the operation's own
// arguments as sequence.cpp reads them.
enum class Op : std::uint8_t {
    Create,
    Destroy,
    Initialize,
    Dispose,
    Read,
    Write,
    UnitAndAccess,
    Range,
    WriteState,
    ReadState,
    WriteCalibration,
    ReadCalibration,
    PhaseScaling,
    LastError,
    FailNth,
    FailDevice,
    ClearFaults,
    ResetModule,
    SetField,
    SetRegion,
    Identity,
    Count,
};

}  // namespace Lumivor::Fuzz
