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

// Against the plain byte-by-byte search: every length about the block size and the longest short run,
// with the two bytes wanted put at every place, alone, both (either one first) and neither; bytes past
// the run are never taken.
TEST(ShortBytes, FindsTheFirstOfTwoBytesAsThePlainSearchDoes) {
    const auto plain = [](const std::vector<char>& run, size_t n) {
        for (size_t at = 0; at < n; ++at)
            if (run[at] == '\n' || run[at] == '\0') return at;
        return n;
    };
    for (size_t n : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 47u, 48u, 49u, 511u, 1023u, 1024u, 1025u, 5000u}) {
        std::vector<char> run(n + 16, 'x');
        // A wanted byte just past the run must not be found.
        run[n] = '\0';
        EXPECT_EQ(n, FirstOfTwoBytes(run.data(), n, '\n', '\0')) << n;
        for (size_t i = 0; i < n; ++i)
            for (const char first : {'\n', '\0'}) {
                run[i] = first;
                ASSERT_EQ(plain(run, n), FirstOfTwoBytes(run.data(), n, '\n', '\0'))
                    << "n " << n << " at " << i;
                // The other byte after it, at the end of its block and at the end of the run.
                for (const size_t later : {i + 1, (i | 15) + 1, n - 1})
                    if (later > i && later < n) {
                        run[later] = first == '\n' ? '\0' : '\n';
                        ASSERT_EQ(i, FirstOfTwoBytes(run.data(), n, '\n', '\0'))
                            << "n " << n << " at " << i << " then " << later;
                        run[later] = 'x';
                    }
                run[i] = 'x';
            }
    }
}

} // namespace
