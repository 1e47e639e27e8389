#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "host/Crc32.h"
#include "host/ROM.h"
#include "interface/ByteOrder.h"

namespace Lumivor::ROM {
namespace {

using ByteList = std::vector<std::uint8_t>;

// ---- Records written by hand, independently of Configuration::serialize ----

struct RawEntry {
    std::uint16_t tag;
    std::uint32_t state;
    ByteList payload;
    std::optional<std::uint32_t> claimedLength = {};  // what the entry says its payload holds
};

struct RawRecord {
    std::vector<RawEntry> entries;
    std::optional<std::uint16_t> entryCount = {};  // defaults to the number of entries
    std::optional<std::uint32_t> bodyLength = {};  // defaults to the true length
    std::string_view magic = "LVRC";
    std::uint16_t version = 1;
    std::uint16_t sectionType = 3;
    std::uint16_t sectionNumber = 0;
};

// Rewrites the trailing checksum to match the bytes before it.
void reseal(ByteList& bytes) {
    const std::size_t covered = bytes.size() - 4;
    Bytes::Writer(bytes).patchU32(covered, Utils::crc32(std::span(bytes).first(covered)));
}

ByteList build(const RawRecord& r) {
    ByteList body;
    Bytes::Writer b(body);
    for (const RawEntry& e : r.entries) {
        b.u16(e.tag);
        b.u16(0);
        b.u32(e.state);
        b.u32(e.claimedLength.value_or(static_cast<std::uint32_t>(e.payload.size())));
        b.bytes(e.payload);
    }
    ByteList bytes;
    Bytes::Writer out(bytes);
    out.bytes({reinterpret_cast<const std::uint8_t*>(r.magic.data()), r.magic.size()});
    out.u16(r.version);
    out.u16(r.sectionType);
    out.u16(r.sectionNumber);
    out.u16(r.entryCount.value_or(static_cast<std::uint16_t>(r.entries.size())));
    out.u32(r.bodyLength.value_or(static_cast<std::uint32_t>(body.size())));
    out.bytes(body);
    out.u32(0);
    reseal(bytes);
    return bytes;
}

ByteList phasePayload(std::int16_t offset) {
    ByteList p;
    Bytes::Writer w(p);
    w.i16(offset);
    w.u16(0);
    return p;
}

ByteList floatsPayload(std::uint32_t count, const std::vector<float>& values) {
    ByteList p;
    Bytes::Writer w(p);
    w.u32(count);
    for (const float v : values) {
        w.f32(v);
    }
    return p;
}

ByteList compensationPayload(std::uint32_t kind, std::uint32_t count,
                             const std::vector<float>& values) {
    ByteList p;
    Bytes::Writer(p).u32(kind);
    const ByteList rest = floatsPayload(count, values);
    p.insert(p.end(), rest.begin(), rest.end());
    return p;
}

// The record the calibration read-back produces: offsets, two temperatures, two coefficients,
// kind 3, every state word 2.
RawRecord fullRaw() {
    return {{{1, 2, phasePayload(-8)},
             {2, 2, phasePayload(1000)},
             {3, 2, floatsPayload(2, {25.0f, 40.0f})},
             {4, 2, compensationPayload(3, 2, {1.5f, -1.5f})}}};
}

Configuration fullRecord() {
    Configuration c;
    c.phaseOffset1(PhaseOffset(-8));
    c.phaseOffset2(PhaseOffset(1000));
    TemperatureCalibrationData calibration;
    calibration.setValues({25.0f, 40.0f});
    c.temperatureCalibration1(calibration);
    TemperatureCompensationData compensation(3);
    compensation.setValues({1.5f, -1.5f});
    c.temperatureCompensation1(compensation);
    c.phaseOffset1().state = 2;
    c.phaseOffset2().state = 2;
    c.temperatureCalibration1().state = 2;
    c.temperatureCompensation1().state = 2;
    return c;
}

// ---- Factories ----

struct FactoryLog {
    int calls = 0;
    ContainerSectionType type{};
    std::uint16_t sectionNumber = 0;
};

// The plug-in's factory: a configuration for section type 3, nothing otherwise.
Object* pluginFactory(void* user, ContainerSectionType type, std::uint16_t sectionNumber) {
    if (auto* log = static_cast<FactoryLog*>(user)) {
        ++log->calls;
        log->type = type;
        log->sectionNumber = sectionNumber;
    }
    return type == ContainerSectionType::Configuration ? new Configuration : nullptr;
}

std::unique_ptr<Configuration> parse(const ByteList& bytes, FactoryLog* log = nullptr) {
    return std::unique_ptr<Configuration>(Configuration::deserialize(bytes, 0, pluginFactory, log));
}

// ---- Checksum ----

TEST(Crc32, MatchesTheStandardCheckValueAndChains) {
    const std::string_view text = "123456789";
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    EXPECT_EQ(Utils::crc32(bytes), 0xCBF43926u);
    EXPECT_EQ(Utils::crc32({}), 0u);
    EXPECT_EQ(Utils::crc32(bytes.subspan(4), Utils::crc32(bytes.first(4))), 0xCBF43926u);
    const ByteList zeros(32, 0);
    EXPECT_EQ(Utils::crc32(zeros), 0x190A55ADu);
}

// ---- Writing and reading back ----

TEST(RomConfiguration, AcceptedRecordsReadBackAsWritten) {
    Configuration extremes;
    extremes.phaseOffset1(PhaseOffset(std::numeric_limits<std::int16_t>::min()));
    extremes.phaseOffset2(PhaseOffset(std::numeric_limits<std::int16_t>::max()));
    TemperatureCalibrationData calibration;
    // NaN and -0 compare by their bits.
    calibration.setValues({std::nanf(""), -0.0f, std::numeric_limits<float>::infinity()});
    extremes.temperatureCalibration1(calibration);
    // A list far longer than the full record's: the record's size grows with its lists.
    TemperatureCompensationData compensation(0xFFFFFFFFu);
    std::vector<float> coefficients(64);
    for (std::size_t i = 0; i < coefficients.size(); ++i) {
        coefficients[i] = static_cast<float>(i) * -0.5f;
    }
    compensation.setValues(coefficients);
    extremes.temperatureCompensation1(compensation);
    extremes.phaseOffset2().state = 0xDEADBEEFu;

    RawRecord reordered = fullRaw();
    std::swap(reordered.entries[0], reordered.entries[3]);
    // Unknown tags are skipped by their length; the section number is not interpreted.
    RawRecord unknownTags = fullRaw();
    unknownTags.entries.insert(unknownTags.entries.begin() + 1, {9, 5, ByteList(7, 0xEE)});
    unknownTags.entries.push_back({0, 0, {}});
    unknownTags.entries.push_back({0xFFFF, 0, ByteList(3, 1)});
    unknownTags.sectionNumber = 0x1234;

    const std::pair<ByteList, Configuration> cases[] = {
        {fullRecord().serialize(), fullRecord()},
        {extremes.serialize(), extremes},
        {build(reordered), fullRecord()},
        {build(unknownTags), fullRecord()},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto back = parse(cases[i].first);
        ASSERT_NE(back, nullptr) << "case " << i;
        EXPECT_TRUE(*back == cases[i].second) << "case " << i;
    }
}

// ---- The factory ----

TEST(RomConfiguration, FactoryIsAskedOnceForAWellFormedRecordWithTheHeaderTypeAndNumber) {
    FactoryLog log;
    const auto back = std::unique_ptr<Configuration>(
        Configuration::deserialize(fullRecord().serialize(), 0x0102, pluginFactory, &log));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.type, ContainerSectionType::Configuration);
    EXPECT_EQ(log.sectionNumber, 0x0102);

