// What a host sees when memory runs out inside the plug-in. This program replaces the global
// allocation functions (the plug-in's allocations resolve to them too) so that the next
// allocation can be made to fail.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "tests/PluginHost.h"

namespace {
std::atomic<bool> failAllocations{false};

// Out of line, so that the compiler does not pair the free with the new expression it came from
// and take these replacements for a mismatch.
[[gnu::noinline]] void releaseBlock(void* block) noexcept {
    std::free(block);
}
}  // namespace

void* operator new(std::size_t size) {
    if (failAllocations.load(std::memory_order_relaxed)) {
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
// Sanitizer runtimes answer the nothrow forms themselves unless they are replaced too.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (failAllocations.load(std::memory_order_relaxed)) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    releaseBlock(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    releaseBlock(block);
}
void operator delete(void* block) noexcept {
    releaseBlock(block);
}
void operator delete[](void* block) noexcept {
    releaseBlock(block);
}
void operator delete(void* block, std::size_t) noexcept {
    releaseBlock(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    releaseBlock(block);
}

namespace Lumivor::Testing {
namespace {

// Fails every allocation while it lives.
struct ExhaustedMemory {
    ExhaustedMemory() { failAllocations = true; }
    ~ExhaustedMemory() { failAllocations = false; }
    ExhaustedMemory(const ExhaustedMemory&) = delete;
    ExhaustedMemory& operator=(const ExhaustedMemory&) = delete;
};

TEST(ExhaustedMemory, CreateInstanceAnswersNull) {
    const vexar::detail::PluginApi& api = pluginLibrary().api();
    void* instance = nullptr;
    {
        const ExhaustedMemory exhausted;
        instance = api.createInstance();
    }
    EXPECT_EQ(instance, nullptr);
}

class ExhaustedMemoryOnAnInstance : public PluginHostTest {};

// The allocation failure is not turned into an error code: a C++ host catches std::bad_alloc,
// and the instance stays whole, so it can carry on once memory is back.
TEST_F(ExhaustedMemoryOnAnInstance, OperationsThatAllocateLetBadAllocThrough) {
    ASSERT_EQ(initializeServed(), 0);
    std::uint32_t size = 0;
    ASSERT_EQ(api->readCalibration(instance, nullptr, &size), VEXAR_BUFFER_TOO_SMALL);
    std::vector<std::uint8_t> calibration(size);
    ASSERT_EQ(api->readCalibration(instance, calibration.data(), &size), 0);
    std::uint8_t range[64];
    std::uint32_t rangeSize = sizeof range;

    {
        const ExhaustedMemory exhausted;
        EXPECT_THROW(api->writeCalibration(instance, calibration.data(), size), std::bad_alloc);
        EXPECT_THROW(api->getParameterRange(instance, VEXAR_PARAM_FRAME_RATE, range, &rangeSize),
                     std::bad_alloc);
    }
    EXPECT_EQ(api->writeCalibration(instance, calibration.data(), size), 0);
    EXPECT_EQ(api->getParameterRange(instance, VEXAR_PARAM_FRAME_RATE, range, &rangeSize), 0);
}

}  // namespace
}  // namespace Lumivor::Testing
