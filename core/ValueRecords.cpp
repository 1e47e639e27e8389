#include "core/ValueRecords.h"

#include <bit>
#include <memory>
#include <span>

#include "host/EnumCast.h"
#include "host/Format.h"
#include "host/LVLogger.h"
#include "interface/ByteOrder.h"

namespace Lumivor {

namespace {

struct RecordLayout {
    ValueType type;
    std::uint32_t length;  // identifier byte included
};

constexpr RecordLayout kRecordLayouts[] = {
    {ValueType::Float, 5},
    {ValueType::Int, 5},
    {ValueType::Bool, 2},
    {ValueType::RegionOfInterest, 9},
};

void store16(std::uint8_t* p, std::uint32_t v) {
    Bytes::storeLittleEndian(p, v, 2);
}

void store32(std::uint8_t* p, std::uint32_t v) {
    Bytes::storeLittleEndian(p, v, 4);
}

// The payload's length was checked against the record's layout, so every read finds its bytes.
std::unique_ptr<ParameterValue> decodePayload(std::uint32_t valueType, std::uint32_t id,
                                              std::span<const std::uint8_t> payload) {
    Bytes::Reader in(payload);
    switch (static_cast<ValueType>(valueType)) {
        case ValueType::Float:
            return std::make_unique<ParameterValueImpl<float>>(valueType, id, *in.f32());
        case ValueType::Int:
            return std::make_unique<ParameterValueImpl<int>>(valueType, id, *in.i32());
        case ValueType::Bool:
            return std::make_unique<ParameterValueImpl<bool>>(valueType, id, *in.u8() != 0);
        case ValueType::RegionOfInterest: {
            const RegionOfInterestInternal roi{*in.u16(), *in.u16(), *in.u16(), *in.u16()};
            return std::make_unique<ParameterValueImpl<RegionOfInterestInternal>>(valueType, id,
                                                                                  roi);
        }
    }
    return nullptr;
}

// Writes the value into the payload; false when the table holds no value of that type.
bool encodePayload(const ValueTable& table, std::uint32_t valueType, std::uint32_t id,
                   std::uint8_t* payload) {
    switch (static_cast<ValueType>(valueType)) {
        case ValueType::Float:
            if (const auto* v = table.findAs<float>(id)) {
                store32(payload, std::bit_cast<std::uint32_t>(v->getValue()));
                return true;
            }
            return false;
        case ValueType::Int:
            if (const auto* v = table.findAs<int>(id)) {
                store32(payload, static_cast<std::uint32_t>(v->getValue()));
                return true;
            }
            return false;
        case ValueType::Bool:
            if (const auto* v = table.findAs<bool>(id)) {
                payload[0] = v->getValue() ? 0xFF : 0x00;
                return true;
            }
            return false;
        case ValueType::RegionOfInterest:
            if (const auto* v = table.findAs<RegionOfInterestInternal>(id)) {
                const RegionOfInterestInternal roi = v->getValue();
                store16(payload, static_cast<std::uint32_t>(roi.x));
                store16(payload + 2, static_cast<std::uint32_t>(roi.y));
                store16(payload + 4, static_cast<std::uint32_t>(roi.width));
                store16(payload + 6, static_cast<std::uint32_t>(roi.height));
                return true;
            }
            return false;
    }
    return false;
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
    record.length = valueRecordLength(record.valueType);
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

std::uint32_t valueRecordLength(std::uint32_t valueType) {
    for (const RecordLayout& layout : kRecordLayouts) {
        if (code(layout.type) == valueType) {
            return layout.length;
        }
    }
    return 0;
}

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
        if (!encodePayload(table, record.valueType, record.id, buffer + position + 1)) {
            return Error::InvalidArgument;
        }
        position += record.length;
    }
    return Error::Success;
}

}  // namespace Lumivor
