#include "mail/mime/bytesearch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr size_t kNone = std::string_view::npos;

// Texts are looked at in blocks of sixteen and in rounds of four blocks: the sizes and places below
// put what is searched for before, on and after the edges of both, and at the very end.
const size_t kSizes[] = {0,  1,  2,  3,  15,  16,  17,  18,  31,  32,  33,  47,  63, 64,
                         65, 66, 80, 81, 127, 128, 129, 130, 145, 200, 256, 257, 300};

// A filler that holds none of the bytes searched for, high bytes included.
std::string Filler(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) text += "xyz\xC1\x8E-0"[i % 7];
    return text;
}

size_t PairReference(const std::string& text, size_t from, char first, char second) {
    for (size_t i = from; i + 1 < text.size(); ++i)
        if (text[i] == first && text[i + 1] == second) return i;
    return kNone;
}

TEST(FindBytePair, FindsTheFirstPairFromWhereItLooks) {
    for (size_t size : kSizes) {
        for (size_t at = 0; at + 1 < size; ++at) {
            std::string text = Filler(size);
            text[at] = '\n';
            text[at + 1] = 'b';
            // Halves of the pair elsewhere must not count.
            if (at >= 2) text[at - 2] = 'b';
            if (at + 3 < size) text[at + 3] = '\n';
            for (size_t from : {size_t{0}, at > 0 ? at - 1 : 0, at, at + 1, size}) {
                const size_t expected = PairReference(text, from, '\n', 'b');
                ASSERT_EQ(FindBytePair(text, from, '\n', 'b'), expected)
                    << "size " << size << " pair at " << at << " from " << from;
                // The plain loop, which answers where SSE2 is missing, at every size too.
                if (from < size) {
                    ASSERT_EQ(byte_search::PairLoop(text.data(), size, from, '\n', 'b'), expected);
                }
            }
        }
        EXPECT_EQ(FindBytePair(Filler(size), 0, '\n', 'b'), kNone) << size;
    }
}

TEST(FindBytePair, APairThatEndsTheTextIsFoundAndHalfAPairIsNot) {
    for (size_t size : kSizes) {
        if (size < 2) continue;
        std::string text = Filler(size);
        text[size - 2] = '=';
        text[size - 1] = '?';
        EXPECT_EQ(FindBytePair(text, 0, '=', '?'), size - 2) << size;
        text[size - 2] = 'x';
        text[size - 1] = '=';
        EXPECT_EQ(FindBytePair(text, 0, '=', '?'), kNone) << size;
    }
}

TEST(FindLetterNoCase, FindsEitherCaseOfTheLetterOnly) {
    for (size_t size : kSizes) {
        for (size_t at = 0; at < size; ++at) {
            for (char form : {'n', 'N'}) {
                std::string text = Filler(size);
                text[at] = form;
                for (size_t from : {size_t{0}, at, at + 1}) {
                    const size_t expected = from <= at ? at : kNone;
                    ASSERT_EQ(FindLetterNoCase(text, from, 'n'), expected)
                        << "size " << size << " at " << at << " from " << from << " form " << form;
                    if (from < size) {
                        ASSERT_EQ(byte_search::LetterLoop(text.data(), size, from, 'n'), expected);
                    }
                }
            }
        }
    }
    // Bytes that differ from the letter in bit 0x20 alone but are not its other case.
    EXPECT_EQ(FindLetterNoCase(std::string(40, '\x0E') + ".n", 0, 'n'), 41u);
    EXPECT_EQ(FindLetterNoCase(std::string(40, '\xCE'), 0, 'n'), kNone);
}

TEST(FindByteOrLetterNoCase, FindsTheFirstOfTheByteAndTheLetter) {
    for (size_t size : kSizes) {
        for (size_t at = 0; at < size; ++at) {
            for (char form : {'?', 'n', 'N'}) {
                std::string text = Filler(size);
                text[at] = form;
                // The other one behind it does not come first.
                if (at + 1 < size) text[at + 1] = form == '?' ? 'n' : '?';
                for (size_t from : {size_t{0}, at, at + 1}) {
                    const size_t expected = from <= at ? at : from < size ? at + 1 : kNone;
                    ASSERT_EQ(FindByteOrLetterNoCase(text, from, '?', 'n'), expected)
                        << "size " << size << " at " << at << " from " << from << " form " << form;
                    if (from < size) {
                        ASSERT_EQ(byte_search::ByteOrLetterLoop(text.data(), size, from, '?', 'n'), expected);
                    }
                }
            }
        }
    }
    // The byte is taken as it is: one that differs from it in bit 0x20 alone is not it.
    EXPECT_EQ(FindByteOrLetterNoCase(std::string(40, '\x1F') + "?", 0, '?', 'n'), 40u);
    EXPECT_EQ(FindByteOrLetterNoCase(std::string(40, '\xCE'), 0, '?', 'n'), kNone);
}

TEST(FindLoneCr, FindsTheFirstCrNotBeforeAnLf) {
    for (size_t size : kSizes) {
        std::string lines;
        while (lines.size() < size) lines += "ab\r\n";
        lines.resize(size);
        const bool endsInCr = size > 0 && lines.back() == '\r';
        EXPECT_EQ(FindLoneCr(lines), endsInCr ? size - 1 : kNone) << size;
        if (endsInCr) lines.back() = '.';
        for (size_t at = 0; at < size; ++at) {
            if (lines[at] != 'a' && lines[at] != 'b') continue;
            std::string text = lines;
            text[at] = '\r';
            ASSERT_EQ(FindLoneCr(text), at) << "size " << size << " CR at " << at;
        }
    }
}

} // namespace
