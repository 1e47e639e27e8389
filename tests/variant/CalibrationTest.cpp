#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/Crc32.h"
#include "host/ROM.h"
#include "support/SimulatedCamera.h"
#include "variant/SubRegisterTable.h"

namespace Lumivor::Testing {
namespace {

using ROM::ConfigurationEntry;
using namespace YorinD::Field;

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kSensor = 0x5C;
constexpr std::int32_t kHostFailure = -77;
// Serialised lengths: four entries with empty lists, and with two temperatures and two
// coefficients.
constexpr std::uint32_t kEmptyRecordSize = 88;
constexpr std::uint32_t kFullRecordSize = 104;

struct Calibration {
    std::int16_t offset1 = 0;
    std::int16_t offset2 = 0;
    std::uint32_t kind = 3;
    std::vector<float> temperatures = {25.0f, 40.0f};
    std::vector<float> coefficients = {1.5f, -1.5f};
};

ROM::Configuration toRecord(const Calibration& c) {
    ROM::Configuration record;
    record.phaseOffset1(ROM::PhaseOffset(c.offset1));
    record.phaseOffset2(ROM::PhaseOffset(c.offset2));
    ROM::TemperatureCalibrationData temperatures;
    temperatures.setValues(c.temperatures);
    record.temperatureCalibration1(temperatures);
    ROM::TemperatureCompensationData compensation(c.kind);
    compensation.setValues(c.coefficients);
    record.temperatureCompensation1(compensation);
    return record;
}

// The record the plug-in hands back: every state word 2.
ROM::Configuration expectedReadBack(const Calibration& c) {
    ROM::Configuration record = toRecord(c);
    for (const auto entry : {ConfigurationEntry::PhaseOffset1, ConfigurationEntry::PhaseOffset2,
                             ConfigurationEntry::TemperatureCalibration1,
                             ConfigurationEntry::TemperatureCompensation1}) {
        record.setState(entry, 2);
    }
    return record;
}

std::unique_ptr<ROM::Configuration> parse(const Bytes& bytes) {
    const auto any = [](void*, ROM::ContainerSectionType, std::uint16_t) -> ROM::Object* {
        return new ROM::Configuration;
    };
    return std::unique_ptr<ROM::Configuration>(
        ROM::Configuration::deserialize(bytes, 0, any, nullptr));
}

class CalibrationTest : public SimulatedCameraTest {
  protected:
    ErrorCode write(const Bytes& bytes) {
        return interp.writeCalibration(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    ErrorCode write(const Calibration& c) { return write(toRecord(c).serialize()); }

    // Fetches the record with the two-call size protocol.
    std::unique_ptr<ROM::Configuration> readBack() {
        std::uint32_t size = 0;
        EXPECT_EQ(interp.readCalibration(nullptr, &size), Error::BufferTooSmall);
        Bytes bytes(size);
        EXPECT_EQ(interp.readCalibration(bytes.data(), &size), Error::Success);
        auto record = parse(bytes);
        EXPECT_NE(record, nullptr);
        return record;
    }

    // Every calibration field set to a non-zero value, so that writes of 0 show.
    void dirtyCalibrationFields() {
        for (const std::uint32_t index :
             {PhaseOffset1, PhaseOffset2, IlluminationReferenceTemp, SensorReferenceTemp,
              Coefficient0, Coefficient0Copy, Coefficient1, Coefficient1Copy}) {
            module.setField(index, 0x5);
        }
        module.setField(PhaseOffsetDisable, 1);
        module.setField(CompensationDisable, 0);
    }
};

// ---- Encodings, through the sensor and back ----

TEST_F(CalibrationTest, PhaseOffsetsGoToTheirFieldsAndComeBackInStepsOf8) {
    struct Case {
        std::int16_t offset;
        std::uint32_t field;
        std::int16_t readBack;
    };
    // Outside -16384 ... 16383 the offset comes back 32768 away.
    for (const Case c : {Case{1000, 125, 1000}, Case{-7, 0xFFF, -8}, Case{16383, 0x7FF, 16376},
                         Case{-16384, 0x800, -16384}, Case{20000, 2500, -12768},
                         Case{16384, 0x800, -16384}, Case{-16385, 0x7FF, 16376}}) {
        ASSERT_EQ(write(Calibration{.offset1 = c.offset, .offset2 = c.offset}), Error::Success);
        EXPECT_EQ(module.field(PhaseOffset1), c.field) << c.offset;
        EXPECT_EQ(module.field(PhaseOffset2), c.field) << c.offset;
        const auto record = readBack();
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->phaseOffset1().offset(), c.readBack) << c.offset;
        EXPECT_EQ(record->phaseOffset2().offset(), c.readBack) << c.offset;
    }
}

TEST_F(CalibrationTest, CoefficientsGoToFieldAndMirrorInHalfUnitsRoundedAwayFromZero) {
    struct Case {
        float coefficient;
        std::uint32_t field;
        float readBack;
    };
    // The largest value 17 bits hold; its negation is the smallest but one.
    for (const Case c : {Case{1.25f, 3, 1.5f}, Case{-1.25f, 0x1FFFD, -1.5f}, Case{0.2f, 0, 0.0f},
                         Case{-0.25f, 0x1FFFF, -0.5f}, Case{32767.5f, 0xFFFF, 32767.5f}}) {
        // The same number in both places would hide a swap of coefficients, so [1] is negated.
        ASSERT_EQ(write(Calibration{.coefficients = {c.coefficient, -c.coefficient}}), 0);
        const std::uint32_t negated = (0x20000 - c.field) & 0x1FFFF;
        EXPECT_EQ(module.field(Coefficient0), c.field) << c.coefficient;
        EXPECT_EQ(module.field(Coefficient0Copy), c.field) << c.coefficient;
        EXPECT_EQ(module.field(Coefficient1), negated) << c.coefficient;
        EXPECT_EQ(module.field(Coefficient1Copy), negated) << c.coefficient;
        const auto record = readBack();
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->temperatureCompensation1().values(),
                  (std::vector<float>{c.readBack, -c.readBack}));
    }
    // 2 x 40000 = 80000 = 0x13880: beyond 17 bits only the low bits are kept.
    ASSERT_EQ(write(Calibration{.coefficients = {40000.0f, 0.0f}}), Error::Success);
    EXPECT_EQ(module.field(Coefficient0), 0x13880u);
}

TEST_F(CalibrationTest, TemperaturesAreWholeDegreesTowardZeroAndComeBackAsFloats) {
    struct Case {
        std::vector<float> temperatures;
        std::uint32_t illumination, sensor;
    };
    // The maximum itself passes the "less than" check; temperatures beyond the first two are
    // only checked for their sign.
    for (const Case& c :
         {Case{{25.7f, 40.2f}, 25, 40}, Case{{-0.0f, 0.9f}, 0, 0}, Case{{255.9f, 255.0f}, 255, 255},
          Case{{10.0f, 20.0f, 1000.0f}, 10, 20}}) {
        ASSERT_EQ(write(Calibration{.temperatures = c.temperatures}), Error::Success);
        EXPECT_EQ(module.field(IlluminationReferenceTemp), c.illumination);
        EXPECT_EQ(module.field(SensorReferenceTemp), c.sensor);
        const auto record = readBack();
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(
            record->temperatureCalibration1().values(),
            (std::vector<float>{static_cast<float>(c.illumination), static_cast<float>(c.sensor)}));
    }
}

// ---- Records without temperature compensation ----

TEST_F(CalibrationTest, CompensationOffSkipsTheListsAndZeroesTheirFields) {
    dirtyCalibrationFields();
    // Lists that would be refused with compensation on.
    ASSERT_EQ(write(Calibration{.offset1 = 1000,
                                .offset2 = -7,
                                .kind = 0,
                                .temperatures = {-5.0f, 900.0f},
                                .coefficients = {1.0f, 2.0f, 3.0f}}),
              Error::Success);
    EXPECT_EQ(module.field(PhaseOffsetDisable), 0u);
    EXPECT_EQ(module.field(PhaseOffset1), 125u);
    EXPECT_EQ(module.field(PhaseOffset2), 0xFFFu);
    EXPECT_EQ(module.field(CompensationDisable), 1u);
    for (const std::uint32_t index : {IlluminationReferenceTemp, SensorReferenceTemp, Coefficient0,
                                      Coefficient0Copy, Coefficient1, Coefficient1Copy}) {
        EXPECT_EQ(module.field(index), 0u) << "field " << index;
    }
}

// ---- Refusals: nothing reaches the sensor ----

TEST_F(CalibrationTest, RefusedRecordFailsWithItsCodeAndTextBeforeAnyBusTraffic) {
    const std::string expecting2 = "expecting 2 reference temperatures";
    const std::string negative = "reference temperatures must be greater than 0 degree Celsius";
    struct Refusal {
        Calibration record;
        ErrorCode code;
        std::string message;
    };
    const Refusal refusals[] = {
        {{.coefficients = {1, 2, 3}}, -4, expecting2},
        {{.coefficients = {1}}, -4, expecting2},
        // The count is checked before any temperature, signs before either maximum.
        {{.temperatures = {-1, 999}, .coefficients = {1, 2, 3}}, -4, expecting2},
        {{.temperatures = {25}}, -4, expecting2},
        {{.temperatures = {-0.5f, 40}}, -5, negative},
        {{.temperatures = {25, -1}}, -5, negative},
        {{.temperatures = {25, 40, -1}}, -5, negative},
        {{.temperatures = {300, -1}}, -5, negative},
        {{.temperatures = {25, 256}},
         -5,
         "sensor calibration must be less than 255 degree Celsius"},
        {{.temperatures = {1000, 1000}},
         -5,
         "illumination calibration must be less than 255 degree Celsius"},
    };
    dirtyCalibrationFields();
    for (const Refusal& r : refusals) {
        interp.setLastError("earlier text");
        EXPECT_EQ(write(r.record), r.code) << r.message;
        EXPECT_EQ(interp.lastError(), r.message);
    }
    EXPECT_EQ(module.transactionCount(), 0u);
}

TEST_F(CalibrationTest, MalformedBytesFailToUnmarshalWithoutBusTraffic) {
    const Bytes valid = toRecord(Calibration{.offset1 = 1000}).serialize();
    Bytes flipped = valid;
    flipped[20] ^= 0x01;
    // A well-formed container of another section type: only the plug-in's factory refuses it.
    Bytes otherSection = valid;
    otherSection[6] = 5;
    const std::uint32_t crc =
        Utils::crc32(std::span<const std::uint8_t>(otherSection.data(), otherSection.size() - 4));
    for (int i = 0; i < 4; ++i) {
        otherSection[otherSection.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    }
    std::vector<Bytes> malformed{Bytes(104, 0xAB), flipped, otherSection};
    for (std::size_t length = 0; length < valid.size(); ++length) {
        malformed.emplace_back(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(length));
    }
    for (const Bytes& bytes : malformed) {
        interp.setLastError("earlier text");
        EXPECT_EQ(write(bytes), Error::InvalidArgument) << bytes.size() << " bytes";
        EXPECT_EQ(interp.lastError(), "failed to unmarshal calibration") << bytes.size();
    }
    EXPECT_EQ(module.transactionCount(), 0u);

    // Null data with a size is refused before any decoding, without a text.
    interp.setLastError("earlier text");
    EXPECT_EQ(interp.writeCalibration(nullptr, 104), Error::InvalidArgument);
    EXPECT_EQ(interp.lastError(), "earlier text");
    EXPECT_EQ(module.transactionCount(), 0u);
}

// ---- Bus order ----

TEST_F(CalibrationTest, WriteIsTenReadModifyWritesInFieldOrderAndLeavesTheLastError) {
    interp.setLastError("earlier text");
    ASSERT_EQ(write(Calibration{}), Error::Success);
    EXPECT_EQ(accesses(), (std::vector<Access>{
                              R(kSensor, 0x51), W(kSensor, 0x51),  // 128 offset disable
                              R(kSensor, 0x37), W(kSensor, 0x37),  // 84 offset 1
                              R(kSensor, 0x38), W(kSensor, 0x38),  // 46 offset 2
                              R(kSensor, 0x51), W(kSensor, 0x51),  // 129 compensation disable
                              R(kSensor, 0x51), W(kSensor, 0x51),  // 125 illumination
                              R(kSensor, 0x51), W(kSensor, 0x51),  // 126 sensor
                              R(kSensor, 0x47), W(kSensor, 0x47),  // 111 coefficient 0
                              R(kSensor, 0x49), W(kSensor, 0x49),  // 113 its mirror
                              R(kSensor, 0x48), W(kSensor, 0x48),  // 112 coefficient 1
                              R(kSensor, 0x4A), W(kSensor, 0x4A),  // 116 its mirror
                          }));
    EXPECT_EQ(interp.lastError(), "earlier text");
}

TEST_F(CalibrationTest, ReadSkipsTheFieldsADisableBitSwitchesOffAndWritesNothing) {
    struct Case {
        std::uint32_t offsetsOff, compensationOff;
        std::vector<Access> reads;
        std::uint32_t size;
    };
    const Case cases[] = {
        {0,
         0,
         {R(kSensor, 0x51), R(kSensor, 0x37), R(kSensor, 0x38), R(kSensor, 0x51), R(kSensor, 0x51),
          R(kSensor, 0x51), R(kSensor, 0x47), R(kSensor, 0x49), R(kSensor, 0x48), R(kSensor, 0x4A)},
         kFullRecordSize},
        {1,
         0,
         {R(kSensor, 0x51), R(kSensor, 0x51), R(kSensor, 0x51), R(kSensor, 0x51), R(kSensor, 0x47),
          R(kSensor, 0x49), R(kSensor, 0x48), R(kSensor, 0x4A)},
         kFullRecordSize},
        {0,
         1,
         {R(kSensor, 0x51), R(kSensor, 0x37), R(kSensor, 0x38), R(kSensor, 0x51)},
         kEmptyRecordSize},
    };
    for (const Case& c : cases) {
        module.setField(PhaseOffsetDisable, c.offsetsOff);
        module.setField(CompensationDisable, c.compensationOff);
        module.setField(PhaseOffset1, 125);
        module.clearLog();
        std::uint32_t size = 0;
        ASSERT_EQ(interp.readCalibration(nullptr, &size), Error::BufferTooSmall);
        EXPECT_EQ(accesses(), c.reads) << c.offsetsOff << c.compensationOff;
        EXPECT_EQ(size, c.size);
        const auto record = readBack();
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->phaseOffset1().offset(), c.offsetsOff == 0 ? 1000 : 0);
    }
}

TEST_F(CalibrationTest, ReadUsesThePrimaryCoefficientFieldsNotTheirMirrors) {
    module.setField(Coefficient0, 3);
    module.setField(Coefficient0Copy, 9);
    module.setField(Coefficient1, 0x1FFFD);
    module.setField(Coefficient1Copy, 9);
    const auto record = readBack();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->temperatureCompensation1().values(), (std::vector<float>{1.5f, -1.5f}));
}

// ---- Round trips ----

TEST_F(CalibrationTest, RoundTripReadsBackWhatWasWrittenAndTakesTheReadBackAgain) {
    const Calibration records[] = {
        {},
        {.offset1 = -16384,
         .offset2 = 16376,
         .kind = 7,
         .temperatures = {255.0f, 0.0f},
         .coefficients = {-32768.0f, 32767.5f}},
        {.offset1 = 8, .offset2 = -8, .kind = 0, .temperatures = {}, .coefficients = {}},
    };
    for (const Calibration& c : records) {
        ASSERT_EQ(write(c), Error::Success);
        const auto record = readBack();
        ASSERT_NE(record, nullptr);
        // Every value here is already representable, so it comes back unchanged; the sensor
        // does not keep a compensation kind, so any other than 0 reads back as 3.
        Calibration expected = c;
        expected.kind = c.kind == 0 ? 0 : 3;
        EXPECT_TRUE(*record == expectedReadBack(expected)) << c.offset1;
        // A record the plug-in gave out is accepted back as it is.
        std::uint32_t size = kFullRecordSize;
        Bytes bytes(size);
        ASSERT_EQ(interp.readCalibration(bytes.data(), &size), Error::Success);
        bytes.resize(c.kind == 0 ? kEmptyRecordSize : kFullRecordSize);
        ASSERT_EQ(write(bytes), Error::Success);
        const auto again = readBack();
        ASSERT_NE(again, nullptr);
        EXPECT_TRUE(*again == *record) << c.offset1;
    }
}

// ---- Host failures ----

// The failures themselves are swept elsewhere; here the caller's buffer and size must stay.
TEST_F(CalibrationTest, ReadFailureAtAnyTransactionLeavesTheCallersBuffer) {
    for (std::size_t n = 1; n <= 10; ++n) {
        failAt(n, kHostFailure);
        Bytes buffer(kFullRecordSize, 0xEE);
        std::uint32_t size = kFullRecordSize;
        EXPECT_EQ(interp.readCalibration(buffer.data(), &size), kHostFailure) << n;
        EXPECT_EQ(module.transactionCount(), n) << n;
        EXPECT_EQ(size, kFullRecordSize) << n;
        EXPECT_EQ(buffer, Bytes(kFullRecordSize, 0xEE)) << "the caller's buffer stays, n = " << n;
    }
}

// ---- Size protocol of the read ----

TEST_F(CalibrationTest, ReadSizeProtocol) {
    Bytes buffer(kFullRecordSize + 16, 0xEE);
    interp.setLastError("earlier text");
    std::uint32_t size = kFullRecordSize - 1;
    EXPECT_EQ(interp.readCalibration(buffer.data(), &size), Error::BufferTooSmall);
    EXPECT_EQ(size, kFullRecordSize);
    EXPECT_EQ(buffer, Bytes(kFullRecordSize + 16, 0xEE)) << "one byte short touches nothing";
    EXPECT_EQ(interp.lastError(), "earlier text");

    EXPECT_EQ(interp.readCalibration(nullptr, &size), Error::InvalidArgument);
    EXPECT_EQ(size, kFullRecordSize);

    // A larger buffer gets the record at its start and keeps the caller's size.
    size = static_cast<std::uint32_t>(buffer.size());
    ASSERT_EQ(interp.readCalibration(buffer.data(), &size), Error::Success);
    EXPECT_EQ(size, kFullRecordSize + 16);
    EXPECT_NE(parse(Bytes(buffer.begin(), buffer.begin() + kFullRecordSize)), nullptr);
    EXPECT_EQ(Bytes(buffer.begin() + kFullRecordSize, buffer.end()), Bytes(16, 0xEE));

    module.clearLog();
    EXPECT_EQ(interp.readCalibration(buffer.data(), nullptr), Error::InvalidArgument);
    EXPECT_EQ(module.transactionCount(), 0u);
}

}  // namespace
}  // namespace Lumivor::Testing