    // A factory refusing the section type refuses the record.
    RawRecord raw = fullRaw();
    raw.sectionType = 5;
    log = {};
    EXPECT_EQ(parse(build(raw), &log), nullptr);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.type, ContainerSectionType{5});

    // Malformed bytes never reach it.
    ByteList bytes = fullRecord().serialize();
    bytes[20] ^= 1;
    log = {};
    EXPECT_EQ(parse(bytes, &log), nullptr);
    EXPECT_EQ(log.calls, 0);
}

int foreignDeaths = 0;
struct ForeignRecord : Object {
    ~ForeignRecord() override { ++foreignDeaths; }
    ContainerSectionType getType() const override { return ContainerSectionType::Configuration; }
    std::vector<std::uint8_t> serialize() const override { return {}; }
    bool operator==(const Object&) const override { return false; }
};

TEST(RomConfiguration, NoObjectOrAForeignObjectFromTheFactoryRefusesTheRecord) {
    const ByteList bytes = fullRecord().serialize();
    EXPECT_EQ(Configuration::deserialize(bytes, 0, nullptr, nullptr), nullptr);
    const auto none = [](void*, ContainerSectionType, std::uint16_t) -> Object* { return nullptr; };
    EXPECT_EQ(Configuration::deserialize(bytes, 0, none, nullptr), nullptr);
    // Not a configuration: deleted, not leaked.
    foreignDeaths = 0;
    const auto foreign = [](void*, ContainerSectionType, std::uint16_t) -> Object* {
        return new ForeignRecord;
    };
    EXPECT_EQ(Configuration::deserialize(bytes, 0, foreign, nullptr), nullptr);
    EXPECT_EQ(foreignDeaths, 1);
}

