#include "base/shortbytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Every length on both sides of the block size and of the longest short run, at every offset of a
// block: each byte of the run is copied, none around it is touched.
TEST(ShortBytes, CopiesExactlyTheRun) {
    for (size_t n :
         {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 48u, 49u, 64u, 65u, 200u, 1023u, 1024u, 1025u, 5000u})
        for (size_t offset = 0; offset < 16; ++offset) {
            std::vector<unsigned char> from(n + 32), to(n + 32, 0xEE);
            for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<unsigned char>(i * 7 + 1);
            CopyShortBytes(to.data() + offset, from.data() + 16 - offset, n);
            for (size_t i = 0; i < to.size(); ++i) {
                const bool inRun = i >= offset && i < offset + n;
                ASSERT_EQ(to[i], inRun ? from[i + 16 - 2 * offset] : 0xEE)
                    << "n " << n << " offset " << offset << " at " << i;
            }
        }
}

// A difference at any one place, the first and the last byte too, tells the runs apart; bytes
// outside the run do not count.
TEST(ShortBytes, ComparesEveryByteOfTheRunAndNoOther) {
    for (size_t n : {1u, 15u, 16u, 17u, 22u, 32u, 33u, 1024u, 1025u}) {
        std::vector<char> a(n + 1, 'x'), b(n + 1, 'x');
        a[n] = 'a';
        b[n] = 'b';
        EXPECT_TRUE(SameShortBytes(a.data(), b.data(), n)) << n;
        for (size_t i = 0; i < n; ++i) {
            b[i] = 'y';
            EXPECT_FALSE(SameShortBytes(a.data(), b.data(), n)) << "n " << n << " at " << i;
            b[i] = 'x';
        }
    }
    EXPECT_TRUE(SameShortBytes("a", "b", 0));
}

} // namespace
