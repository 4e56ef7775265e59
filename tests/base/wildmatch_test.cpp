#include "base/wildmatch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct WildCase {
    const char* text;
    const char* pattern;
    int expect;
};

TEST(WildMatch, PatternTable) {
    const WildCase cases[] = {
        {"readme.TXT", "*.txt", 1},
        {"abc", "a?c", 1},
        {"ac", "a?c", 0},
        {"", "*", 1},
        {"", "", 1},
        {"", "?", 0},
        {"a", "", 0},
        {"abc", "abc", 1},
        {"abc", "ab", 0},
        {"abc", "***", 1},
        {"abcbc", "*bc", 1},
        {"abcbd", "*bc", 0},
        {"aXbXc", "a*b*c", 1},
        {"aXbXd", "a*b*c", 0},
        {"mississippi", "m*iss*ppi", 1},
        {"\xA0\xE0.exe", "\x80\x90.EXE", 1}, // Cyrillic letters without case
        {"\xF1", "\xF0", 0},
        // A run of '*' in the text is one text character.
        {"a***b", "a?b", 1},
        {"a**b", "a??b", 0},
        {"a*b", "a*b", 1},
    };
    for (const WildCase& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(WildMatch(text.c_str(), c.pattern), c.expect) << c.text << " ~ " << c.pattern;
        EXPECT_EQ(text, c.text) << "text changed";
    }
    EXPECT_EQ(WildMatch(nullptr, "*"), 0);
}

TEST(WildMatch, ManyStarsStayCheap) {
    // A naive recursive matcher takes exponential time here; the answer must
    // come back at all.
    std::string text(200, 'a');
    std::string pattern;
    for (int i = 0; i < 40; ++i) pattern += "*a";
    EXPECT_EQ(WildMatch(text.c_str(), (pattern + "b").c_str()), 0);
    EXPECT_EQ(WildMatch(text.c_str(), pattern.c_str()), 1);
    EXPECT_EQ(WildMatchEsc((pattern + "b").c_str(), text.c_str()), 0);
    EXPECT_EQ(WildMatchEsc(pattern.c_str(), text.c_str()), 1);
}

TEST(WildMatchEsc, PatternTable) {
    const WildCase cases[] = {
        // {text, pattern, expect}
        {"a*", "a\\*", 1},
        {"ab", "a\\*", 0},
        {"a?", "a\\?", 1},
        {"ab", "a\\?", 0},
        {"a\\b", "a\\\\b", 1},
        {"a\\", "a\\", 1}, // a trailing backslash stands for itself
        {"ABC.Txt", "*.txt", 1},
        {"abc", "a?c", 1},
        {"a", "a?", 0},
        {"", "?", 0},
        {"", "*", 1},
        {"a", "a**", 1},
        {"/home/x/tmp/file", "/home/*/tmp/*", 1},
        {"/home/x/tmp", "/home/*/tmp/*", 0},
        {"abcbc", "*bc", 1},
        {"abc", "*d", 0},
        {"abc", "ab", 0},
    };
    for (const WildCase& c : cases)
        EXPECT_EQ(WildMatchEsc(c.pattern, c.text), c.expect) << c.text << " ~ " << c.pattern;
}

} // namespace
