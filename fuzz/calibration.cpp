// The calibration container deserializer and writeCalibration on the same bytes.
//
// Input: one flag byte, then the record. Flag bit 0 recomputes the CRC trailer and bit 1 the
// body length, so that mutations get past the integrity checks into the entry parser.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "host/Crc32.h"
#include "host/ROM.h"

namespace {

using namespace Lumivor;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kTrailerSize = 4;
constexpr std::size_t kBodyLengthOffset = 12;
// Ten fields, each a read and a write.
constexpr std::size_t kWriteTransactions = 20;

ROM::Object* configurationsOnly(void*, ROM::ContainerSectionType type, std::uint16_t) {
    return type == ROM::ContainerSectionType::Configuration ? new ROM::Configuration : nullptr;
}

std::unique_ptr<ROM::Configuration> parse(const Bytes& bytes) {
    return std::unique_ptr<ROM::Configuration>(
        ROM::Configuration::deserialize(bytes, 0, &configurationsOnly, nullptr));
}

void putU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

Bytes prepare(std::uint8_t flags, Bytes bytes) {
    if (bytes.size() < kHeaderSize + kTrailerSize) {
        return bytes;
    }
    if (flags & 2) {
        putU32(bytes, kBodyLengthOffset,
               static_cast<std::uint32_t>(bytes.size() - kHeaderSize - kTrailerSize));
    }
    if (flags & 1) {
        const std::size_t covered = bytes.size() - kTrailerSize;
        putU32(bytes, covered, Utils::crc32(std::span<const std::uint8_t>(bytes.data(), covered)));
    }
    return bytes;
}

Bytes readBack(void* instance) {
    std::uint32_t size = 0;
    FUZZ_CHECK(readCalibration(instance, nullptr, &size) == VEXAR_BUFFER_TOO_SMALL);
    Bytes bytes(size);
    FUZZ_CHECK(readCalibration(instance, bytes.data(), &size) == VEXAR_SUCCESS);
    return bytes;
}

std::int32_t write(void* instance, const Bytes& bytes) {
    return writeCalibration(instance, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::InputReader in(data, size);
    const std::uint8_t flags = in.u8();
    const Bytes bytes = prepare(flags, in.bytes(size));

    // A record the container accepts survives its own serialisation unchanged.
    const auto record = parse(bytes);
    if (record) {
        const Bytes serialised = record->serialize();
        const auto again = parse(serialised);
        FUZZ_CHECK(again != nullptr);
        FUZZ_CHECK(again->operator==(*record));
        FUZZ_CHECK(again->serialize() == serialised);
    }

    // The plug-in refuses exactly what the container refuses, and refuses before the bus.
    Fuzz::Plugin plugin;
    const std::int32_t status = write(plugin.instance, bytes);
    FUZZ_CHECK(status == VEXAR_SUCCESS || status == VEXAR_INVALID_ARGUMENT ||
               status == VEXAR_OUT_OF_RANGE);
    const std::string text = plugin.lastError();
    FUZZ_CHECK((record == nullptr) ==
               (status == VEXAR_INVALID_ARGUMENT && text == "failed to unmarshal calibration"));
    if (status != VEXAR_SUCCESS) {
        FUZZ_CHECK(plugin.bus.transactions().size() == 0);
        FUZZ_CHECK(!text.empty());
        return 0;
    }
    FUZZ_CHECK(plugin.bus.transactions().size() == kWriteTransactions);

    // What the sensor holds is already in its own resolution: writing the record read back
    // and reading again changes nothing.
    const Bytes first = readBack(plugin.instance);
    FUZZ_CHECK(parse(first) != nullptr);
    FUZZ_CHECK(write(plugin.instance, first) == VEXAR_SUCCESS);
    FUZZ_CHECK(readBack(plugin.instance) == first);
    return 0;
}
