#include "base/alloc.h"

#include "base/cpusse2.h"

#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <sys/mman.h>

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace {

// Plain counts: the program runs one thread a process (the pool forks its workers), and a locked
// add on every block was a tenth of the parse of a message of many small parts.
uint32_t allocCount = 0;
uint32_t freeCount = 0;
// A word of the process's width: the blocks it holds never pass its address space.
size_t bytesInUse = 0;

// The test bound of MemSetFailureBound: 0, or the bytes the blocks taken since may hold, counted from
// the bytes in use when it was set. Blocks of before the bound that are released lower the figure;
// it is a test's bound, not a budget.
size_t failureBound = 0;
size_t boundBase = 0;

bool OverBound(size_t n) {
    if (failureBound == 0) return false;
    const int64_t taken = static_cast<int64_t>(bytesInUse) - static_cast<int64_t>(boundBase);
    return n > failureBound || taken + static_cast<int64_t>(n) > static_cast<int64_t>(failureBound);
}

void Taken(void* p) {
    ++allocCount;
    bytesInUse += malloc_usable_size(p);
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

// Small blocks the program gave back, kept for its next requests, by size class: a message of many
// small parts takes and gives back a node or two a part, and the C library, whose own cache holds
// seven blocks a size, serves all the others from its slow paths. Kept up to as much as the C
// library keeps free at its heap's top. The sanitizers must see every block go back to them.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVO_ADDRESS_SANITIZER
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(TARVO_ADDRESS_SANITIZER)
constexpr size_t kCacheBytes = 0;
#else
constexpr size_t kCacheBytes = 2 * kHugeBlock;
#endif
// The classes are 16 bytes apart, offset by the C library's size word, so that a class holds the
// blocks it makes for the requests of one class: a block of class k holds at least 16k - 4 (or - 8)
// bytes, what any request of that class asks.
constexpr size_t kClassStep = 16;
constexpr size_t kClassOffset = sizeof(size_t);
constexpr size_t kClasses = (kSmallBlock + kClassOffset + kClassStep - 1) / kClassStep + 1;

struct CachedBlock {
    CachedBlock* next;
    size_t usable;
};
CachedBlock* cachedBlocks[kClasses];
size_t cachedBytes = 0;

inline size_t RequestClass(size_t n) {
    return (n + kClassOffset + kClassStep - 1) / kClassStep;
}
inline size_t BlockClass(size_t usable) {
    return (usable + kClassOffset) / kClassStep;
}

// glibc on i386 (from 2.26) sizes every chunk in steps of 16 bytes behind a 4-byte size word, and as
// its smallest chunk is 16 bytes too it splits off every remainder: a small block asked for at its
// class's size holds exactly that many bytes, so a block given back with the size it was asked for
// needs no look-up of its size. (On x86-64 the smallest chunk is 32 bytes and a remainder of 16 stays
// with the block; the sanitizers size a block as asked.) Asking for the class's size keeps any kept
// block large enough for its class whatever the C library.
#if defined(__i386__) && defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) &&                             \
    !defined(TARVO_ADDRESS_SANITIZER)
#if __GLIBC_PREREQ(2, 26)
#define TARVO_EXACT_CLASSES
#endif
#endif
#ifdef TARVO_EXACT_CLASSES
constexpr bool kExactClasses = true;
#else
constexpr bool kExactClasses = false;
#endif

// The bytes a block of class k holds.
inline size_t ClassBytes(size_t k) {
    return k * kClassStep - kClassOffset;
}

// Keeps a block of class k that holds usable bytes, or frees it when the cache is full. Counted.
inline void GiveBack(void* p, size_t k, size_t usable) {
    bytesInUse -= usable;
    ++freeCount;
    if (k < kClasses && cachedBytes + usable <= kCacheBytes) {
        CachedBlock* block = static_cast<CachedBlock*>(p);
        if (!kExactClasses) block->usable = usable;
        block->next = cachedBlocks[k];
        cachedBlocks[k] = block;
        cachedBytes += usable;
        return;
    }
    free(p);
}

#if defined(__i386__) || defined(__x86_64__)
__attribute__((target("sse2"))) void ZeroBlock(char* at) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_setzero_si128());
}

