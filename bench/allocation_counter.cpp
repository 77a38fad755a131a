// Counts the heap bytes the benchmark binary holds: every operator new and delete passes
// through here. Sizes are what the allocator really hands out (malloc_usable_size) plus its
// 8-octet chunk header, so the figure is close to what the process pays.
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "bench/bench_support.h"

namespace {

constexpr std::size_t kChunkHeader = sizeof(std::size_t);
std::atomic<std::size_t> bytesInUse{0};
std::atomic<std::size_t> peakBytes{0};

void* Allocate(std::size_t size) {
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    const std::size_t now =
        bytesInUse.fetch_add(malloc_usable_size(memory) + kChunkHeader, std::memory_order_relaxed) +
        malloc_usable_size(memory) + kChunkHeader;
    std::size_t peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
    return memory;
}

void Release(void* memory) noexcept {
    if (memory == nullptr) return;
    bytesInUse.fetch_sub(malloc_usable_size(memory) + kChunkHeader, std::memory_order_relaxed);
    std::free(memory);
}

}  // namespace

std::size_t bench::HeapBytesInUse() { return bytesInUse.load(); }
std::size_t bench::HeapPeakBytes() { return peakBytes.load(); }
void bench::ResetHeapPeak() { peakBytes.store(bytesInUse.load()); }

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* memory) noexcept { Release(memory); }
void operator delete[](void* memory) noexcept { Release(memory); }
void operator delete(void* memory, std::size_t) noexcept { Release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { Release(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { Release(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { Release(memory); }
