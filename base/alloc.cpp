#include "base/alloc.h"

#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <sys/mman.h>

namespace {

// Plain counts: the program runs one thread a process (the pool forks its workers), and a locked
// add on every block was a tenth of the parse of a message of many small parts.
uint32_t allocCount = 0;
uint32_t freeCount = 0;
int64_t bytesInUse = 0;

// The test bound of MemSetFailureBound: 0, or the bytes the blocks taken since may hold, counted from
// the bytes in use when it was set. Blocks of before the bound that are released lower the figure;
// it is a test's bound, not a budget.
size_t failureBound = 0;
int64_t boundBase = 0;

bool OverBound(size_t n) {
    if (failureBound == 0) return false;
    const int64_t taken = bytesInUse - boundBase;
    return n > failureBound || taken + static_cast<int64_t>(n) > static_cast<int64_t>(failureBound);
}

void Taken(void* p) {
    ++allocCount;
    bytesInUse += static_cast<int64_t>(malloc_usable_size(p));
}

// Aligned requests must still come back zero-filled and go to free().
void* AllocAligned(size_t n, std::align_val_t al) {
    size_t align = static_cast<size_t>(al);
    if (align < sizeof(void*)) align = sizeof(void*);
    if (OverBound(n)) return nullptr;
    void* p = nullptr;
    if (posix_memalign(&p, align, n ? n : 1) != 0) return nullptr;
    memset(p, 0, n ? n : 1);
    Taken(p);
    return p;
}

// What the standard asks of the throwing forms: the new-handler, while there is one, may make room.
template <typename Alloc> void* AllocOrThrow(Alloc alloc) {
    for (;;) {
        if (void* p = alloc()) return p;
        const std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

// A block this large is fresh memory from the kernel (the C library maps it and gives it back when
// it is freed), faulted in page by page as it is first written: a parsed message's copy, a decoded
// attachment. Asked for in huge pages, it is faulted in a five-hundredth as often.
constexpr size_t kHugeBlock = 4u << 20;
constexpr size_t kSmallBlock = 1024;
constexpr uintptr_t kHugePage = 2u << 20;

void AdviseHugePages(void* p, size_t n) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (start + n) & ~(kHugePage - 1);
    // Advice only: a kernel without huge pages, or none to spare, leaves the block as it was.
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// glibc grows its mmap threshold with the blocks a program frees, up to 32 MB in a 64-bit process
// but only 512 KB in a 32-bit one: there every block above that (a 1 MB message's copy, its decoded
// attachment) would be a fresh mapping, faulted in and zeroed by the kernel, for every message. The
// 32-bit process takes the heap up to the size of a huge block instead, and keeps twice that free at
// its top, as glibc's own growth would.
[[maybe_unused]] const bool heapPolicy = [] {
    if (sizeof(void*) == 4) {
        mallopt(M_MMAP_THRESHOLD, static_cast<int>(kHugeBlock));
        mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * kHugeBlock));
    }
    return true;
}();

} // namespace

void* MemAllocZeroed(size_t n) {
    if (OverBound(n)) return nullptr;
    void* p;
    if (n <= kSmallBlock) {
        p = malloc(n ? n : 1);
        if (!p) return nullptr;
        memset(p, 0, n);
    } else {
        p = calloc(1, n);
        if (!p) return nullptr;
    }
    Taken(p);
    if (n >= kHugeBlock) AdviseHugePages(p, n);
    return p;
}

void MemFree(void* p) {
    if (!p) return;
    bytesInUse -= static_cast<int64_t>(malloc_usable_size(p));
    free(p);
    ++freeCount;
}

uint32_t MemAllocCount() {
    return allocCount;
}
uint32_t MemFreeCount() {
    return freeCount;
}
int64_t MemBytesInUse() {
    return bytesInUse;
}

void MemSetFailureBound(size_t bytes) {
    boundBase = bytesInUse;
    failureBound = bytes;
}

// The replaceable global operators. The plain forms throw std::bad_alloc on failure (the standard
// library's containers rely on it); the nothrow forms return null.
void* operator new(size_t n) {
    return AllocOrThrow([n] { return MemAllocZeroed(n); });
}
void* operator new[](size_t n) {
    return AllocOrThrow([n] { return MemAllocZeroed(n); });
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    return MemAllocZeroed(n);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    return MemAllocZeroed(n);
}
void* operator new(size_t n, std::align_val_t al) {
    return AllocOrThrow([n, al] { return AllocAligned(n, al); });
}
void* operator new[](size_t n, std::align_val_t al) {
    return AllocOrThrow([n, al] { return AllocAligned(n, al); });
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
