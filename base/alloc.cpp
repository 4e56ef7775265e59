#include "base/alloc.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::atomic<uint32_t> allocCount{0};
std::atomic<uint32_t> freeCount{0};
std::atomic<int64_t> bytesInUse{0};

void CountIn(void* p) {
    allocCount.fetch_add(1, std::memory_order_relaxed);
    bytesInUse.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
}

// Aligned requests must still come back zero-filled and go to free().
void* AllocAligned(size_t n, std::align_val_t al) {
    size_t align = static_cast<size_t>(al);
    if (align < sizeof(void*)) align = sizeof(void*);
    void* p = nullptr;
    if (posix_memalign(&p, align, n ? n : 1) != 0) return nullptr;
    memset(p, 0, n ? n : 1);
    CountIn(p);
    return p;
}

} // namespace

void* MemAllocZeroed(size_t n) {
    void* p = calloc(1, n ? n : 1);
    if (p) CountIn(p);
    return p;
}

void MemFree(void* p) {
    if (!p) return;
    bytesInUse.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    free(p);
    freeCount.fetch_add(1, std::memory_order_relaxed);
}

uint32_t MemAllocCount() {
    return allocCount.load(std::memory_order_relaxed);
}
uint32_t MemFreeCount() {
    return freeCount.load(std::memory_order_relaxed);
}
int64_t MemBytesInUse() {
    return bytesInUse.load(std::memory_order_relaxed);
}

// The replaceable global operators. None of them throws: failure is a null
// pointer, which the callers of this program check.
void* operator new(size_t n) {
    return MemAllocZeroed(n);
}
void* operator new[](size_t n) {
    return MemAllocZeroed(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    return MemAllocZeroed(n);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    return MemAllocZeroed(n);
}
void* operator new(size_t n, std::align_val_t al) {
    return AllocAligned(n, al);
}
void* operator new[](size_t n, std::align_val_t al) {
    return AllocAligned(n, al);
}
void* operator new(size_t n, std::align_val_t al, const std::nothrow_t&) noexcept {
    return AllocAligned(n, al);
}
void* operator new[](size_t n, std::align_val_t al, const std::nothrow_t&) noexcept {
    return AllocAligned(n, al);
}

void operator delete(void* p) noexcept {
    MemFree(p);
}
void operator delete[](void* p) noexcept {
    MemFree(p);
}
void operator delete(void* p, size_t) noexcept {
    MemFree(p);
}
void operator delete[](void* p, size_t) noexcept {
    MemFree(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    MemFree(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    MemFree(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    MemFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    MemFree(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    MemFree(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    MemFree(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    MemFree(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    MemFree(p);
}
