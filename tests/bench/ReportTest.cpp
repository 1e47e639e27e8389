#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/Report.h"

namespace Lumivor::Bench {
namespace {

Measurement call(const char* name, double cpu, std::uint64_t reads, std::uint64_t writes) {
    Measurement m;
    m.name = name;
    m.group = "parameter read";
    m.target = Target::Parameter;
    m.mustNotAllocate = true;
    m.traffic = BusTraffic{reads, writes, 0, 0};
    m.cpuNanoseconds = cpu;
    return m;
}

Measurement baselineRow(const char* name, double cpu, std::uint64_t reads, std::uint64_t writes) {
    Measurement m = call(name, cpu, reads, writes);
    m.group = "baseline";
    m.target = Target::None;
    m.mustNotAllocate = false;
    return m;
}

// The plug-in's own time is what is left once the loop and the callbacks are paid for; the
// targets are judged on it, allocations apart.
TEST(Report, JudgesThePluginsOwnTimeAgainstItsTarget) {
    std::vector<Measurement> rows{baselineRow(kEmptyCall, 2.0, 0, 0),
                                  baselineRow(kReadCallback, 5.0, 1, 0),
                                  baselineRow(kWriteCallback, 6.0, 0, 1)};
    const Baseline baseline = baselineOf(rows);
    EXPECT_DOUBLE_EQ(baseline.loopNanoseconds, 2.0);
    EXPECT_DOUBLE_EQ(baseline.readNanoseconds, 3.0);
    EXPECT_DOUBLE_EQ(baseline.writeNanoseconds, 4.0);

    // 2 + 10 x 3 + 5 x 4 = 52 ns of loop and callbacks.
    const Measurement justIn = call("in", 52.0 + 149.0, 10, 5);
    EXPECT_DOUBLE_EQ(ownNanoseconds(justIn, baseline), 149.0);
    EXPECT_TRUE(judge(justIn, baseline).met);
    EXPECT_FALSE(judge(call("out", 52.0 + 150.0, 10, 5), baseline).met);

    Measurement allocating = call("allocating", 60.0, 1, 0);
    allocating.heap.allocations = 1;
    EXPECT_FALSE(judge(allocating, baseline).met);
    allocating.mustNotAllocate = false;
    EXPECT_TRUE(judge(allocating, baseline).met);

    // Timed around the calls themselves: no loop to take off.
    Measurement lifecycle = call("create", 19999.0, 0, 0);
    lifecycle.target = Target::Lifecycle;
    lifecycle.inLoop = false;
    lifecycle.mustNotAllocate = false;
    EXPECT_DOUBLE_EQ(ownNanoseconds(lifecycle, baseline), 19999.0);
    EXPECT_TRUE(judge(lifecycle, baseline).met);

    rows.push_back(justIn);
    rows.push_back(allocating);
    const std::string text = summary(rows, baseline);
    EXPECT_NE(text.find("Targets met: 2 of 2"), std::string::npos) << text;
}

TEST(Report, TableShowsBusTimeAtBothClocksAndTheShareOfTheCpu) {
    Measurement m = call("readFloat 3 frame rate", 285.0, 5, 0);
    m.traffic.clocks = 285;  // 712.5 us at 400 kHz, 285 us at 1 MHz
    const std::string text = table({m}, Baseline{});
    EXPECT_NE(text.find("| 712.5 | 285.0 |"), std::string::npos) << text;
    // 285 ns of 285 us is 0.1 %.
    EXPECT_NE(text.find("| 0.1 %"), std::string::npos) << text;
    EXPECT_NE(text.find("**parameter read**"), std::string::npos) << text;
}

}  // namespace
}  // namespace Lumivor::Bench
