#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/Format.h"
#include "host/Gcd.h"
#include "host/LVLogger.h"

namespace Lumivor::Utils {
namespace {

// ---- Format ----

TEST(Format, FillsPlaceholdersLeftToRight) {
    const std::pair<std::string, const char*> cases[] = {
        {Format("a % b") % 42, "a 42 b"},
        {Format("%") % INT_MIN, "-2147483648"},
        {Format("%") % 4294967295u, "4294967295"},
        {Format("[%]") % std::string("text"), "[text]"},
        {Format("0x%{:x}") % 0xABC, "0xabc"},  // lower case, no prefix of its own
        {Format("%{:x}") % 0xFFFFFFFFu, "ffffffff"},
        {Format("%{:x}") % -1, "ffffffff"},  // a negative int as its two's complement
        {Format("% 0x%{:x} % %{:x}") % 1 % 255u % 3 % 16, "1 0xff 3 10"},
        {Format("% and %{:x}") % 5, "5 and %{:x}"},  // unfilled placeholders stay as written
        // What a value brings in is never taken for a placeholder itself.
        {Format("% %") % std::string("%{:x}") % 7, "%{:x} 7"},
        {Format("%%{:x}") % 10 % 10, "10a"},
        {Format("%{:x") % 10, "10{:x"},  // an incomplete hex placeholder is decimal
    };
    for (const auto& [made, expected] : cases) {
        EXPECT_EQ(made, expected);
    }
}

TEST(FormatObject, StrAndConversionAgreeAndChainOnOneObject) {
    Format format("% of %");
    format % 1;
    format % 2u;
    EXPECT_EQ(format.str(), "1 of 2");
    EXPECT_EQ(static_cast<std::string>(format), format.str());
}

// ---- gcd ----

TEST(GreatestCommonDivisor, IsTakenOfAbsoluteValuesInEitherOrder) {
    const int cases[][3] = {
        {12, 18, 6},
        {17, 5, 1},
        {INT_MAX, INT_MAX, INT_MAX},
        {-7, 0, 7},
        {0, 0, 0},
        {-12, -18, 6},
        {INT_MIN, 6, 2},  // |INT_MIN| is not an int, yet no overflow
        {INT_MIN, 1 << 30, 1 << 30},
        {INT_MIN, INT_MAX, 1},
        // 2^31 does not fit; it comes back as the 32-bit pattern it has.
        {INT_MIN, 0, INT_MIN},
        {INT_MIN, INT_MIN, INT_MIN},
    };
    for (const auto& [a, b, expected] : cases) {
        EXPECT_EQ(gcd(a, b), expected) << a << ", " << b;
        EXPECT_EQ(gcd(b, a), expected) << b << ", " << a;
    }
}

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
    // Each instance() that answers takes a reference; release() gives it back.
    EXPECT_EQ(LVLogger::references(), 1u);
    LVLogger::instance();
    EXPECT_EQ(LVLogger::references(), 2u);
    logger->release();
    logger->release();
    EXPECT_EQ(LVLogger::references(), 0u);

    LVLogger::installSink(nullptr, nullptr);
    EXPECT_EQ(LVLogger::instance(), nullptr);
    EXPECT_EQ(LVLogger::references(), 0u);
}

}  // namespace
}  // namespace Lumivor::Utils
