// The case-sensitive wildcard test of mail envelopes.

#include <gtest/gtest.h>
#include <string>

#include "unix/protocol/wildcardmatch.h"

namespace {

TEST(WildcardMatchTest, Table) {
    const struct {
        const char* pattern;
        const char* text;
        int match;
    } cases[] = {
        {"P *<*>*", "P I 12-05-2004 10:00:00 0000 ____ ____ <sender@example.org>", 1},
        {"P *<*>*", "P <a>", 1},
        {"P *<*>*", "P<a>", 0},
        {"P *<*>*", "p x<a>", 0}, // case counts
        {"P *<*>*", "P x<a", 0},
        {"P *<*>*", "From: x <a@b>", 0},
        {"", "", 1},
        {"", "a", 0},
        {"*", "", 1},
        {"?", "", 0},
        {"?", "a", 1},
        {"a?c", "abc", 1},
        {"a?c", "ac", 0},
        {"a*", "abc", 1},
        {"*c", "abc", 1},
        {"*b", "abc", 0}, // the whole text must match
        {"a*b*c", "aXbYbZc", 1},
        {"a\\*c", "a*c", 1},
        {"a\\*c", "abc", 0},
        {"a\\?c", "abc", 0},
        {"a\\\\", "a\\", 1},
        {"a\\", "a\\", 1}, // a backslash at the end stands for itself
        {"external*", "external ENV", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " / " + c.text);
        EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.match);
    }
    EXPECT_EQ(WildcardMatch(nullptr, "a"), 0);
    EXPECT_EQ(WildcardMatch("a", nullptr), 0);
}

TEST(WildcardMatchTest, ManyStarsOnALongTextEnd) {
    // Backtracking to every earlier star would take far too long here.
    const std::string text(20000, 'a');
    EXPECT_EQ(WildcardMatch("*a*a*a*a*a*a*a*a*a*a*b", text.c_str()), 0);
    EXPECT_EQ(WildcardMatch("*a*a*a*a*a*a*a*a*a*a*", text.c_str()), 1);
}

} // namespace
