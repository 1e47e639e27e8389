#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Little-endian byte helpers shared by every byte format of the project: the host library's
// containers and ranges, the plug-in's value records and its register transfers. Header-only and
// not exported: every user compiles its own copy.
namespace Lumivor::Bytes {

// The low count bytes of v, least significant first. Byte by byte, so that the compiler never
// needs an alignment or a wide access the caller's buffer does not promise.
constexpr void storeLittleEndian(std::uint8_t* out, std::uint32_t v, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

constexpr std::uint32_t loadLittleEndian(const std::uint8_t* in, std::size_t count) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < count; ++i) {
        v |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    }
    return v;
}

// Appends little-endian values to a byte list. Writers that know their size up front reserve it,
// so that the list is allocated once instead of growing as the bytes arrive.
class Writer {
  public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
    Writer(std::vector<std::uint8_t>& out, std::size_t expectedSize) : out_(out) {
        out_.reserve(out_.size() + expectedSize);
    }

    void u8(std::uint8_t v) { out_.push_back(v); }
    void u16(std::uint16_t v) { put(v, 2); }
    void u32(std::uint32_t v) { put(v, 4); }
    void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }
    void bytes(std::span<const std::uint8_t> b) {
        // Grown, then copied into: a range insert into an empty list trips a false overflow
        // warning of GCC 12.
        const std::size_t at = out_.size();
        out_.resize(at + b.size());
        std::copy(b.begin(), b.end(), out_.begin() + static_cast<std::ptrdiff_t>(at));
    }

    // Overwrites four bytes already written, for lengths known only afterwards.
    void patchU32(std::size_t at, std::uint32_t v) { storeLittleEndian(&out_[at], v, 4); }
    std::size_t position() const { return out_.size(); }

  private:
    // One size change per value rather than per byte.
    void put(std::uint32_t v, std::size_t count) {
        const std::size_t at = out_.size();
        out_.resize(at + count);
        storeLittleEndian(&out_[at], v, count);
    }

    std::vector<std::uint8_t>& out_;
};

// Reads little-endian values from a byte span. Every read is bounds-checked: past the end it
// answers nothing and the cursor stays where it was.
class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}

    std::optional<std::uint8_t> u8() { return take<std::uint8_t>(1); }
    std::optional<std::uint16_t> u16() { return take<std::uint16_t>(2); }
    std::optional<std::uint32_t> u32() { return take<std::uint32_t>(4); }
    std::optional<std::int16_t> i16() { return as<std::int16_t>(u16()); }
    std::optional<std::int32_t> i32() { return as<std::int32_t>(u32()); }
    std::optional<float> f32() {
        const auto bits = u32();
        return bits ? std::optional<float>(std::bit_cast<float>(*bits)) : std::nullopt;
    }
    // The next count bytes as a span of their own, or nothing when fewer remain.
    std::optional<std::span<const std::uint8_t>> bytes(std::size_t count) {
        if (count > remaining()) {
            return std::nullopt;
        }
        const auto part = in_.subspan(at_, count);
        at_ += count;
        return part;
    }

    std::size_t remaining() const { return in_.size() - at_; }
    std::size_t position() const { return at_; }

  private:
    template <typename T>
    std::optional<T> take(std::size_t count) {
        if (count > remaining()) {
            return std::nullopt;
        }
        const std::uint32_t v = loadLittleEndian(&in_[at_], count);
        at_ += count;
        return static_cast<T>(v);
    }
    template <typename Signed, typename Unsigned>
    static std::optional<Signed> as(std::optional<Unsigned> v) {
        return v ? std::optional<Signed>(static_cast<Signed>(*v)) : std::nullopt;
    }

    std::span<const std::uint8_t> in_;
    std::size_t at_ = 0;
};

}  // namespace Lumivor::Bytes
