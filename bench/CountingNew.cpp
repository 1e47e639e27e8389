// The global allocation functions of the benchmark and its tests, replaced to count what the
// plug-in allocates. Every block carries a header with its size, so that live bytes are known
// also when the unsized delete is called.

#include <cstddef>
#include <cstdlib>
#include <new>

#include "bench/HeapCounter.h"

namespace {

struct Totals {
    bool counting = false;
    std::uint64_t allocations = 0;
    std::uint64_t bytes = 0;
    std::uint64_t liveBytes = 0;
    std::uint64_t liveBlocks = 0;
};
// Single-threaded, like the calls on one plug-in instance.
Totals totals;

// The header keeps the block's size and how far the caller's pointer lies from the start of
// what malloc returned; it is as large as the alignment asked for, so that the caller's block
// stays aligned.
struct Header {
    std::size_t size;
    std::size_t offset;
};
static_assert(sizeof(Header) <= alignof(std::max_align_t));

void* allocate(std::size_t size, std::size_t alignment) {
    if (alignment < alignof(std::max_align_t)) {
        alignment = alignof(std::max_align_t);
    }
    const std::size_t offset = alignment;
    void* raw = nullptr;
    if (posix_memalign(&raw, alignment, offset + (size == 0 ? 1 : size)) != 0) {
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(raw) + offset;
    auto* header = reinterpret_cast<Header*>(block - sizeof(Header));
    header->size = size;
    header->offset = offset;
    if (totals.counting) {
        ++totals.allocations;
        totals.bytes += size;
    }
    totals.liveBytes += size;
    ++totals.liveBlocks;
    return block;
}

void release(void* pointer) noexcept {
    if (pointer == nullptr) {
        return;
    }
    auto* block = static_cast<unsigned char*>(pointer);
    const auto* header = reinterpret_cast<const Header*>(block - sizeof(Header));
    totals.liveBytes -= header->size;
    --totals.liveBlocks;
    std::free(block - header->offset);
}

void* allocateOrThrow(std::size_t size, std::size_t alignment) {
    void* block = allocate(size, alignment);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

}  // namespace

namespace Lumivor::Bench::Heap {
void startCounting() {
    totals.counting = true;
}
void stopCounting() {
    totals.counting = false;
}
HeapCounts counts() {
    return HeapCounts{totals.allocations, totals.bytes};
}
void clearCounts() {
    totals.allocations = 0;
    totals.bytes = 0;
}
std::uint64_t liveBytes() {
    return totals.liveBytes;
}
std::uint64_t liveBlocks() {
    return totals.liveBlocks;
}
}  // namespace Lumivor::Bench::Heap

void* operator new(std::size_t size) {
    return allocateOrThrow(size, 0);
}
void* operator new[](std::size_t size) {
    return allocateOrThrow(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* pointer) noexcept {
    release(pointer);
}
void operator delete[](void* pointer) noexcept {
    release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    release(pointer);
}
void operator delete(void* pointer, std::align_val_t) noexcept {
    release(pointer);
}
void operator delete[](void* pointer, std::align_val_t) noexcept {
    release(pointer);
}
void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept {
    release(pointer);
}
void operator delete[](void* pointer, std::size_t, std::align_val_t) noexcept {
    release(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    release(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    release(pointer);
}
void operator delete(void* pointer, std::align_val_t, const std::nothrow_t&) noexcept {
    release(pointer);
}
void operator delete[](void* pointer, std::align_val_t, const std::nothrow_t&) noexcept {
    release(pointer);
}
