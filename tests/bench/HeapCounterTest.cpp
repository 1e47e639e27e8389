#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "bench/HeapCounter.h"
#include "bench/Operations.h"
#include "interface/vexar_param_interp.h"

namespace Lumivor::Bench {
namespace {

// The plug-in is a shared library: its allocations must reach the replaced operator new of
// the program, or every "no allocation" in the table would be vacuous.
TEST(HeapCounter, SeesWhatThePluginAllocatesAndFrees) {
    ZeroCostBus bus;
    const std::uint64_t liveBefore = Heap::liveBytes();
    void* instance = nullptr;
    HeapCounts made;
    {
        HeapScope scope;
        instance = createAndInitialize(bus);
        made = scope.counts();
    }
    EXPECT_GT(made.allocations, 16u);  // the instance and one object per parameter at least
    EXPECT_GE(made.bytes, Heap::liveBytes() - liveBefore);
    EXPECT_GT(Heap::liveBytes(), liveBefore);

    // A failing read leaves a formatted message, which allocates inside the plug-in.
    HeapCounts failing;
    {
        HeapScope scope;
        float value = 0.0f;
        ASSERT_NE(readFloat(instance, 2, &value), 0);
        failing = scope.counts();
    }
    EXPECT_GT(failing.allocations, 0u);

    HeapCounts freeing;
    {
        HeapScope scope;
        disposeAndDestroy(instance);
        freeing = scope.counts();
    }
    EXPECT_EQ(freeing.allocations, 0u);
    EXPECT_EQ(Heap::liveBytes(), liveBefore);
}

TEST(HeapCounter, CountsOnlyWhileSwitchedOnAndTracksAlignedBlocks) {
    Heap::clearCounts();
    auto uncounted = std::make_unique<std::uint64_t>(1);
    EXPECT_EQ(Heap::counts().allocations, 0u);

    struct alignas(64) Wide {
        std::uint8_t bytes[64];
    };
    const std::uint64_t liveBefore = Heap::liveBytes();
    const std::uint64_t blocksBefore = Heap::liveBlocks();
    HeapCounts counted;
    {
        HeapScope scope;
        auto wide = std::make_unique<Wide>();
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(wide.get()) % 64, 0u);
        EXPECT_EQ(Heap::liveBytes(), liveBefore + sizeof(Wide));
        EXPECT_EQ(Heap::liveBlocks(), blocksBefore + 1);
        counted = scope.counts();
    }
    EXPECT_EQ(counted.allocations, 1u);
    EXPECT_EQ(counted.bytes, sizeof(Wide));
    EXPECT_EQ(Heap::liveBytes(), liveBefore);
}

}  // namespace
}  // namespace Lumivor::Bench
