#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "core/ValueRecords.h"
#include "host/LVLogger.h"
#include "support/SimulatedCamera.h"

namespace Lumivor::Testing {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

class ValueRecordsTest : public SimulatedCameraTest {
  protected:
    ErrorCode decode(const Bytes& bytes) {
        return decodeValueRecords(interp, table, bytes.data(),
                                  static_cast<std::uint32_t>(bytes.size()));
    }
    ErrorCode encode(Bytes& bytes) {
        return encodeValueRecords(interp, table, bytes.data(),
                                  static_cast<std::uint32_t>(bytes.size()));
    }

    ValueTable table;
};

// Collects what the shared logger is given while a test runs.
class LogCapture {
  public:
    LogCapture() { Utils::LVLogger::installSink(&LogCapture::sink, this); }
    ~LogCapture() { Utils::LVLogger::installSink(nullptr, nullptr); }
    std::vector<std::string> lines;

  private:
    static void sink(void* user, const std::string& line) {
        static_cast<LogCapture*>(user)->lines.push_back(line);
    }
};

TEST_F(ValueRecordsTest, EmptyBufferDecodesAndEncodesNothing) {
    EXPECT_EQ(decodeValueRecords(interp, table, nullptr, 0), 0);
    EXPECT_EQ(encodeValueRecords(interp, table, nullptr, 0), 0);
    for (std::uint32_t id = 0; id < ValueTable::kSlots; ++id) {
        EXPECT_FALSE(table.contains(id)) << id;
    }
}

TEST_F(ValueRecordsTest, BoolDecodesAnyNonZeroByteAsTrueAndEncodesTrueAsFF) {
    for (const std::uint8_t payload : {0x01, 0x02, 0x80, 0xFF}) {
        Bytes record{0x0E, payload};
        ASSERT_EQ(decode(record), 0);
        EXPECT_TRUE(table.findAs<bool>(14)->getValue()) << int{payload};
        ASSERT_EQ(encode(record), 0);
        EXPECT_THAT(record, ElementsAre(0x0E, 0xFF));
    }
    Bytes off{0x0E, 0x00};
    ASSERT_EQ(decode(off), 0);
    EXPECT_FALSE(table.findAs<bool>(14)->getValue());
    off[1] = 0x5A;
    ASSERT_EQ(encode(off), 0);
    EXPECT_THAT(off, ElementsAre(0x0E, 0x00));
}

TEST_F(ValueRecordsTest, FloatAndIntPayloadsAreLittleEndian) {
    Bytes records{0x03, 0x00, 0x00, 0xF0, 0x41,   // frame rate 30.0
                  0x04, 0xFE, 0xFF, 0xFF, 0xFF};  // micro-frame number -2
    ASSERT_EQ(decode(records), 0);
    EXPECT_EQ(table.findAs<float>(3)->getValue(), 30.0f);
    EXPECT_EQ(table.findAs<int>(4)->getValue(), -2);
    EXPECT_EQ(table.find(3)->getValueType(), 1u);
    EXPECT_EQ(table.find(4)->getParameterType(), 4u);

    table.findAs<float>(3)->setValue(std::bit_cast<float>(0x3F8CCCCDu));
    table.findAs<int>(4)->setValue(0x01020304);
    ASSERT_EQ(encode(records), 0);
    EXPECT_THAT(records, ElementsAre(0x03, 0xCD, 0xCC, 0x8C, 0x3F, 0x04, 0x04, 0x03, 0x02, 0x01));
}

TEST_F(ValueRecordsTest, RegionTravelsAsFourSixteenBitFieldsKeepingOnlyTheLowBits) {
    Bytes record(9, 0xAA);
    record[0] = 0x0D;
    ASSERT_EQ(decode(record), 0);
    table.findAs<RegionOfInterestInternal>(13)->setValue({0, 0, 320, 240});
    ASSERT_EQ(encode(record), 0);
    EXPECT_THAT(record, ElementsAre(0x0D, 0x00, 0x00, 0x00, 0x00, 0x40, 0x01, 0xF0, 0x00));

    table.findAs<RegionOfInterestInternal>(13)->setValue({65536 + 5, 65535, -1, 0x12345});
    ASSERT_EQ(encode(record), 0);
    ASSERT_EQ(decode(record), 0);
    EXPECT_EQ(table.findAs<RegionOfInterestInternal>(13)->getValue(),
              (RegionOfInterestInternal{5, 65535, 65535, 0x2345}));
}

TEST_F(ValueRecordsTest, UnknownIdentifierStopsTheWalkWithNotSupported) {
    EXPECT_EQ(decode({0x10, 0, 0, 0, 0}), -3);
    EXPECT_FALSE(table.contains(16));

    // Values decoded before the unknown record stay in the table.
    EXPECT_EQ(decode({0x0E, 0x01, 0xFF, 0x00}), -3);
    EXPECT_TRUE(table.contains(14));
}

TEST_F(ValueRecordsTest, LaterRecordOfTheSameIdentifierWins) {
    ASSERT_EQ(decode({0x0E, 0x01, 0x0E, 0x00}), 0);
    EXPECT_FALSE(table.findAs<bool>(14)->getValue());
}

TEST_F(ValueRecordsTest, RecordCutShortIsRefusedWithoutTouchingBytesBeyondTheSize) {
    // The size covers only part of the last record; the bytes after it are a guard.
    Bytes bytes{0x0E, 0x01, 0x03, 0x00, 0x00, 0xF0, 0x41};
    for (std::uint32_t size = 3; size < 7; ++size) {
        ValueTable fresh;
        EXPECT_EQ(decodeValueRecords(interp, fresh, bytes.data(), size), -4) << size;
        EXPECT_FALSE(fresh.contains(3)) << size;
    }

    ASSERT_EQ(decode(bytes), 0);
    table.findAs<float>(3)->setValue(1.0f);
    EXPECT_EQ(encodeValueRecords(interp, table, bytes.data(), 4), -4);
    EXPECT_THAT(bytes, ElementsAre(0x0E, 0xFF, 0x03, 0x00, 0x00, 0xF0, 0x41));
}

TEST_F(ValueRecordsTest, EncodingAnIdentifierTheTableLacksIsRefused) {
    Bytes bytes{0x0E, 0x01};
    EXPECT_EQ(encode(bytes), -4);
    EXPECT_THAT(bytes, ElementsAre(0x0E, 0x01));
}

TEST_F(ValueRecordsTest, EncodingLogsOneSearchLinePerRecordOnlyWhenALoggerExists) {
    Bytes bytes{0x03, 0, 0, 0, 0, 0x0E, 0x00, 0x0D, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(decode(bytes), 0);
    {
        LogCapture log;
        ASSERT_EQ(encode(bytes), 0);
        EXPECT_THAT(log.lines, ElementsAre("SEARCHING FOR pType=3, address=0, vtype=1",
                                           "SEARCHING FOR pType=14, address=5, vtype=3",
                                           "SEARCHING FOR pType=13, address=7, vtype=4"));
        log.lines.clear();
        ASSERT_EQ(decode(bytes), 0);
        EXPECT_TRUE(log.lines.empty()) << "decoding logs nothing";
    }
    ASSERT_EQ(Utils::LVLogger::instance(), nullptr);
    EXPECT_EQ(encode(bytes), 0);
}

}  // namespace
}  // namespace Lumivor::Testing
