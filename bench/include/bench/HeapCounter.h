#pragma once

#include <cstddef>
#include <cstdint>

namespace Lumivor::Bench {

// Heap use of the whole process, seen through the global operator new and delete that
// CountingNew.cpp replaces. The plug-in and the host library are shared objects whose calls
// to operator new bind to the executable's definition, so their allocations are counted too.
struct HeapCounts {
    std::uint64_t allocations = 0;  // operator new calls while counting is on
    std::uint64_t bytes = 0;        // bytes those calls asked for
};

namespace Heap {
// Counting of allocation calls is off until switched on; live bytes are tracked always.
void startCounting();
void stopCounting();
HeapCounts counts();
void clearCounts();

// Bytes and blocks allocated with operator new and not yet deleted.
std::uint64_t liveBytes();
std::uint64_t liveBlocks();
}  // namespace Heap

// Counts the allocations made during its lifetime.
class HeapScope {
  public:
    HeapScope() {
        Heap::clearCounts();
        Heap::startCounting();
    }
    ~HeapScope() { Heap::stopCounting(); }
    HeapScope(const HeapScope&) = delete;
    HeapScope& operator=(const HeapScope&) = delete;
    HeapCounts counts() const { return Heap::counts(); }
};

}  // namespace Lumivor::Bench
