#include "host/Crc32.h"

#include <array>
#include <cstddef>

#include "interface/ByteOrder.h"

namespace Lumivor::Utils {

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;
constexpr std::size_t kSlice = 8;

using Table = std::array<std::uint32_t, 256>;

// Table 0 is the classic byte table; table k advances a byte's remainder by k more zero bytes,
// so that eight bytes are folded in with eight independent look-ups instead of a chain of eight.
// A calibration record is about a hundred bytes, which makes this most of its read's own cost.
constexpr std::array<Table, kSlice> makeTables() {
    std::array<Table, kSlice> tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1u) != 0 ? kPolynomial ^ (c >> 1) : c >> 1;
        }
        tables[0][n] = c;
    }
    for (std::size_t k = 1; k < kSlice; ++k) {
        for (std::uint32_t n = 0; n < 256; ++n) {
            const std::uint32_t previous = tables[k - 1][n];
            tables[k][n] = (previous >> 8) ^ tables[0][previous & 0xFFu];
        }
    }
    return tables;
}

constexpr auto kTables = makeTables();

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
    crc = ~crc;
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    for (; left >= kSlice; left -= kSlice, p += kSlice) {
        const std::uint32_t low = crc ^ Bytes::loadLittleEndian(p, 4);
        const std::uint32_t high = Bytes::loadLittleEndian(p + 4, 4);
        crc = kTables[7][low & 0xFFu] ^ kTables[6][(low >> 8) & 0xFFu] ^
              kTables[5][(low >> 16) & 0xFFu] ^ kTables[4][low >> 24] ^ kTables[3][high & 0xFFu] ^
              kTables[2][(high >> 8) & 0xFFu] ^ kTables[1][(high >> 16) & 0xFFu] ^
              kTables[0][high >> 24];
    }
    for (; left > 0; --left, ++p) {
        crc = kTables[0][(crc ^ *p) & 0xFFu] ^ (crc >> 8);
    }
    return ~crc;
}

}  // namespace Lumivor::Utils
