#include "base/alloc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

namespace {

struct alignas(64) Wide {
    unsigned char bytes[200];
};

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

TEST(Alloc, LibraryContainersGoThroughIt) {
    uint32_t allocs = MemAllocCount();
    std::string s(1000, 'x');
    EXPECT_GT(MemAllocCount(), allocs);
}

} // namespace
