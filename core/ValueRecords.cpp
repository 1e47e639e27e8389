#include "core/ValueRecords.h"

#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <variant>

#include "host/EnumCast.h"
#include "host/Format.h"
#include "host/LVLogger.h"
#include "interface/ByteOrder.h"
#include "records/ValueRecord.h"

namespace Lumivor {

namespace {

// The record's value, boxed for the table; the payload's length was checked against the record's,
// so every read finds its bytes.
std::unique_ptr<ParameterValue> decodePayload(std::uint32_t valueType, std::uint32_t id,
                                              std::span<const std::uint8_t> payload) {
    Bytes::Reader in(payload);
    const std::optional<Records::Value> value =
        Records::readPayload(in, static_cast<ValueType>(valueType));
    if (!value) {
        return nullptr;
    }
    return std::visit(
        [&]<typename T>(const T& v) -> std::unique_ptr<ParameterValue> {
            return std::make_unique<ParameterValueImpl<T>>(valueType, id, v);
        },
        *value);
}

// Writes the table's value into the payload; false when the table holds no value of that type.
bool encodePayload(const ValueTable& table, std::uint32_t valueType, std::uint32_t id,
                   std::span<std::uint8_t> payload) {
    const std::optional<Records::Value> value = Records::withValueType(
        static_cast<ValueType>(valueType),
        [&]<typename T>(std::type_identity<T>) -> std::optional<Records::Value> {
            if (const auto* boxed = table.findAs<T>(id)) {
                return Records::Value{boxed->getValue()};
            }
            return std::nullopt;
        });
    if (!value) {
        return false;
    }
    Records::storePayload(payload, *value);
    return true;
}

// The identifier, value type and length of the record at the position, refusing a record the
// interpreter does not know or one that does not fit in the buffer.
struct Record {
    std::uint32_t id = 0;
    std::uint32_t valueType = 0;
    std::uint32_t length = 0;
};

ErrorCode examineRecord(const ValueTypeLookup& valueTypeOf, const std::uint8_t* buffer,
                        std::uint32_t size, std::uint32_t position, Record& record) {
    record.id = code(enum_cast<ParameterType>(buffer[position]));
    const ErrorCode status = valueTypeOf(record.id, &record.valueType);
    if (status != Error::Success) {
        return status;
    }
    record.length = Records::recordLength(record.valueType);
    if (record.length == 0 || record.length > size - position) {
        return Error::InvalidArgument;
    }
    return Error::Success;
}

void logSearch(const Record& record, std::uint32_t position) {
    // The reference instance() took goes back even when formatting the line runs out of memory.
    const auto release = [](Utils::LVLogger* logger) { logger->release(); };
    const std::unique_ptr<Utils::LVLogger, decltype(release)> logger(Utils::LVLogger::instance(),
                                                                     release);
    if (logger == nullptr) {
        return;
    }
    logger->info(Utils::Format("SEARCHING FOR pType=%, address=%, vtype=%") % record.id % position %
                 record.valueType);
}

}  // namespace

ErrorCode decodeValueRecords(ValueTypeLookup valueTypeOf, ValueTable& table,
                             const std::uint8_t* buffer, std::uint32_t size) {
    for (std::uint32_t position = 0; position < size;) {
        Record record;
        const ErrorCode status = examineRecord(valueTypeOf, buffer, size, position, record);
        if (status != Error::Success) {
            return status;
        }
        table.store(
            decodePayload(record.valueType, record.id, {buffer + position + 1, record.length - 1}));
        position += record.length;
    }
    return Error::Success;
}

ErrorCode encodeValueRecords(ValueTypeLookup valueTypeOf, const ValueTable& table,
                             std::uint8_t* buffer, std::uint32_t size) {
    for (std::uint32_t position = 0; position < size;) {
        Record record;
        const ErrorCode status = examineRecord(valueTypeOf, buffer, size, position, record);
        if (status != Error::Success) {
            return status;
        }
        logSearch(record, position);
        if (!encodePayload(table, record.valueType, record.id,
                           {buffer + position + 1, record.length - 1})) {
            return Error::InvalidArgument;
        }
        position += record.length;
    }
    return Error::Success;
}

}  // namespace Lumivor
