#include "base/alloc.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <string>

namespace {

struct alignas(64) Wide {
    unsigned char bytes[200];
};

// The compiler may drop a new whose block nobody uses, with its delete: these blocks are used.
void Keep(const void* p) {
    asm volatile("" : : "r"(p) : "memory");
}

// The counters move with the program's own new and delete: proof that the
// replacement operators are the ones linked in.
TEST(Alloc, NewAndDeleteAreCountedAndZeroFilled) {
    uint32_t allocs = MemAllocCount(), frees = MemFreeCount();
    unsigned char* p = new unsigned char[100];
    for (int i = 0; i < 100; ++i) EXPECT_EQ(p[i], 0) << i;
    EXPECT_EQ(MemAllocCount(), allocs + 1);
    delete[] p;
    EXPECT_EQ(MemFreeCount(), frees + 1);

    Wide* w = new Wide; // default-initialised: the zeroes come from the allocator
    EXPECT_EQ(reinterpret_cast<uintptr_t>(w) % 64, 0u);
    for (unsigned char b : w->bytes) EXPECT_EQ(b, 0);
    delete w;
    EXPECT_EQ(MemAllocCount(), allocs + 2);
    EXPECT_EQ(MemFreeCount(), frees + 2);
}

TEST(Alloc, BytesInUseFollowTheBlocksLeftUnreleased) {
    const int64_t before = MemBytesInUse();
    unsigned char* p = new unsigned char[1000];
    Wide* w = new Wide;
    Keep(p);
    Keep(w);
    EXPECT_GE(MemBytesInUse() - before, 1000 + static_cast<int64_t>(sizeof(Wide)));
    EXPECT_LT(MemBytesInUse() - before, 2000 + static_cast<int64_t>(sizeof(Wide)));
    delete w;
    delete[] p;
    EXPECT_EQ(MemBytesInUse(), before);
}

TEST(Alloc, NothrowFormsReturnNullInsteadOfThrowing) {
#ifndef __SANITIZE_ADDRESS__ // the sanitizer's heap stops the program instead
    volatile size_t hugeSize = SIZE_MAX - 64;
    void* huge = operator new(hugeSize, std::nothrow);
    EXPECT_EQ(huge, nullptr);
#endif
    void* none = operator new[](0, std::nothrow);
    EXPECT_NE(none, nullptr);
    operator delete[](none, std::nothrow);
    operator delete(nullptr); // ignored
}

// The plain forms throw, as the standard library's containers need: a string that cannot grow
// reports it instead of writing through a null pointer.
TEST(Alloc, PlainFormsThrowWhenMemoryIsExhausted) {
#ifndef __SANITIZE_ADDRESS__
    volatile size_t hugeSize = SIZE_MAX - 64;
    EXPECT_THROW(operator delete(operator new(hugeSize)), std::bad_alloc);
    EXPECT_THROW(operator delete[](operator new[](hugeSize, std::align_val_t{64}), std::align_val_t{64}),
                 std::bad_alloc);
    EXPECT_EQ(operator new (hugeSize, std::align_val_t{64}, std::nothrow), nullptr);
#endif
    MemSetFailureBound(1 << 16);
    bool threw = false;
    try {
        std::string grown(1 << 17, 'x');
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    MemSetFailureBound(0);
    EXPECT_TRUE(threw);
}

// The test bound counts the blocks taken since it was set and not yet released, through every
// form of allocation.
TEST(Alloc, FailureBoundCountsTheBlocksHeld) {
    MemSetFailureBound(10000);
    void* first = MemAllocZeroed(6000);
    void* second = MemAllocZeroed(6000);
    void* nothrow = operator new[](6000, std::nothrow);
    bool threw = false;
    try {
        operator delete(operator new(6000));
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    MemFree(first);
    void* again = operator new(6000);
    void* over = MemAllocZeroed(6000);
    MemSetFailureBound(0);
    void* lifted = MemAllocZeroed(20000);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(nothrow, nullptr);
    EXPECT_TRUE(threw);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(over, nullptr);
    EXPECT_NE(lifted, nullptr);
    operator delete(again);
    MemFree(lifted);
}

// Small blocks given back are kept for the next requests: each must come back zero-filled, hold
// the bytes asked for, and be counted as taken and given back like a fresh one.
TEST(Alloc, BlocksGivenBackAndTakenAgainAreZeroFilledAndCounted) {
    const size_t sizes[] = {0, 1, 11, 12, 13, 20, 28, 29, 100, 140, 264, 500, 1000, 1023, 1024, 1025, 4000};
    const int64_t before = MemBytesInUse();
    const uint32_t allocs = MemAllocCount(), frees = MemFreeCount();
    int taken = 0;
    for (int round = 0; round < 3; ++round) {
        // Not a vector: its own block would count in the bytes in use.
        std::array<unsigned char*, std::size(sizes) * 20> blocks{};
        size_t count = 0;
        for (size_t n : sizes) {
            for (int k = 0; k < 20; ++k) {
                auto* p = static_cast<unsigned char*>(MemAllocZeroed(n));
                ASSERT_NE(p, nullptr);
                ++taken;
                for (size_t i = 0; i < n; ++i) ASSERT_EQ(p[i], 0) << "size " << n << " byte " << i;
                EXPECT_GE(MemBytesInUse() - before, static_cast<int64_t>(n));
                memset(p, 0xA5, n); // what the next taker of the block must not see
                blocks[count++] = p;
            }
        }
        // Given back in another order than taken, and taken again for other sizes next round.
        for (size_t i = 0; i < count; i += 2) MemFree(blocks[i]);
        for (size_t i = 1; i < count; i += 2) MemFree(blocks[i]);
        EXPECT_EQ(MemBytesInUse(), before);
    }
    EXPECT_EQ(MemAllocCount() - allocs, static_cast<uint32_t>(taken));
    EXPECT_EQ(MemFreeCount() - frees, static_cast<uint32_t>(taken));
}

// Every size of a small block, each taken twice, the second time after its bytes were written over
// and it was given back: each way of filling the end of a block is seen.
TEST(Alloc, EverySmallSizeComesBackZeroFilled) {
    for (size_t n = 0; n <= 1100; ++n) {
        for (int turn = 0; turn < 2; ++turn) {
            auto* p = static_cast<unsigned char*>(MemAllocZeroed(n));
            ASSERT_NE(p, nullptr);
            for (size_t i = 0; i < n; ++i) ASSERT_EQ(p[i], 0) << "size " << n << " byte " << i;
            memset(p, 0x5A, n);
            MemFree(p);
        }
    }
}

// A block given back with the size it was asked for counts what the C library says it holds, as
// one given back without: taken fresh among the holes of every size left in the C library's heap,
// or kept and taken again, through both forms of give-back.
TEST(Alloc, BytesInUseAreTheLibrarySizesOfTheBlocks) {
    std::array<void*, 3000> holes{};
    for (size_t i = 0; i < holes.size(); ++i) holes[i] = malloc(1 + i * 7919 % 1500);
    for (size_t i = 0; i < holes.size(); i += 2) free(holes[i]);
    std::array<void*, 48> held{};
    for (size_t n = 0; n <= 1024; ++n) {
        for (void*& p : held) {
            const int64_t before = MemBytesInUse();
            p = operator new(n);
            ASSERT_EQ(MemBytesInUse() - before, static_cast<int64_t>(malloc_usable_size(p))) << "size " << n;
        }
        for (size_t k = 0; k < held.size(); ++k) {
            const int64_t before = MemBytesInUse();
            const auto usable = static_cast<int64_t>(malloc_usable_size(held[k]));
            if (k % 3 == 0)
                operator delete(held[k]);
            else
                operator delete(held[k], n);
            ASSERT_EQ(before - MemBytesInUse(), usable) << "size " << n;
        }
    }
    for (size_t i = 1; i < holes.size(); i += 2) free(holes[i]);
}

TEST(Alloc, LibraryContainersGoThroughIt) {
    uint32_t allocs = MemAllocCount();
    std::string s(1000, 'x');
    EXPECT_GT(MemAllocCount(), allocs);
}

} // namespace
