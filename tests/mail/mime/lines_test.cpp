#include "mail/mime/lines.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(LineEnds, EachKindOfLineEnd) {
    const std::string in = "a\nb\rc\r\nd";
    std::string out;
    EXPECT_EQ(ToCrLf(in, out), 0);
    EXPECT_EQ(out, "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(out.size(), in.size() + 2);
    EXPECT_EQ(ToLf(in, out), 0);
    EXPECT_EQ(out, "a\nb\nc\nd");
    EXPECT_EQ(ToCr(in, out), 0);
    EXPECT_EQ(out, "a\rb\rc\rd");

    struct {
        const char* in;
        const char* crlf;
    } cases[] = {
        {"", ""},         {"\r\r\n", "\r\n\r\n"},   {"\n\r", "\r\n\r\n"},
        {"x\r", "x\r\n"}, {"\r\n\r\n", "\r\n\r\n"}, {"no line end", "no line end"},
    };
    for (const auto& c : cases) {
        ToCrLf(c.in, out);
        EXPECT_EQ(out, c.crlf) << c.in;
    }
    const std::string binary("\0\x80\xff\n", 4);
    ToCrLf(binary, out);
    EXPECT_EQ(out, std::string("\0\x80\xff\r\n", 5));
}

TEST(LineEnds, RoundTripsOverGeneratedTexts) {
    std::mt19937 rng(77);
    const char alphabet[] = {'a', ' ', '\r', '\n', '\0', '\xff', '\t'};
    for (int round = 0; round < 500; ++round) {
        std::string text(rng() % 64, 'a');
        for (char& c : text) c = alphabet[rng() % sizeof alphabet];
        std::string crlf, lf, cr, back;
        ToCrLf(text, crlf);
        ToLf(text, lf);
        ToCr(text, cr);
        ToLf(crlf, back);
        EXPECT_EQ(back, lf);
        ToCrLf(lf, back);
        EXPECT_EQ(back, crlf);
        ToCrLf(cr, back);
        EXPECT_EQ(back, crlf);
        ToCr(crlf, back);
        EXPECT_EQ(back, cr);
        // In place.
        std::string same = text;
        ToCrLf(same, same);
        EXPECT_EQ(same, crlf);
    }
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& w : words) joined += (joined.empty() ? "" : " ") + w;
    return joined;
}

TEST(Folding, BreaksBeforeTheWordThatWouldReachColumn76) {
    // 15 columns are used before the text: a line may reach column 75, not 76.
    std::string words54;
    for (int i = 0; i < 11; ++i) words54 += (i ? " " : "") + std::string("aaaa");
    std::string text = words54 + " bbbbb c";
    FoldText(text, 15);
    EXPECT_EQ(text, words54 + " bbbbb\r\n c"); // 15 + 60 = 75 columns, then the break
    text = words54 + " bbbbbb c";
    FoldText(text, 15);
    EXPECT_EQ(text, words54 + "\r\n bbbbbb c"); // bbbbbb would reach column 76
    text = words54 + " bbbbbb c";
    FoldText(text, 0); // the offset counts on the first line only, and 0 leaves room
    EXPECT_EQ(text, words54 + " bbbbbb c");

    std::string blanks = " \t\r\n  ";
    FoldText(blanks, 0);
    EXPECT_EQ(blanks, "");
    std::string spaced = "  a \t b\r\n\tc  ";
    FoldText(spaced, 0);
    EXPECT_EQ(spaced, "a b c");

    // A word longer than a line stands alone.
    std::string longWord = "x " + std::string(100, 'y') + " z";
    FoldText(longWord, 0);
    EXPECT_EQ(longWord, "x\r\n " + std::string(100, 'y') + "\r\n z");
    std::string first = std::string(80, 'w');
    FoldText(first, 40);
    EXPECT_EQ(first, std::string(80, 'w'));
}

TEST(Folding, UnfoldUndoesFoldAndLinesStayShort) {
    std::mt19937 rng(2047);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        int words = rng() % 40;
        for (int i = 0; i < words; ++i) {
            text += std::string(1 + rng() % 12, static_cast<char>('a' + rng() % 26));
            text += " \t\r\n"[rng() % 4];
            if (rng() % 5 == 0) text += "  ";
        }
        int offset = rng() % 30;
        std::string folded = text;
        FoldText(folded, offset);
        std::string unfolded = folded;
        UnfoldText(unfolded);
        EXPECT_EQ(unfolded, Joined(Words(text)));

        // The words of a line take less than 76 columns, the first line's offset counted.
        std::istringstream lines(folded);
        std::string line;
        bool firstLine = true;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            size_t columns = firstLine ? line.size() + offset : line.size() - 1;
            EXPECT_LT(columns, 76u) << folded;
            firstLine = false;
        }
    }
}

TEST(Folding, Unfold) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\r\n\tb", "a b"}, {"a\n\tb", "a b"},  {"a\r\tb", "a\tb"}, {"a\n\r\tb", "a\tb"},
        {"a\tb", "a\tb"},    {"a\r\n b", "a b"}, {"\r\n", ""},       {"", ""},
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        UnfoldText(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

} // namespace
