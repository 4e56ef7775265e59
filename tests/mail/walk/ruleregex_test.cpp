#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "mail/walk/ruleregex.h"

namespace {

// "привет" and "ПРИВЕТ" in KOI8-R.
const char kLowerKoi8[] = "\xD0\xD2\xC9\xD7\xC5\xD4";
const char kUpperKoi8[] = "\xF0\xF2\xE9\xF7\xE5\xF4";

TEST(RuleRegexTest, PatternsAreUpperCasedLikeTheFieldBodies) {
    struct Case {
        std::string pattern, upper;
    } cases[] = {
        {"abc", "ABC"},
        {kLowerKoi8, kUpperKoi8},
        {"\xA3", "\xB3"},
        {"a\\.b\\w", "A\\.B\\w"},
        {"[a-z]+", "[A-Z]+"},
        {"[[:lower:]x]", "[[:lower:]X]"},
        {"[]a]b", "[]A]B"},
        {"[^]a]b", "[^]A]B"},
        {"x[[=a=]]y", "X[[=a=]]Y"},
        {"trailing\\", "TRAILING\\"},
    };
    for (const Case& c : cases) EXPECT_EQ(UpperCaseRulePattern(c.pattern), c.upper) << c.pattern;
}

TEST(RuleRegexTest, CacheCompilesOnceAndRefusesBadPatterns) {
    EXPECT_EQ(RuleRegexMatches("^abc$", "ABC"), -1);
    EXPECT_EQ(CompileRuleRegex("^abc$"), 1);
    EXPECT_EQ(CompileRuleRegex("^abc$"), 1);
    EXPECT_EQ(RuleRegexMatches("^abc$", "ABC"), 1);
    EXPECT_EQ(RuleRegexMatches("^abc$", "abc"), 1);
    EXPECT_EQ(RuleRegexMatches("^abc$", "ABCD"), 0);
    EXPECT_EQ(RuleRegexMatches("^ABC$", "ABC"), -1); // looked up by the exact pattern
    EXPECT_EQ(CompileRuleRegex("(unclosed"), 0);
    EXPECT_EQ(RuleRegexMatches("(unclosed", "x"), -1);
    EXPECT_EQ(CompileRuleRegex("[[:lower:]]+"), 1);
    FreeRegexCache();
    EXPECT_EQ(RuleRegexMatches("^abc$", "ABC"), -1);
}

// A lower-case Cyrillic pattern matches the upper-cased KOI8-R subject, under any locale of the
// environment: a multi-byte locale would otherwise read these bytes as broken characters.
TEST(RuleRegexTest, CyrillicPatternInTheCLocaleWhateverTheEnvironment) {
    for (const char* locale : {"C", "C.UTF-8"}) {
        const std::string saved = setlocale(LC_ALL, nullptr);
        if (!setlocale(LC_ALL, locale)) continue;
        FreeRegexCache();
        const std::string pattern = std::string("^RE: ") + kLowerKoi8 + "[[:space:]]*[\xC0-\xDF]";
        EXPECT_EQ(CompileRuleRegex(pattern.c_str()), 1) << locale;
        EXPECT_EQ(RuleRegexMatches(pattern.c_str(), (std::string("RE: ") + kUpperKoi8 + " \xE1").c_str()), 1)
            << locale;
        EXPECT_EQ(RuleRegexMatches(pattern.c_str(), "RE: hello"), 0) << locale;
        EXPECT_EQ(CompileRuleRegex("^.$"), 1);
        EXPECT_EQ(RuleRegexMatches("^.$", "\xE1"), 1) << locale; // one byte is one character
        setlocale(LC_ALL, saved.c_str());
    }
    FreeRegexCache();
}

} // namespace
