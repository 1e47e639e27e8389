#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <variant>
#include <vector>

#include "host/ParameterTypes.h"
#include "host/RegionOfInterestInternal.h"
#include "interface/ByteOrder.h"

// One value record: an identifier byte, then the value in the encoding of the parameter's value
// type, little-endian (float and int 4 bytes, bool 1 byte, a region four 16-bit numbers). A
// record does not carry its type; whoever reads it asks the parameter's.
namespace Lumivor::Records {

// One parameter's value, in the type of the export that reads or writes it.
using Value = std::variant<float, std::int32_t, bool, RegionOfInterestInternal>;

// What a true flag is written as; any non-zero byte reads back as true.
inline constexpr std::uint8_t kTrueByte = 0xFF;

// Calls visit with std::type_identity<T> for the C++ type T of the value type, so that a switch
// over the value types is written once; nothing for a value type the records do not know.
template <typename Visit>
constexpr auto withValueType(ValueType type, Visit&& visit)
    -> decltype(visit(std::type_identity<float>{})) {
    switch (type) {
        case ValueType::Float:
            return visit(std::type_identity<float>{});
        case ValueType::Int:
            return visit(std::type_identity<std::int32_t>{});
        case ValueType::Bool:
            return visit(std::type_identity<bool>{});
        case ValueType::RegionOfInterest:
            return visit(std::type_identity<RegionOfInterestInternal>{});
    }
    return {};
}

template <typename T>
constexpr std::uint32_t payloadLength() {
    if constexpr (std::is_same_v<T, bool>) {
        return 1;
    } else if constexpr (std::is_same_v<T, RegionOfInterestInternal>) {
        return 8;
    } else {
        static_assert(std::is_same_v<T, float> || std::is_same_v<T, std::int32_t>);
        return 4;
    }
}

// The record's length, identifier byte included, or 0 for a value type there is no record of.
constexpr std::uint32_t recordLength(std::uint32_t valueType) {
    return withValueType(
        static_cast<ValueType>(valueType),
        []<typename T>(std::type_identity<T>) -> std::uint32_t { return 1 + payloadLength<T>(); });
}
static_assert(recordLength(VEXAR_VALUE_FLOAT) == 5 && recordLength(VEXAR_VALUE_INT) == 5 &&
              recordLength(VEXAR_VALUE_BOOL) == 2 &&
              recordLength(VEXAR_VALUE_REGION_OF_INTEREST) == 9);

// The value of the type that the payload's first bytes hold; nothing when they run out first or
// the type is unknown.
inline std::optional<Value> readPayload(Bytes::Reader& in, ValueType type) {
    return withValueType(type, [&]<typename T>(std::type_identity<T>) -> std::optional<Value> {
        if constexpr (std::is_same_v<T, float>) {
            if (const auto v = in.f32()) return Value{*v};
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            if (const auto v = in.i32()) return Value{*v};
        } else if constexpr (std::is_same_v<T, bool>) {
            if (const auto v = in.u8()) return Value{*v != 0};
        } else {
            const auto x = in.u16(), y = in.u16(), width = in.u16(), height = in.u16();
            if (x && y && width && height) {
                return Value{RegionOfInterestInternal{*x, *y, *width, *height}};
            }
        }
        return std::nullopt;
    });
}

// Writes the value's payload over the bytes, which hold at least its payload length. Region
// fields keep their low 16 bits.
inline void storePayload(std::span<std::uint8_t> payload, const Value& value) {
    struct Store {
        std::uint8_t* out;
        void operator()(float v) const { u32(std::bit_cast<std::uint32_t>(v)); }
        void operator()(std::int32_t v) const { u32(static_cast<std::uint32_t>(v)); }
        void operator()(bool v) const { out[0] = v ? kTrueByte : 0x00; }
        void operator()(const RegionOfInterestInternal& r) const {
            std::uint8_t* at = out;
            for (const std::int32_t field : {r.x, r.y, r.width, r.height}) {
                Bytes::storeLittleEndian(at, static_cast<std::uint32_t>(field), 2);
                at += 2;
            }
        }
        void u32(std::uint32_t v) const { Bytes::storeLittleEndian(out, v, 4); }
    };
    std::visit(Store{payload.data()}, value);
}

// Appends a whole record.
inline void appendRecord(std::vector<std::uint8_t>& out, std::uint8_t id, const Value& value) {
    const std::size_t at = out.size();
    const std::uint32_t length =
        std::visit([]<typename T>(const T&) { return 1 + payloadLength<T>(); }, value);
    out.resize(at + length);
    out[at] = id;
    storePayload(std::span(out).subspan(at + 1), value);
}

}  // namespace Lumivor::Records
