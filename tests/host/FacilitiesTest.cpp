#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "host/Format.h"
#include "host/Gcd.h"
#include "host/LVLogger.h"

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
    {"StringAsIs", [] { return std::string(Format("[%]") % std::string("text")); }, "[text]"},
    {"IntHexLowerCaseNoPrefix", [] { return std::string(Format("0x%{:x}") % 0xABC); }, "0xabc"},
    {"UnsignedHex", [] { return std::string(Format("%{:x}") % 0xFFFFFFFFu); }, "ffffffff"},
    {"NegativeIntHexIsItsTwosComplement", [] { return std::string(Format("%{:x}") % -1); },
     "ffffffff"},
    {"MixedKindsInOrder",
     [] { return std::string(Format("% 0x%{:x} % %{:x}") % 1 % 255u % 3 % 16); }, "1 0xff 3 10"},
    {"UnfilledPlaceholdersStayAsWritten", [] { return std::string(Format("% and %{:x}") % 5); },
     "5 and %{:x}"},
    // What a value brings in is never taken for a placeholder itself.
    {"FilledPercentIsNotRefilled",
     [] { return std::string(Format("% %") % std::string("%{:x}") % 7); }, "%{:x} 7"},
    {"AdjacentPlaceholders", [] { return std::string(Format("%%{:x}") % 10 % 10); }, "10a"},
    {"IncompleteHexPlaceholderIsDecimal", [] { return std::string(Format("%{:x") % 10); }, "10{:x"},
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
    ::testing::Values(GcdCase{12, 18, 6}, GcdCase{17, 5, 1}, GcdCase{INT_MAX, INT_MAX, INT_MAX},
                      GcdCase{-7, 0, 7},  // gcd(a, 0) = |a|
                      GcdCase{0, 0, 0}, GcdCase{-12, -18, 6},
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
    EXPECT_EQ(collected.lines, (std::vector<std::string>{"first", ""}));

    LVLogger::installSink(nullptr, nullptr);
    EXPECT_EQ(LVLogger::instance(), nullptr);
}

}  // namespace
}  // namespace Lumivor::Utils
