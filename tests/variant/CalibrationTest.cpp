#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/Crc32.h"
#include "host/ROM.h"
#include "support/SimulatedCamera.h"
#include "variant/SubRegisterIndex.h"

namespace Lumivor::Testing {
namespace {

using ROM::ConfigurationEntry;
using YorinD::Field::Coefficient0;
using YorinD::Field::Coefficient0Copy;
using YorinD::Field::Coefficient1;
using YorinD::Field::Coefficient1Copy;
using YorinD::Field::CompensationDisable;
using YorinD::Field::IlluminationReferenceTemp;
using YorinD::Field::PhaseOffset1;
using YorinD::Field::PhaseOffset2;
using YorinD::Field::PhaseOffsetDisable;
using YorinD::Field::SensorReferenceTemp;

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kSensor = 0x5C;
constexpr std::int32_t kHostFailure = -77;
// Serialised lengths: four entries with empty lists, and with two temperatures and two
// coefficients.
constexpr std::uint32_t kEmptyRecordSize = 88;
constexpr std::uint32_t kFullRecordSize = 104;

constexpr ConfigurationEntry kEntries[] = {
    ConfigurationEntry::PhaseOffset1, ConfigurationEntry::PhaseOffset2,
    ConfigurationEntry::TemperatureCalibration1, ConfigurationEntry::TemperatureCompensation1};

struct Calibration {
    std::int16_t offset1 = 0;
    std::int16_t offset2 = 0;
    std::uint32_t kind = 3;
    std::vector<float> temperatures = {25.0f, 40.0f};
    std::vector<float> coefficients = {1.5f, -1.5f};
};

void PrintTo(const Calibration& c, std::ostream* os) {
    *os << "offsets " << c.offset1 << ", " << c.offset2 << " kind " << c.kind << " temperatures "
        << ::testing::PrintToString(c.temperatures) << " coefficients "
        << ::testing::PrintToString(c.coefficients);
}

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

Bytes serialize(const Calibration& c) {
    return toRecord(c).serialize();
}

// The record the plug-in hands back: every state word 2.
ROM::Configuration expectedReadBack(const Calibration& c) {
    ROM::Configuration record = toRecord(c);
    for (const auto entry : kEntries) {
        record.setState(entry, 2);
    }
    return record;
}

ROM::Object* anyConfiguration(void*, ROM::ContainerSectionType, std::uint16_t) {
    return new ROM::Configuration;
}

std::unique_ptr<ROM::Configuration> parse(const Bytes& bytes) {
    return std::unique_ptr<ROM::Configuration>(
        ROM::Configuration::deserialize(bytes, 0, &anyConfiguration, nullptr));
}

void resealCrc(Bytes& bytes) {
    const std::uint32_t crc =
        Utils::crc32(std::span<const std::uint8_t>(bytes.data(), bytes.size() - 4));
    for (int i = 0; i < 4; ++i) {
        bytes[bytes.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    }
}

class CalibrationTest : public SimulatedCameraTest {
  protected:
    ErrorCode write(const Bytes& bytes) {
        return interp.writeCalibration(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    ErrorCode write(const Calibration& c) { return write(serialize(c)); }

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

struct PhaseOffsetCase {
    std::int16_t offset;
    std::uint32_t field;
    std::int16_t readBack;
};

class PhaseOffsetEncoding : public CalibrationTest,
                            public ::testing::WithParamInterface<PhaseOffsetCase> {};

TEST_P(PhaseOffsetEncoding, BothOffsetsGoToTheirFieldsAndComeBackInStepsOf8) {
    const PhaseOffsetCase c = GetParam();
    ASSERT_EQ(write(Calibration{.offset1 = c.offset, .offset2 = c.offset}), Error::Success);
    EXPECT_EQ(module.field(PhaseOffset1), c.field);
    EXPECT_EQ(module.field(PhaseOffset2), c.field);
    const auto record = readBack();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->phaseOffset1().offset(), c.readBack);
    EXPECT_EQ(record->phaseOffset2().offset(), c.readBack);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PhaseOffsetEncoding,
    ::testing::Values(PhaseOffsetCase{1000, 125, 1000}, PhaseOffsetCase{7, 0, 0},
                      PhaseOffsetCase{-7, 0xFFF, -8}, PhaseOffsetCase{0, 0, 0},
                      PhaseOffsetCase{-8, 0xFFF, -8}, PhaseOffsetCase{16383, 0x7FF, 16376},
                      PhaseOffsetCase{-16384, 0x800, -16384},
                      // Outside -16384 ... 16383 the offset comes back 32768 away.
                      PhaseOffsetCase{20000, 2500, -12768}, PhaseOffsetCase{16384, 0x800, -16384},
                      PhaseOffsetCase{-16385, 0x7FF, 16376}, PhaseOffsetCase{32767, 0xFFF, -8},
                      PhaseOffsetCase{-32768, 0, 0}));

struct CoefficientCase {
    float coefficient;
    std::uint32_t field;
    float readBack;
};

class CoefficientEncoding : public CalibrationTest,
                            public ::testing::WithParamInterface<CoefficientCase> {};

TEST_P(CoefficientEncoding, GoesToFieldAndMirrorInHalfUnitsRoundedAwayFromZero) {
    const CoefficientCase c = GetParam();
    // The same number in both places would hide a swap of coefficients, so [1] is negated.
    ASSERT_EQ(write(Calibration{.coefficients = {c.coefficient, -c.coefficient}}), Error::Success);
    EXPECT_EQ(module.field(Coefficient0), c.field);
    EXPECT_EQ(module.field(Coefficient0Copy), c.field);
    const std::uint32_t negated = (0x20000 - c.field) & 0x1FFFF;
    EXPECT_EQ(module.field(Coefficient1), negated);
    EXPECT_EQ(module.field(Coefficient1Copy), negated);
    const auto record = readBack();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->temperatureCompensation1().kind(), 3u);
    EXPECT_EQ(record->temperatureCompensation1().values(),
              (std::vector<float>{c.readBack, -c.readBack}));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, CoefficientEncoding,
    ::testing::Values(CoefficientCase{1.25f, 3, 1.5f}, CoefficientCase{-1.25f, 0x1FFFD, -1.5f},
                      CoefficientCase{100.3f, 201, 100.5f}, CoefficientCase{0.0f, 0, 0.0f},
                      CoefficientCase{0.2f, 0, 0.0f}, CoefficientCase{0.25f, 1, 0.5f},
                      CoefficientCase{-0.25f, 0x1FFFF, -0.5f},
                      // The largest value 17 bits hold; its negation is the smallest but one.
                      CoefficientCase{32767.5f, 0xFFFF, 32767.5f}));

TEST_F(CalibrationTest, CoefficientBeyond17BitsKeepsOnlyTheLowBits) {
    // 2 x 40000 = 80000 = 0x13880: the field keeps 0x13880, which reads as a negative number.
    ASSERT_EQ(write(Calibration{.coefficients = {40000.0f, 0.0f}}), Error::Success);
    EXPECT_EQ(module.field(Coefficient0), 0x13880u);
    const auto record = readBack();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->temperatureCompensation1().values()[0], (0x13880 - 0x20000) * 0.5f);
}

struct TemperatureCase {
    float illumination;
    float sensor;
    std::uint32_t illuminationField;
    std::uint32_t sensorField;
};

class TemperatureEncoding : public CalibrationTest,
                            public ::testing::WithParamInterface<TemperatureCase> {};

TEST_P(TemperatureEncoding, WholeDegreesTowardZeroAndBackAsFloats) {
    const TemperatureCase c = GetParam();
    ASSERT_EQ(write(Calibration{.temperatures = {c.illumination, c.sensor}}), Error::Success);
    EXPECT_EQ(module.field(IlluminationReferenceTemp), c.illuminationField);
    EXPECT_EQ(module.field(SensorReferenceTemp), c.sensorField);
    const auto record = readBack();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->temperatureCalibration1().values(),
              (std::vector<float>{static_cast<float>(c.illuminationField),
                                  static_cast<float>(c.sensorField)}));
}

INSTANTIATE_TEST_SUITE_P(Examples, TemperatureEncoding,
                         ::testing::Values(TemperatureCase{25.7f, 40.2f, 25, 40},
                                           TemperatureCase{0.0f, 0.0f, 0, 0},
                                           TemperatureCase{-0.0f, 0.9f, 0, 0},
                                           // The maximum itself passes the "less than" check.
                                           TemperatureCase{255.9f, 255.0f, 255, 255},
                                           TemperatureCase{1.0f, 254.99f, 1, 254}));

TEST_F(CalibrationTest, TemperaturesBeyondTheFirstTwoAreOnlyCheckedForSign) {
    ASSERT_EQ(write(Calibration{.temperatures = {10.0f, 20.0f, 1000.0f}}), Error::Success);
    EXPECT_EQ(module.field(IlluminationReferenceTemp), 10u);
    EXPECT_EQ(module.field(SensorReferenceTemp), 20u);
}

// ---- Records without temperature compensation ----

TEST_F(CalibrationTest, CompensationOffWritesOffsetsSetsDisableAndZeroesTheRest) {
    dirtyCalibrationFields();
    ASSERT_EQ(write(Calibration{.offset1 = 1000, .offset2 = -7, .kind = 0}), Error::Success);
    EXPECT_EQ(module.field(PhaseOffsetDisable), 0u);
    EXPECT_EQ(module.field(PhaseOffset1), 125u);
    EXPECT_EQ(module.field(PhaseOffset2), 0xFFFu);
    EXPECT_EQ(module.field(CompensationDisable), 1u);
    for (const std::uint32_t index : {IlluminationReferenceTemp, SensorReferenceTemp, Coefficient0,
                                      Coefficient0Copy, Coefficient1, Coefficient1Copy}) {
        EXPECT_EQ(module.field(index), 0u) << "field " << index;
    }
}

TEST_F(CalibrationTest, CompensationOffReadsBackOffsetsWithEmptyListsAndKind0) {
    ASSERT_EQ(write(Calibration{.offset1 = 1000, .offset2 = -7, .kind = 0}), Error::Success);
    const auto record = readBack();
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(
        *record ==
        expectedReadBack(Calibration{
            .offset1 = 1000, .offset2 = -8, .kind = 0, .temperatures = {}, .coefficients = {}}));
}

TEST_F(CalibrationTest, CompensationOffSkipsEveryListCheck) {
    // Lists that would be refused with compensation on.
    ASSERT_EQ(write(Calibration{
                  .kind = 0, .temperatures = {-5.0f, 900.0f}, .coefficients = {1.0f, 2.0f, 3.0f}}),
              Error::Success);
    EXPECT_EQ(module.field(CompensationDisable), 1u);
    EXPECT_EQ(module.field(IlluminationReferenceTemp), 0u);
}

TEST_F(CalibrationTest, AnyNonZeroKindMeansCompensationOn) {
    ASSERT_EQ(write(Calibration{.kind = 7}), Error::Success);
    EXPECT_EQ(module.field(CompensationDisable), 0u);
    const auto record = readBack();
    ASSERT_NE(record, nullptr);
    // The sensor does not keep the kind: it reads back as 3.
    EXPECT_EQ(record->temperatureCompensation1().kind(), 3u);
}

// ---- Refusals: nothing reaches the sensor ----

struct Refusal {
    const char* name;
    Calibration record;
    ErrorCode code;
    std::string message;
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.name;
}

class CalibrationRefusal : public CalibrationTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CalibrationRefusal, FailsWithItsCodeAndTextBeforeAnyBusTraffic) {
    dirtyCalibrationFields();
    interp.setLastError("earlier text");
    EXPECT_EQ(write(GetParam().record), GetParam().code);
    EXPECT_EQ(interp.lastError(), GetParam().message);
    EXPECT_EQ(module.transactionCount(), 0u);
}

const std::string kExpecting2 = "expecting 2 reference temperatures";
const std::string kNegative = "reference temperatures must be greater than 0 degree Celsius";
const std::string kIlluminationTooHot =
    "illumination calibration must be less than 255 degree Celsius";
const std::string kSensorTooHot = "sensor calibration must be less than 255 degree Celsius";

INSTANTIATE_TEST_SUITE_P(
    Records, CalibrationRefusal,
    ::testing::Values(
        Refusal{"ThreeCoefficients", {.coefficients = {1, 2, 3}}, -4, kExpecting2},
        Refusal{"OneCoefficient", {.coefficients = {1}}, -4, kExpecting2},
        Refusal{"NoCoefficients", {.coefficients = {}}, -4, kExpecting2},
        // The count is checked before any temperature.
        Refusal{"CountBeforeTemperatures",
                {.temperatures = {-1, 999}, .coefficients = {1, 2, 3}},
                -4,
                kExpecting2},
        Refusal{"OneTemperature", {.temperatures = {25}}, -4, kExpecting2},
        Refusal{"NoTemperatures", {.temperatures = {}}, -4, kExpecting2},
        Refusal{"NegativeIllumination", {.temperatures = {-0.5f, 40}}, -5, kNegative},
        Refusal{"NegativeSensor", {.temperatures = {25, -1}}, -5, kNegative},
        Refusal{"NegativeThirdTemperature", {.temperatures = {25, 40, -1}}, -5, kNegative},
        // Signs are checked before either maximum.
        Refusal{"SignBeforeMaximum", {.temperatures = {300, -1}}, -5, kNegative},
        Refusal{"Illumination256", {.temperatures = {256, 40}}, -5, kIlluminationTooHot},
        Refusal{"Sensor256", {.temperatures = {25, 256}}, -5, kSensorTooHot},
        Refusal{
            "IlluminationReportedFirst", {.temperatures = {1000, 1000}}, -5, kIlluminationTooHot}),
    [](const auto& info) { return std::string(info.param.name); });

struct MalformedCase {
    const char* name;
    Bytes bytes;
};

void PrintTo(const MalformedCase& m, std::ostream* os) {
    *os << m.name;
}

Bytes validBytes() {
    return serialize(Calibration{.offset1 = 1000});
}

Bytes truncatedBytes() {
    Bytes b = validBytes();
    b.pop_back();
    return b;
}

Bytes flippedBitBytes() {
    Bytes b = validBytes();
    b[20] ^= 0x01;
    return b;
}

// A well-formed container of another section type: only the plug-in's factory refuses it.
Bytes otherSectionBytes() {
    Bytes b = validBytes();
    b[6] = 5;
    resealCrc(b);
    return b;
}

class MalformedCalibration : public CalibrationTest,
                             public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedCalibration, FailsToUnmarshalWithoutBusTraffic) {
    interp.setLastError("earlier text");
    EXPECT_EQ(write(GetParam().bytes), Error::InvalidArgument);
    EXPECT_EQ(interp.lastError(), "failed to unmarshal calibration");
    EXPECT_EQ(module.transactionCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Corruptions, MalformedCalibration,
                         ::testing::Values(MalformedCase{"Empty", {}},
                                           MalformedCase{"Garbage", Bytes(104, 0xAB)},
                                           MalformedCase{"Truncated", truncatedBytes()},
                                           MalformedCase{"CorruptBody", flippedBitBytes()},
                                           MalformedCase{"OtherSectionType", otherSectionBytes()}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CalibrationTest, EveryShorterPrefixOfARecordIsRefused) {
    const Bytes full = validBytes();
    for (std::size_t length = 0; length < full.size(); ++length) {
        const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(write(prefix), Error::InvalidArgument) << length;
    }
    EXPECT_EQ(module.transactionCount(), 0u);
}

TEST_F(CalibrationTest, NullDataWithASizeIsRefusedWithoutText) {
    interp.setLastError("earlier text");
    EXPECT_EQ(interp.writeCalibration(nullptr, 104), Error::InvalidArgument);
    EXPECT_EQ(interp.lastError(), "earlier text");
    EXPECT_EQ(module.transactionCount(), 0u);
}

TEST_F(CalibrationTest, SuccessLeavesTheLastErrorAlone) {
    interp.setLastError("earlier text");
    ASSERT_EQ(write(Calibration{}), Error::Success);
    EXPECT_EQ(interp.lastError(), "earlier text");
}

// ---- Bus order ----

TEST_F(CalibrationTest, WriteIsTenReadModifyWritesInFieldOrder) {
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
}

TEST_F(CalibrationTest, WriteKeepsTheOtherBitsOfTheSharedRegister) {
    // Register 0x051 holds five calibration fields in bits 0-17; bits 18-23 are not ours.
    module.setRegisterValue(0x051, 0xFC0000);
    ASSERT_EQ(write(Calibration{.temperatures = {25.0f, 40.0f}}), Error::Success);
    EXPECT_EQ(module.registerValue(0x051), 0xFC0000u | 40u << 8 | 25u);
}

TEST_F(CalibrationTest, ReadWithEverythingEnabledReadsTenFieldsInOrderAndWritesNothing) {
    std::uint32_t size = 0;
    ASSERT_EQ(interp.readCalibration(nullptr, &size), Error::BufferTooSmall);
    EXPECT_EQ(accesses(), (std::vector<Access>{
                              R(kSensor, 0x51),                    // 128
                              R(kSensor, 0x37), R(kSensor, 0x38),  // 84, 46
                              R(kSensor, 0x51),                    // 129
                              R(kSensor, 0x51), R(kSensor, 0x51),  // 125, 126
                              R(kSensor, 0x47), R(kSensor, 0x49),  // 111, 113
                              R(kSensor, 0x48), R(kSensor, 0x4A),  // 112, 116
                          }));
}

TEST_F(CalibrationTest, ReadWithOffsetsDisabledSkipsOffsetFieldsAndReportsZero) {
    module.setField(PhaseOffsetDisable, 1);
    module.setField(PhaseOffset1, 125);
    module.setField(PhaseOffset2, 125);
    const auto record = readBack();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->phaseOffset1().offset(), 0);
    EXPECT_EQ(record->phaseOffset2().offset(), 0);
    module.clearLog();
    std::uint32_t size = 0;
    ASSERT_EQ(interp.readCalibration(nullptr, &size), Error::BufferTooSmall);
    EXPECT_EQ(accesses()[1], R(kSensor, 0x51)) << "reads 129 right after 128";
    EXPECT_EQ(accesses().size(), 8u);
}

TEST_F(CalibrationTest, ReadWithCompensationDisabledReadsOnlyFourFields) {
    module.setField(CompensationDisable, 1);
    module.setField(Coefficient0, 3);
    std::uint32_t size = 0;
    ASSERT_EQ(interp.readCalibration(nullptr, &size), Error::BufferTooSmall);
    EXPECT_EQ(size, kEmptyRecordSize);
    EXPECT_EQ(accesses(), (std::vector<Access>{R(kSensor, 0x51), R(kSensor, 0x37), R(kSensor, 0x38),
                                               R(kSensor, 0x51)}));
}

TEST_F(CalibrationTest, ResetSensorReadsAsCompensationOnWithZerosAndStateWords2) {
    const auto record = readBack();
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(*record == expectedReadBack(Calibration{.temperatures = {0.0f, 0.0f},
                                                        .coefficients = {0.0f, 0.0f}}));
    for (const auto entry : kEntries) {
        EXPECT_EQ(record->state(entry), 2u);
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

class CalibrationRoundTrip : public CalibrationTest,
                             public ::testing::WithParamInterface<Calibration> {};

TEST_P(CalibrationRoundTrip, ReadsBackWhatWasWrittenInTheSensorsResolution) {
    const Calibration c = GetParam();
    ASSERT_EQ(write(c), Error::Success);
    const auto record = readBack();
    ASSERT_NE(record, nullptr);
    // Every value here is already representable, so it comes back unchanged.
    Calibration expected = c;
    if (c.kind == 0) {
        expected.temperatures.clear();
        expected.coefficients.clear();
    } else {
        expected.kind = 3;
    }
    EXPECT_TRUE(*record == expectedReadBack(expected));
    // A record the plug-in gave out is accepted back as it is.
    module.clearLog();
    std::uint32_t size = kFullRecordSize;
    Bytes bytes(size);
    ASSERT_EQ(interp.readCalibration(bytes.data(), &size), Error::Success);
    bytes.resize(c.kind == 0 ? kEmptyRecordSize : kFullRecordSize);
    ASSERT_EQ(write(bytes), Error::Success);
    const auto again = readBack();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(*again == *record);
}

INSTANTIATE_TEST_SUITE_P(
    Records, CalibrationRoundTrip,
    ::testing::Values(
        Calibration{},
        Calibration{.offset1 = -16384,
                    .offset2 = 16376,
                    .kind = 3,
                    .temperatures = {255.0f, 0.0f},
                    .coefficients = {-32768.0f, 32767.5f}},
        Calibration{.offset1 = 8, .offset2 = -8, .kind = 0, .temperatures = {}, .coefficients = {}},
        Calibration{.offset1 = 4000,
                    .offset2 = -4000,
                    .kind = 3,
                    .temperatures = {33.0f, 47.0f},
                    .coefficients = {0.5f, -0.5f}}));

// ---- Host failures ----

TEST_F(CalibrationTest, WriteFailureAtAnyTransactionIsReturnedAndEndsTheWrite) {
    for (std::size_t n = 1; n <= 20; ++n) {
        module.reset();
        module.clearLog();
        module.failNthTransaction(n, kHostFailure);
        interp.setLastError("earlier text");
        EXPECT_EQ(write(Calibration{.offset1 = 1000, .offset2 = 1000}), kHostFailure) << n;
        EXPECT_EQ(module.transactionCount(), n) << "nothing after the failure, n = " << n;
        EXPECT_EQ(interp.lastError(), "earlier text") << n;
        // Fields before the failing one keep what was written: offset 1 is the second field.
        EXPECT_EQ(module.field(PhaseOffset1), n > 4 ? 125u : 0u) << n;
    }
}

TEST_F(CalibrationTest, ReadFailureAtAnyTransactionIsReturnedAndLeavesTheCallersBuffer) {
    for (std::size_t n = 1; n <= 10; ++n) {
        module.clearLog();
        module.failNthTransaction(n, kHostFailure);
        Bytes buffer(kFullRecordSize, 0xEE);
        std::uint32_t size = kFullRecordSize;
        EXPECT_EQ(interp.readCalibration(buffer.data(), &size), kHostFailure) << n;
        EXPECT_EQ(module.transactionCount(), n) << n;
        EXPECT_EQ(size, kFullRecordSize) << n;
        EXPECT_EQ(buffer, Bytes(kFullRecordSize, 0xEE)) << n;
    }
}

// ---- Size protocol of the read ----

TEST_F(CalibrationTest, SizeZeroAsksForTheLengthThenTheSameSizeFetches) {
    std::uint32_t size = 0;
    ASSERT_EQ(interp.readCalibration(nullptr, &size), Error::BufferTooSmall);
    EXPECT_EQ(size, kFullRecordSize);
    Bytes buffer(size);
    ASSERT_EQ(interp.readCalibration(buffer.data(), &size), Error::Success);
    EXPECT_EQ(size, kFullRecordSize);
    EXPECT_NE(parse(buffer), nullptr);
}

TEST_F(CalibrationTest, OneByteShortIsTooSmallAndTouchesNothing) {
    Bytes buffer(kFullRecordSize, 0xEE);
    std::uint32_t size = kFullRecordSize - 1;
    interp.setLastError("earlier text");
    EXPECT_EQ(interp.readCalibration(buffer.data(), &size), Error::BufferTooSmall);
    EXPECT_EQ(size, kFullRecordSize);
    EXPECT_EQ(buffer, Bytes(kFullRecordSize, 0xEE));
    EXPECT_EQ(interp.lastError(), "earlier text");
}

TEST_F(CalibrationTest, LargerBufferGetsTheRecordAtItsStartAndKeepsTheCallersSize) {
    Bytes buffer(kFullRecordSize + 16, 0xEE);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    ASSERT_EQ(interp.readCalibration(buffer.data(), &size), Error::Success);
    EXPECT_EQ(size, kFullRecordSize + 16);
    EXPECT_NE(parse(Bytes(buffer.begin(), buffer.begin() + kFullRecordSize)), nullptr);
    EXPECT_EQ(Bytes(buffer.begin() + kFullRecordSize, buffer.end()), Bytes(16, 0xEE));
}

TEST_F(CalibrationTest, NullSizeIsRefusedWithoutBusTraffic) {
    Bytes buffer(kFullRecordSize);
    EXPECT_EQ(interp.readCalibration(buffer.data(), nullptr), Error::InvalidArgument);
    EXPECT_EQ(module.transactionCount(), 0u);
}

TEST_F(CalibrationTest, NullBufferWithEnoughCapacityIsRefused) {
    std::uint32_t size = kFullRecordSize;
    EXPECT_EQ(interp.readCalibration(nullptr, &size), Error::InvalidArgument);
    EXPECT_EQ(size, kFullRecordSize);
}

}  // namespace
}  // namespace Lumivor::Testing
