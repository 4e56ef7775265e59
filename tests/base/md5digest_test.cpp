#include <gtest/gtest.h>

#include <string>

#include "base/hextext.h"
#include "base/md5digest.h"

namespace {

std::string DigestHex(const std::string& data) {
    unsigned char digest[kMd5DigestSize];
    EXPECT_EQ(Md5Digest(digest, data.data(), data.size()), 1);
    char text[2 * kMd5DigestSize + 1];
    BytesToHex(digest, kMd5DigestSize, text);
    std::string hex(text);
    for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return hex;
}

// 'A' to 'Z' over and over, n bytes.
std::string Letters(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>('A' + i % 26);
    return s;
}

struct DigestCase {
    std::string data;
    const char* md5;
};

TEST(Md5Digest, Rfc1321TestSuite) {
    const DigestCase cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const DigestCase& c : cases) EXPECT_EQ(DigestHex(c.data), c.md5) << '"' << c.data << '"';
}

// Expected digests are md5sum's of the same bytes. 55 bytes leave just room
// for the padding byte and the length in one block; 56 to 63 need a second
// block for the length; 64 fills a block exactly.
TEST(Md5Digest, PaddingEdgesAgreeWithMd5sum) {
    const struct {
        size_t length;
        const char* md5;
    } cases[] = {
        {55, "bdf2ee53fac2a42e4692411a8ffcd4e2"}, {56, "ca240139f53edd0770b4a912d4789bba"},
        {63, "d431e699bf5b185ebd51ba55f6f70f6b"}, {64, "cebf5ced0a0d39bfedab859f9445f6ca"},
        {65, "87cfcba5552aec628395040269d59a83"}, {1000, "1411ffd5854fa029dc4d231aa89311eb"},
    };
    for (const auto& c : cases) EXPECT_EQ(DigestHex(Letters(c.length)), c.md5) << c.length << " bytes";
}

} // namespace
