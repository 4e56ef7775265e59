#include "shell/settings/filesignatures.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ContentCase {
    const char* what;
    std::string data;
    uint64_t size; // 0: the data's own length
    int verdict;
};

void PrintTo(const ContentCase& c, std::ostream* os) {
    *os << c.what;
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

std::string Pad(std::string head, size_t len, char fill = 'x') {
    head.resize(len, fill);
    return head;
}

std::string UstarAt257(size_t len) {
    std::string s(257, 'x');
    s += "ustar";
    s.resize(len, 'x');
    return s;
}

class ContentVerdict : public ::testing::TestWithParam<ContentCase> {};

TEST_P(ContentVerdict, ScansOrSkips) {
    const ContentCase& c = GetParam();
    uint64_t size = c.size ? c.size : c.data.size();
    EXPECT_EQ(c.verdict,
              ContentWorthScanning(reinterpret_cast<const uint8_t*>(c.data.data()), c.data.size(), size))
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ContentVerdict,
    ::testing::Values(
        ContentCase{"program MZ", Pad("MZ", 100), 0, 1}, ContentCase{"program ZM", Pad("ZM", 100), 0, 1},
        ContentCase{"TV followed by o", "TVo", 0, 1}, ContentCase{"TV followed by r", "TVr", 0, 1},
        ContentCase{"TV followed by s", Pad("TVs", 100), 70000, 0},
        ContentCase{"zip", Pad(Bytes({0x50, 0x4B, 0x03, 0x04}), 100), 70000, 1},
        ContentCase{"rar needs all seven bytes", Pad(Bytes({0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00}), 9),
                    70000, 1},
        ContentCase{"rar cut short", Bytes({0x52, 0x61, 0x72, 0x21, 0x1A, 0x07}), 70000, 0},
        ContentCase{"four zero bytes", Pad(std::string(4, '\0'), 100), 0, 1},
        ContentCase{"two zero bytes only", std::string(2, '\0'), 2, 0},
        ContentCase{"three zero bytes only", std::string(3, '\0'), 3, 0},
        ContentCase{"jet database", Pad(Bytes({0, 1, 0, 0}) + "Standard Jet DB", 100), 70000, 1},
        ContentCase{"jet system database", Pad(Bytes({0, 1, 0, 0}) + "Jet System DB  ", 100), 70000, 1},
        ContentCase{"tar at 257", UstarAt257(300), 70000, 1},
        ContentCase{"tar cut inside the magic", UstarAt257(261), 70000, 0},
        ContentCase{"tar magic ending the data", UstarAt257(262), 70000, 1},
        ContentCase{"lha at offset 2", Pad("xx-lh5-", 100), 70000, 1},
        ContentCase{"cpio", Pad("070701", 100), 70000, 1},
        ContentCase{"last binary row", Pad(Bytes({0xCF, 0xAD, 0x12, 0xFE, 0xC5}), 100), 70000, 1},
        ContentCase{"mail header, any case", Pad("RECEIVED: from", 100), 70000, 1},
        ContentCase{"mail from line", Pad("from someone", 100), 70000, 1},
        ContentCase{"html", Pad("<HTML><body>", 100), 70000, 1},
        ContentCase{"rtf", Pad("{\\rtf1", 100), 70000, 1},
        ContentCase{"jpeg, small", Pad(Bytes({0xFF, 0xD8, 0xFF, 0xE0}), 100), 0, 0},
        ContentCase{"jpeg, large", Pad(Bytes({0xFF, 0xD8, 0xFF, 0xE0}), 100), 70000, 0},
        ContentCase{"all ones, small", Pad(Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 100), 0, 1},
        ContentCase{"nop, small", Pad(Bytes({0x90}), 100), 0, 1},
        ContentCase{"nop, large", Pad(Bytes({0x90}), 100), 70000, 0},
        ContentCase{"call, small", Pad(Bytes({0xE8}), 100), 0, 1},
        ContentCase{"jump, just under 64 KiB", Pad(Bytes({0xEB}), 100), 65535, 1},
        ContentCase{"jump, at 64 KiB", Pad(Bytes({0xEB}), 100), 65536, 0},
        ContentCase{"high nibble B", Pad(Bytes({0xB8}), 100), 0, 1},
        ContentCase{"high nibble F", Pad(Bytes({0xF3}), 100), 0, 1},
        ContentCase{"plain text, small", Pad("hello world", 100), 0, 0},
        ContentCase{"nothing read", "", 100, 0}));

TEST(SignatureMatches, StaysWithinTheBytesRead) {
    const FileSignature& ustar = BinarySignatures[15];
    ASSERT_EQ(257u, ustar.offset);
    std::string data = UstarAt257(262);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(data.data());
    EXPECT_TRUE(SignatureMatches(ustar, p, 262, false));
    EXPECT_FALSE(SignatureMatches(ustar, p, 261, false));
    EXPECT_FALSE(SignatureMatches(ustar, p, 100, false));
    EXPECT_FALSE(SignatureMatches(ustar, nullptr, 0, false));
}

TEST(SignatureTables, HaveTheirRowsInOrder) {
    size_t binary = 0, text = 0;
    while (BinarySignatures[binary].bytes) ++binary;
    while (TextSignatures[text].bytes) ++text;
    EXPECT_EQ(43u, binary);
    EXPECT_EQ(11u, text);
    EXPECT_EQ(std::string("PK\x03\x04"), std::string(BinarySignatures[0].bytes, BinarySignatures[0].length));
    EXPECT_EQ(19u, BinarySignatures[6].length);
    EXPECT_EQ(19u, BinarySignatures[7].length);
    EXPECT_EQ(7u, BinarySignatures[3].length);
    EXPECT_EQ(std::string("ActiveMime"), std::string(TextSignatures[10].bytes, TextSignatures[10].length));
}

} // namespace
