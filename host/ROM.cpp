#include "host/ROM.h"

#include <algorithm>
#include <bit>
#include <bitset>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>

#include "host/Crc32.h"
#include "interface/ByteOrder.h"

namespace Lumivor::ROM {

namespace {

constexpr std::array<std::uint8_t, 4> kMagic = {'L', 'V', 'R', 'C'};
constexpr std::uint16_t kVersion = 1;
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kCrcSize = 4;
constexpr std::size_t kBodyLengthAt = 12;
constexpr std::size_t kEntryCount = std::tuple_size_v<Configuration::Entries>;

using Bytes::Reader;
using Bytes::Writer;

// Payload layouts, one pair of functions per entry type. A reader is handed exactly the
// payload and fails unless the layout accounts for every byte of it.

void writePayload(Writer& out, const PhaseOffset& v) {
    out.i16(v.offset());
    out.u16(0);
}

void writeFloats(Writer& out, const std::vector<float>& values) {
    out.u32(static_cast<std::uint32_t>(values.size()));
    for (const float f : values) {
        out.f32(f);
    }
}

void writePayload(Writer& out, const TemperatureCalibrationData& v) {
    writeFloats(out, v.values());
}

void writePayload(Writer& out, const TemperatureCompensationData& v) {
    out.u32(v.kind());
    writeFloats(out, v.values());
}

// Bytes each payload takes, so that a record is serialised into one allocation.
constexpr std::size_t kEntryHeaderSize = 12;  // tag, reserved half, state word, payload length
std::size_t payloadSize(const PhaseOffset&) {
    return 4;
}
std::size_t payloadSize(const TemperatureCalibrationData& v) {
    return 4 + 4 * v.values().size();
}
std::size_t payloadSize(const TemperatureCompensationData& v) {
    return 8 + 4 * v.values().size();
}

bool readPayload(Reader& in, PhaseOffset& v) {
    const auto offset = in.i16();
    if (!offset || !in.u16()) {
        return false;
    }
    v.setOffset(*offset);
    return true;
}

template <typename Entry>
bool readFloats(Reader& in, Entry& v) {
    const auto count = in.u32();
    // The count must describe the rest of the payload exactly; only then is it trusted with
    // an allocation.
    if (!count || in.remaining() / 4 != *count || in.remaining() % 4 != 0) {
        return false;
    }
    std::vector<float> values;
    values.reserve(*count);
    while (in.remaining() > 0) {
        values.push_back(*in.f32());
    }
    v.setValues(std::move(values));
    return true;
}

bool readPayload(Reader& in, TemperatureCalibrationData& v) {
    return readFloats(in, v);
}

bool readPayload(Reader& in, TemperatureCompensationData& v) {
    const auto kind = in.u32();
    if (!kind || !readFloats(in, v)) {
        return false;
    }
    v.setKind(*kind);
    return true;
}

template <typename T>
void writeEntry(Writer& out, std::uint16_t tag, const T& entry) {
    out.u16(tag);
    out.u16(0);
    out.u32(entry.state);
    const std::size_t lengthAt = out.position();
    out.u32(0);  // payload length, known once the payload is written
    writePayload(out, entry);
    out.patchU32(lengthAt, static_cast<std::uint32_t>(out.position() - lengthAt - 4));
}

// Calls f with the entry whose tag is given; false for tags the record does not know.
template <typename F>
bool withEntry(Configuration::Entries& entries, std::uint16_t tag, F&& f) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return ((tag == I + 1 ? (f(std::get<I>(entries)), true) : false) || ...);
    }
    (std::make_index_sequence<kEntryCount>{});
}

// Entries sit at the tag minus one.
constexpr std::size_t slot(ConfigurationEntry entry) {
    return static_cast<std::size_t>(entry) - 1;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](float x, float y) {
        return std::bit_cast<std::uint32_t>(x) == std::bit_cast<std::uint32_t>(y);
    });
}

struct Header {
    ContainerSectionType type;
    std::uint16_t entryCount;
};

// Checks the frame of a record (size, magic, version, body length, checksum).
std::optional<Header> readFrame(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize + kCrcSize) {
        return std::nullopt;
    }
    Reader in(bytes);
    const auto magic = in.bytes(kMagic.size());
    if (!std::equal(magic->begin(), magic->end(), kMagic.begin())) {
        return std::nullopt;
    }
    const auto version = in.u16();
    const auto type = in.u16();
    in.u16();  // section number: written as 0, not interpreted
    const auto entryCount = in.u16();
    const auto bodyLength = in.u32();
    if (*version != kVersion || *bodyLength != bytes.size() - kHeaderSize - kCrcSize) {
        return std::nullopt;
    }
    const std::size_t covered = bytes.size() - kCrcSize;
    Reader trailer(bytes.subspan(covered));
    if (Utils::crc32(bytes.first(covered)) != *trailer.u32()) {
        return std::nullopt;
    }
    return Header{static_cast<ContainerSectionType>(*type), *entryCount};
}

}  // namespace

Object::~Object() = default;

void TemperatureCalibrationData::setValues(std::vector<float> values) {
    values_ = std::move(values);
}

bool TemperatureCalibrationData::operator==(const TemperatureCalibrationData& other) const {
    return state == other.state && sameBits(values_, other.values_);
}

void TemperatureCompensationData::setValues(std::vector<float> values) {
    values_ = std::move(values);
}

