#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "host/EnumCast.h"
#include "host/Format.h"
#include "host/Gcd.h"
#include "host/LVLogger.h"
#include "host/ParameterTypes.h"

namespace Lumivor::Utils {
namespace {

// ---- Format ----

struct FormatCase {
    const char* name;
    std::function<std::string()> make;
    const char* expected;
};
void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name;
}

class FormatText : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatText, FillsPlaceholdersLeftToRight) {
    EXPECT_EQ(GetParam().make(), GetParam().expected);
}

const FormatCase kFormatCases[] = {
    {"IntDecimal", [] { return std::string(Format("a % b") % 42); }, "a 42 b"},
    {"NegativeIntDecimal", [] { return std::string(Format("%") % INT_MIN); }, "-2147483648"},
    {"UnsignedDecimal", [] { return std::string(Format("%") % 4294967295u); }, "4294967295"},
    {"UnsignedShortDecimal",
     [] { return std::string(Format("%") % static_cast<unsigned short>(65535)); }, "65535"},
    {"LongLongDecimal", [] { return std::string(Format("%") % -9000000000LL); }, "-9000000000"},
    {"StringAsIs", [] { return std::string(Format("[%]") % std::string("text")); }, "[text]"},
    {"IntHexLowerCaseNoPrefix", [] { return std::string(Format("0x%{:x}") % 0xABC); }, "0xabc"},
    {"UnsignedHex", [] { return std::string(Format("%{:x}") % 0xFFFFFFFFu); }, "ffffffff"},
    {"UnsignedShortHex",
     [] { return std::string(Format("%{:x}") % static_cast<unsigned short>(0x2000)); }, "2000"},
    {"NegativeIntHexIsItsTwosComplement", [] { return std::string(Format("%{:x}") % -1); },
     "ffffffff"},
    {"ZeroHex", [] { return std::string(Format("%{:x}") % 0u); }, "0"},
    {"MixedKindsInOrder",
     [] { return std::string(Format("% 0x%{:x} % %{:x}") % 1 % 255u % 3 % 16); }, "1 0xff 3 10"},
    {"UnfilledPlaceholdersStayAsWritten", [] { return std::string(Format("% and %{:x}") % 5); },
     "5 and %{:x}"},
    {"SurplusValuesAreIgnored", [] { return std::string(Format("only %") % 1 % 2 % 3); }, "only 1"},
    {"NoPlaceholders", [] { return std::string(Format("plain text") % 9); }, "plain text"},
    // What a value brings in is never taken for a placeholder itself.
    {"FilledPercentIsNotRefilled",
     [] { return std::string(Format("% %") % std::string("%{:x}") % 7); }, "%{:x} 7"},
    {"AdjacentPlaceholders", [] { return std::string(Format("%%{:x}") % 10 % 10); }, "10a"},
    {"IncompleteHexPlaceholderIsDecimal", [] { return std::string(Format("%{:x") % 10); }, "10{:x"},
    {"EmptyText", [] { return std::string(Format("") % 1); }, ""},
};
INSTANTIATE_TEST_SUITE_P(Cases, FormatText, ::testing::ValuesIn(kFormatCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FormatObject, StrAndConversionAgreeAndChainOnOneObject) {
    Format format("% of %");
    format % 1;
    format % 2u;
    EXPECT_EQ(format.str(), "1 of 2");
    EXPECT_EQ(static_cast<std::string>(format), format.str());
}

// ---- gcd ----

struct GcdCase {
    int a;
    int b;
    int expected;
};
void PrintTo(const GcdCase& c, std::ostream* os) {
    *os << "gcd(" << c.a << ", " << c.b << ")";
}

class GreatestCommonDivisor : public ::testing::TestWithParam<GcdCase> {};

TEST_P(GreatestCommonDivisor, IsTakenOfAbsoluteValuesInEitherOrder) {
    const GcdCase& c = GetParam();
    EXPECT_EQ(gcd(c.a, c.b), c.expected);
    EXPECT_EQ(gcd(c.b, c.a), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GreatestCommonDivisor,
    ::testing::Values(GcdCase{12, 18, 6}, GcdCase{17, 5, 1}, GcdCase{48, 48, 48},
                      GcdCase{1, INT_MAX, 1}, GcdCase{INT_MAX, INT_MAX, INT_MAX},
                      GcdCase{7, 0, 7},  // gcd(a, 0) = |a|
                      GcdCase{-7, 0, 7}, GcdCase{0, 0, 0}, GcdCase{-12, 18, 6},
                      GcdCase{-12, -18, 6},
                      GcdCase{INT_MIN, 6, 2},  // |INT_MIN| is not an int, yet no overflow
                      GcdCase{INT_MIN, 1 << 30, 1 << 30}, GcdCase{INT_MIN, INT_MAX, 1},
                      // 2^31 does not fit; it comes back as the 32-bit pattern it has.
                      GcdCase{INT_MIN, 0, INT_MIN}, GcdCase{INT_MIN, INT_MIN, INT_MIN}));

// ---- LVLogger ----

struct CollectedLines {
    std::vector<std::string> lines;
    static void sink(void* user, const std::string& line) {
        static_cast<CollectedLines*>(user)->lines.push_back(line);
    }
};

TEST(Logger, ExistsOnlyWhileASinkIsInstalled) {
    EXPECT_EQ(LVLogger::instance(), nullptr);

    CollectedLines collected;
    LVLogger::installSink(&CollectedLines::sink, &collected);
    LVLogger* logger = LVLogger::instance();
    ASSERT_NE(logger, nullptr);
    logger->info("first");
    logger->info("");
    LVLogger::release();
    EXPECT_EQ(collected.lines, (std::vector<std::string>{"first", ""}));

    LVLogger::installSink(nullptr, nullptr);
    EXPECT_EQ(LVLogger::instance(), nullptr);
}

TEST(Logger, ANewSinkReplacesTheOldAndAHeldLoggerFollowsIt) {
    CollectedLines first;
    CollectedLines second;
    LVLogger::installSink(&CollectedLines::sink, &first);
    LVLogger* logger = LVLogger::instance();
    ASSERT_NE(logger, nullptr);
    LVLogger::installSink(&CollectedLines::sink, &second);
    logger->info("after the change");
    LVLogger::release();
    // A logger still held when the sink goes away drops its lines instead of calling a stale sink.
    LVLogger* held = LVLogger::instance();
    ASSERT_NE(held, nullptr);
    LVLogger::installSink(nullptr, nullptr);
    held->info("dropped");
    LVLogger::release();

    EXPECT_TRUE(first.lines.empty());
    EXPECT_EQ(second.lines, (std::vector<std::string>{"after the change"}));
}

// ---- enum_cast ----

TEST(EnumCast, EveryIdentifierByteNamesItsParameterAndLargerBytesPassThrough) {
    static_assert(enum_cast<ParameterType>(13) == ParameterType::RegionOfInterest);
    for (int byte = 0; byte <= 255; ++byte) {
        const ParameterType id = enum_cast<ParameterType>(static_cast<std::uint8_t>(byte));
        EXPECT_EQ(static_cast<std::uint32_t>(id), static_cast<std::uint32_t>(byte));
    }
    EXPECT_EQ(enum_cast<ParameterType>(0), ParameterType::LeftIlluminationVoltage);
    EXPECT_EQ(enum_cast<ParameterType>(15), ParameterType::NativeFrameFormat);
}

}  // namespace
}  // namespace Lumivor::Utils