// Sixteen zero bytes at a time, four a turn; the last stores end where the run does, over bytes
// already done. 16 <= n.
__attribute__((target("sse2"))) void ZeroBlocks(void* p, size_t n) {
    char* at = static_cast<char*>(p);
    char* const end = at + n;
    for (; end - at > 64; at += 64) {
        ZeroBlock(at);
        ZeroBlock(at + 16);
        ZeroBlock(at + 32);
        ZeroBlock(at + 48);
    }
    const ptrdiff_t left = end - at;
    if (left > 16) ZeroBlock(at);
    if (left > 32) {
        ZeroBlock(at + 16);
        ZeroBlock(end - 32);
    }
    ZeroBlock(end - 16);
}
#else
void ZeroBlocks(void* p, size_t n) {
    memset(p, 0, n);
}
#endif

// The zero-fill of a small block: the C library's memset is reached through the PLT and picks its
// path by size, which for a block of a few dozen to a few hundred bytes costs as much as the stores.
inline void ZeroSmall(void* p, size_t n) {
    if (n >= 16 && CpuHasSse2)
        ZeroBlocks(p, n);
    else
        memset(p, 0, n);
}

// A kept block for n bytes (n <= kSmallBlock), taken, counted and zero-filled, or null.
inline void* TakeCached(size_t n) {
    const size_t k = RequestClass(n);
    CachedBlock* block = cachedBlocks[k];
    if (!block) return nullptr;
    cachedBlocks[k] = block->next;
    const size_t usable = kExactClasses ? ClassBytes(k) : block->usable;
    cachedBytes -= usable;
    ++allocCount;
    bytesInUse += usable;
    ZeroSmall(block, n);
    return block;
}

// Every other request: while a test bound is set, a new block, a large one.
void* AllocFresh(size_t n) {
    if (OverBound(n)) return nullptr;
    void* p;
    if (n <= kSmallBlock) {
        if (void* cached = TakeCached(n)) return cached;
        p = malloc(kExactClasses ? ClassBytes(RequestClass(n)) : (n ? n : 1));
        if (!p) return nullptr;
        ZeroSmall(p, n);
    } else {
        p = calloc(1, n);
        if (!p) return nullptr;
    }
    Taken(p);
    if (n >= kHugeBlock) AdviseHugePages(p, n);
    return p;
}

// The common request, a small block of a class that has one kept, is served in line.
inline void* AllocZeroed(size_t n) {
    if (n <= kSmallBlock && failureBound == 0)
        if (void* cached = TakeCached(n)) return cached;
    return AllocFresh(n);
}

// A block of n bytes given back: a small one's size is known from its class.
inline void FreeSized(void* p, size_t n) {
    if (kExactClasses && n <= kSmallBlock) {
        if (!p) return;
        const size_t k = RequestClass(n);
        GiveBack(p, k, ClassBytes(k));
        return;
    }
    MemFree(p);
}

} // namespace

void* MemAllocZeroed(size_t n) {
    return AllocZeroed(n);
}

void MemFree(void* p) {
    if (!p) return;
    const size_t usable = malloc_usable_size(p);
    GiveBack(p, BlockClass(usable), usable);
}

uint32_t MemAllocCount() {
    return allocCount;
}
uint32_t MemFreeCount() {
    return freeCount;
}
int64_t MemBytesInUse() {
    return static_cast<int64_t>(bytesInUse);
}

void MemSetFailureBound(size_t bytes) {
    boundBase = bytesInUse;
    failureBound = bytes;
}

// The replaceable global operators. The plain forms throw std::bad_alloc on failure (the standard
// library's containers rely on it); the nothrow forms return null.
void* operator new(size_t n) {
    return AllocOrThrow([n] { return AllocZeroed(n); });
}
void* operator new[](size_t n) {
    return AllocOrThrow([n] { return AllocZeroed(n); });
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
void operator delete(void* p, size_t n) noexcept {
    FreeSized(p, n);
}
void operator delete[](void* p, size_t n) noexcept {
    FreeSized(p, n);
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
