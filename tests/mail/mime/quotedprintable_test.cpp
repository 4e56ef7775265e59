#include <gtest/gtest.h>

#include <random>
#include <string>

#include "body_decode_cases.h"
#include "mail/mime/quotedprintable.h"

namespace {

using namespace std::string_literals;

struct EncodeCase {
    std::string input;
    std::string output;
};

TEST(QpEncodeTest, Table) {
    const std::string letters100(100, 'a');
    const EncodeCase cases[] = {
        {"a b", "a b"},
        {"a \r\nb", "a=20\r\nb"},
        {"a ", "a=20"},
        {"=", "=3D"},
        {".x", "=2Ex"},
        {".", "=2E"},
        {"a\r\n.\r\n", "a\r\n=2E\r\n"},
        {"x.", "x."},
        {"From me", "=46rom me"},
        {"a\r\nFrom me", "a\r\n=46rom me"},
        {"From", "From"},
        {"from me", "from me"},
        {"Fromage", "Fromage"},
        {"tab\there", "tab=09here"},
        {"lone\nLF and lone\rCR", "lone=0ALF and lone=0DCR"},
        {"\r\r\n", "=0D\r\n"},
        {"caf\xe9\x7f\x00"s, "caf=E9=7F=00"},
        {letters100, std::string(73, 'a') + "=\r\n" + std::string(27, 'a')},
        {std::string(73, 'a'), std::string(73, 'a') + "=\r\n"},
        {std::string(73, 'a') + "\r\nb", std::string(73, 'a') + "\r\nb"},
        {std::string(72, 'a') + "=b", std::string(72, 'a') + "=3D=\r\nb"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string out = "old";
        EXPECT_EQ(QpEncode(c.input, out), 0);
        EXPECT_EQ(out, c.output) << c.input;
    }
}

// The encoding rules byte by byte, as simply as they can be written: what QpEncode must give for
// any input, however it goes through it.
std::string QpByTheRules(const std::string& in) {
    auto crLfAt = [&](size_t i) { return i + 1 < in.size() && in[i] == '\r' && in[i + 1] == '\n'; };
    auto escape = [](unsigned char c) {
        const char* hex = "0123456789ABCDEF";
        return std::string{'=', hex[c >> 4], hex[c & 15]};
    };
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (crLfAt(i)) {
            out += "\r\n";
            ++i;
            column = 0;
        } else if (column == 0 && (c == '.' || in.compare(i, 5, "From ") == 0)) {
            out += escape(c);
            column = 3;
        } else {
            if ((c >= 0x21 && c <= 0x7E && c != '=') || (c == ' ' && i + 1 < in.size() && !crLfAt(i + 1))) {
                out += static_cast<char>(c);
                ++column;
            } else {
                out += escape(c);
                column += 3;
            }
            if (column > 72 && !crLfAt(i + 1)) {
                out += "=\r\n";
                column = 0;
            }
        }
    }
    return out;
}

// Long inputs full of what the rules single out (line ends alone and in pairs, blanks before them,
// full stops and "From " where a line may start, long runs, 8-bit bytes), across the lengths at
// which the encoder works in chunks.
TEST(QpEncodeTest, LongInputsFollowTheRules) {
    const char* const pieces[] = {"\r\n", "\r", "\n", " ",    " \r\n", ".",        "From ",
                                  "F",    "=",  "\t", "\xe9", "word",  "two words"};
    std::mt19937 rng(73);
    for (int round = 0; round < 300; ++round) {
        std::string input;
        const size_t size = 1000 + rng() % 5000;
        while (input.size() < size) {
            if (rng() % 4 == 0) {
                input.append(rng() % 100, static_cast<char>('a' + rng() % 26));
            } else if (round % 3 == 0) {
                input += static_cast<char>(rng());
            } else {
                input += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
            }
        }
        std::string out;
        ASSERT_EQ(QpEncode(input, out), 0);
        ASSERT_EQ(out, QpByTheRules(input)) << round;
    }
}

TEST(QpDecodeTest, Table) {
    const BodyDecodeCase cases[] = {
        {"escape", "a=3Db", false, "a=b", 0},
        {"escape of an 8-bit byte", "=E9", false, "\xe9", 0},
        {"lower-case digits", "=e9=3d", false, "\xe9=", 0},
        {"soft break", "abc=\r\ndef\r\n", false, "abcdef\r\n", 0},
        {"soft break after trailing blanks", "abc=  \t\r\ndef", false, "abcdef", 0},
        {"bad escape kept", "a=ZZb", false, "a=ZZb", -1},
        {"half an escape", "a=3Zb", false, "a=3Zb", -1},
        {"bytes after a bad escape are read again", "==41", false, "=A", -1},
        {"'=' and one byte at the line end", "ab=C\r\nd", false, "abC\r\nd", -1},
        {"bare LF line end", "x\n", false, "x\n", 0},
        {"bare LF line keeps the CR LF before it", "a\r\n\nb", false, "a\r\n\r\nb", 0},
        {"first line bare LF", "\nb", false, "\r\nb", 0},
        {"trailing blanks dropped", "a \t \r\nb  ", false, "a\r\nb", 0},
        {"leading blanks are data", "  a\r\n", false, "  a\r\n", 0},
        {"no line end at the end", "abc", false, "abc", 0},
        {"NUL is data", "a\0b=3Dc"s, false, "a\0b=c"s, 0},
        {"8-bit bytes copied unchanged", "\xe9\xa0x", false, "\xe9\xa0x", 0},
        {"0xBD is no '='",
         "a\xbd"
         "41",
         false,
         "a\xbd"
         "41",
         0},
        {"0xA0 is no blank to trim", "a\xa0\r\nb", false, "a\xa0\r\nb", 0},
        {"0x8A is no line end",
         "a\x8a"
         "b",
         false,
         "a\x8a"
         "b",
         0},
        {"collapse CR before a line end", "a=0D\r\nb", true, "a\r\nb", 0},
        {"no collapse", "a=0D\r\nb", false, "a\r\r\nb", 0},
        {"collapse raw CRs", "a\r\r\rb", true, "a\rb", 0},
        {"empty", "", false, "", 0},
    };
    ExpectDecodes(QpDecode, cases);
}

} // namespace