bool TemperatureCompensationData::operator==(const TemperatureCompensationData& other) const {
    return state == other.state && kind_ == other.kind_ && sameBits(values_, other.values_);
}

Configuration::Configuration() = default;
Configuration::Configuration(const Configuration&) = default;
Configuration& Configuration::operator=(const Configuration&) = default;
Configuration::~Configuration() = default;

ContainerSectionType Configuration::getType() const {
    return ContainerSectionType::Configuration;
}

bool Configuration::operator==(const Object& other) const {
    const auto* that = dynamic_cast<const Configuration*>(&other);
    return that != nullptr && entries_ == that->entries_;
}

std::vector<std::uint8_t> Configuration::serialize() const {
    const std::size_t entriesSize = std::apply(
        [](const auto&... entry) { return ((kEntryHeaderSize + payloadSize(entry)) + ...); },
        entries_);
    std::vector<std::uint8_t> bytes;
    Writer out(bytes, kHeaderSize + entriesSize + kCrcSize);
    out.bytes(kMagic);
    out.u16(kVersion);
    out.u16(static_cast<std::uint16_t>(getType()));
    out.u16(0);  // section number
    out.u16(static_cast<std::uint16_t>(kEntryCount));
    out.u32(0);  // body length, known once the entries are written

    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (writeEntry(out, static_cast<std::uint16_t>(I + 1), std::get<I>(entries_)), ...);
    }
    (std::make_index_sequence<kEntryCount>{});

    out.patchU32(kBodyLengthAt, static_cast<std::uint32_t>(bytes.size() - kHeaderSize));
    out.u32(Utils::crc32(bytes));
    return bytes;
}

Configuration* Configuration::deserialize(const std::vector<std::uint8_t>& bytes,
                                          std::uint16_t sectionNumber, Factory factory,
                                          void* user) {
    const std::span<const std::uint8_t> all(bytes);
    const auto header = readFrame(all);
    if (!header || factory == nullptr) {
        return nullptr;
    }

    Configuration parsed;
    std::bitset<kEntryCount> seen;
    std::size_t found = 0;
    Reader body(all.subspan(kHeaderSize, bytes.size() - kHeaderSize - kCrcSize));
    while (body.remaining() > 0) {
        const auto tag = body.u16();
        const auto reserved = body.u16();
        const auto state = body.u32();
        const auto length = body.u32();
        if (!tag || !reserved || !state || !length) {
            return nullptr;  // entry header beyond the body
        }
        const auto payload = body.bytes(*length);
        if (!payload) {
            return nullptr;
        }
        ++found;
        bool wellFormed = true;
        const bool known = withEntry(parsed.entries_, *tag, [&](auto& entry) {
            Reader in(*payload);
            wellFormed = !seen.test(*tag - 1) && readPayload(in, entry) && in.remaining() == 0;
            entry.state = *state;
        });
        if (!known) {
            continue;  // a newer writer's entry: skipped by its length
        }
        if (!wellFormed) {
            return nullptr;
        }
        seen.set(*tag - 1);
    }
    if (found != header->entryCount) {
        return nullptr;
    }

    Object* made = factory(user, header->type, sectionNumber);
    auto* record = dynamic_cast<Configuration*>(made);
    if (record == nullptr) {
        delete made;
        return nullptr;
    }
    *record = parsed;
    return record;
}

void Configuration::phaseOffset1(PhaseOffset value) {
    std::get<slot(ConfigurationEntry::PhaseOffset1)>(entries_) = value;
}
void Configuration::phaseOffset2(PhaseOffset value) {
    std::get<slot(ConfigurationEntry::PhaseOffset2)>(entries_) = value;
}
void Configuration::temperatureCalibration1(TemperatureCalibrationData value) {
    std::get<slot(ConfigurationEntry::TemperatureCalibration1)>(entries_) = std::move(value);
}
void Configuration::temperatureCompensation1(TemperatureCompensationData value) {
    std::get<slot(ConfigurationEntry::TemperatureCompensation1)>(entries_) = std::move(value);
}

const PhaseOffset& Configuration::phaseOffset1() const {
    return std::get<slot(ConfigurationEntry::PhaseOffset1)>(entries_);
}
const PhaseOffset& Configuration::phaseOffset2() const {
    return std::get<slot(ConfigurationEntry::PhaseOffset2)>(entries_);
}
const TemperatureCalibrationData& Configuration::temperatureCalibration1() const {
    return std::get<slot(ConfigurationEntry::TemperatureCalibration1)>(entries_);
}
const TemperatureCompensationData& Configuration::temperatureCompensation1() const {
    return std::get<slot(ConfigurationEntry::TemperatureCompensation1)>(entries_);
}

PhaseOffset& Configuration::phaseOffset1() {
    return std::get<slot(ConfigurationEntry::PhaseOffset1)>(entries_);
}
PhaseOffset& Configuration::phaseOffset2() {
    return std::get<slot(ConfigurationEntry::PhaseOffset2)>(entries_);
}
TemperatureCalibrationData& Configuration::temperatureCalibration1() {
    return std::get<slot(ConfigurationEntry::TemperatureCalibration1)>(entries_);
}
TemperatureCompensationData& Configuration::temperatureCompensation1() {
    return std::get<slot(ConfigurationEntry::TemperatureCompensation1)>(entries_);
}

}  // namespace Lumivor::ROM
