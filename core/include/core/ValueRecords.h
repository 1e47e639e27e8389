#pragma once

#include <concepts>
#include <cstdint>

#include "core/ErrorCode.h"
#include "core/ValueTable.h"

namespace Lumivor {

// A buffer of value records is a plain run of records (records/ValueRecord.h gives one record's
// bytes) with no header or count. The record does not carry its type: a lookup is asked.

// The one question the codec asks of the parameters: the value type of an identifier, or the
// code that says there is none. Refers to its source, which must outlive it; copying it costs
// two pointers and allocates nothing.
class ValueTypeLookup {
  public:
    template <typename Source>
    requires requires(Source& source, std::uint32_t id, std::uint32_t* type) {
        { source.getValueType(id, type) } -> std::same_as<ErrorCode>;
    }
    ValueTypeLookup(Source& source)  // NOLINT(google-explicit-constructor): a view
        : source_(&source), lookup_([](void* s, std::uint32_t id, std::uint32_t* type) {
              return static_cast<Source*>(s)->getValueType(id, type);
          }) {}

    ErrorCode operator()(std::uint32_t id, std::uint32_t* type) const {
        return lookup_(source_, id, type);
    }

  private:
    void* source_;
    ErrorCode (*lookup_)(void*, std::uint32_t, std::uint32_t*);
};

// Reads every record into the table. Stops at the first identifier the interpreter does not
// know (its code) or at a record that runs past the size (InvalidArgument); values stored
// before stay in the table.
ErrorCode decodeValueRecords(ValueTypeLookup valueTypeOf, ValueTable& table,
                             const std::uint8_t* buffer, std::uint32_t size);

// Overwrites the payload of every record the buffer holds with the table's value for its
// identifier; identifier bytes are left alone. Stops like the decoder, and also at an
// identifier the table has no value of that type for (InvalidArgument).
ErrorCode encodeValueRecords(ValueTypeLookup valueTypeOf, const ValueTable& table,
                             std::uint8_t* buffer, std::uint32_t size);

}  // namespace Lumivor
