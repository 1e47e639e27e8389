#pragma once

#include <cstdint>

#include "core/ValueTable.h"
#include "host/ErrorCode.h"

namespace Lumivor {

class VEXARParameterInterpreter;

// A buffer of value records is a plain run of records, each an identifier byte followed by
// the value in the encoding of that parameter's value type (little-endian; bool one byte;
// region four 16-bit numbers). The record does not carry its type: the interpreter is asked.

// Record length (identifier byte included) for a value type, or 0 for an unknown one.
std::uint32_t valueRecordLength(std::uint32_t valueType);

// Reads every record into the table. Stops at the first identifier the interpreter does not
// know (its code) or at a record that runs past the size (InvalidArgument); values stored
// before stay in the table.
ErrorCode decodeValueRecords(VEXARParameterInterpreter& interpreter, ValueTable& table,
                             const std::uint8_t* buffer, std::uint32_t size);

// Overwrites the payload of every record the buffer holds with the table's value for its
// identifier; identifier bytes are left alone. Stops like the decoder, and also at an
// identifier the table has no value of that type for (InvalidArgument).
ErrorCode encodeValueRecords(VEXARParameterInterpreter& interpreter, const ValueTable& table,
                             std::uint8_t* buffer, std::uint32_t size);

}  // namespace Lumivor