// ---- Rejections, one reason at a time ----

TEST(RomConfigurationRejects, EveryTruncation) {
    const ByteList bytes = fullRecord().serialize();
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        EXPECT_EQ(parse(ByteList(bytes.begin(), bytes.begin() + n)), nullptr) << n << " bytes";
    }
}

TEST(RomConfigurationRejects, EverySingleBitFlip) {
    const ByteList bytes = fullRecord().serialize();
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            ByteList flipped = bytes;
            flipped[at] ^= static_cast<std::uint8_t>(1u << bit);
            EXPECT_EQ(parse(flipped), nullptr) << "byte " << at << " bit " << bit;
        }
    }
}

// Records that are well sealed yet wrong inside, one fault each.
TEST(RomConfigurationRejects, RecordsThatDisagreeWithThemselves) {
    const auto trueLength = static_cast<std::uint32_t>(build(fullRaw()).size() - 20);
    std::vector<RawRecord> bad;
    const auto variant = [&](auto change) {
        RawRecord raw = fullRaw();
        change(raw);
        bad.push_back(raw);
    };
    // Header fields.
    variant([](RawRecord& r) { r.magic = "LVRD"; });
    for (const std::uint16_t version : {0, 2, 0x0100}) {
        variant([&](RawRecord& r) { r.version = version; });
    }
    for (const std::uint32_t claimed : {trueLength - 1, trueLength + 1, 0u, 0xFFFFFFFFu}) {
        variant([&](RawRecord& r) { r.bodyLength = claimed; });
    }
    for (const std::uint16_t count : {0, 3, 5, 0xFFFF}) {
        variant([&](RawRecord& r) { r.entryCount = count; });
    }
    // Unknown entries count too.
    variant([](RawRecord& r) {
        r.entries.push_back({7, 0, {}});
        r.entryCount = 4;
    });
    // A known tag twice.
    for (const std::size_t i : {0, 1, 2, 3}) {
        variant([&](RawRecord& r) { r.entries.push_back(r.entries[i]); });
    }
    // Payloads running past the body, of known and unknown tags.
    for (const std::uint16_t tag : {1, 3, 9}) {
        for (const std::uint32_t claimed : {9u, 0xFFFFFFFFu}) {
            bad.push_back({{{tag, 0, floatsPayload(1, {1.0f}), claimed}}});
        }
    }
    // Payload lengths that do not fit the entry's layout.
    auto oneTooLong = floatsPayload(1, {1.0f});
    oneTooLong.push_back(0);
    for (const RawEntry& e : std::vector<RawEntry>{
             {1, 0, {0x08, 0x00}},                             // phase offset of 2 bytes
             {2, 0, {0x08, 0x00, 0x00, 0x00, 0x00, 0x00}},     // phase offset of 6 bytes
             {3, 0, {}},                                       // list without its count
             {3, 0, floatsPayload(3, {1.0f, 2.0f})},           // count above the values
             {3, 0, floatsPayload(1, {1.0f, 2.0f})},           // count below the values
             {3, 0, floatsPayload(0xFFFFFFFFu, {1.0f})},       // count no payload can hold
             {3, 0, oneTooLong},                               // a stray byte after the values
             {4, 0, {3, 0, 0, 0}},                             // kind without a count
             {4, 0, compensationPayload(3, 2, {1.0f})},        // count above the values
             {4, 0, compensationPayload(3, 0x40000000u, {})},  // 4 GiB claimed in 8 bytes
         }) {
        bad.push_back({{e}});
    }
    for (std::size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(parse(build(bad[i])), nullptr) << "case " << i;
    }
    // A body that ends inside the header of a second entry.
    ByteList bytes = build({{{1, 0, phasePayload(8)}}, 2});
    bytes.insert(bytes.end() - 4, {2, 0, 0, 0, 0, 0});
    bytes[12] += 6;
    reseal(bytes);
    EXPECT_EQ(parse(bytes), nullptr);
}

}  // namespace
}  // namespace Lumivor::ROM
