#include "mail/mime/tokenizer.h"
#include "mail/mime/tokenstring.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Tokens = std::vector<std::pair<int, std::string>>;

// Every token up to and including the first kTokenNull.
template <class Tokenizer> Tokens Walk(const std::string& text) {
    Tokenizer tokenizer(text);
    Tokens tokens;
    for (size_t guard = 0; guard <= text.size() + 1; ++guard) {
        tokens.emplace_back(tokenizer.Type(), tokenizer.Type() == kTokenNull ? "" : tokenizer.Token());
        if (tokenizer.Type() == kTokenNull) break;
        tokenizer.NextToken();
    }
    return tokens;
}

struct TokenCase {
    std::string text;
    Tokens rfc822;
    Tokens rfc1521;
};

const TokenCase kCases[] = {
    {"", {{kTokenNull, ""}}, {{kTokenNull, ""}}},
    {" \t\r\n\x01\x1f\x7f", {{kTokenNull, ""}}, {{kTokenNull, ""}}},
    {std::string("a\0b", 3),
     {{kTokenAtom, "a"}, {kTokenAtom, "b"}, {kTokenNull, ""}},
     {{kTokenMimeToken, "a"}, {kTokenMimeToken, "b"}, {kTokenNull, ""}}},
    {"\"a\\\"b\"",
     {{kTokenQuotedString, "\"a\\\"b\""}, {kTokenNull, ""}},
     {{kTokenQuotedString, "\"a\\\"b\""}, {kTokenNull, ""}}},
    {"(a (b) c) d",
     {{kTokenComment, "(a (b) c)"}, {kTokenAtom, "d"}, {kTokenNull, ""}},
     {{kTokenComment, "(a (b) c)"}, {kTokenMimeToken, "d"}, {kTokenNull, ""}}},
    {"(a\\)b)c",
     {{kTokenComment, "(a\\)b)"}, {kTokenAtom, "c"}, {kTokenNull, ""}},
     {{kTokenComment, "(a\\)b)"}, {kTokenMimeToken, "c"}, {kTokenNull, ""}}},
    {"[1.2.3.4]x",
     {{kTokenDomainLiteral, "[1.2.3.4]"}, {kTokenAtom, "x"}, {kTokenNull, ""}},
     {{kTokenDomainLiteral, "[1.2.3.4]"}, {kTokenMimeToken, "x"}, {kTokenNull, ""}}},
    {"[a\\]b[c]",
     {{kTokenDomainLiteral, "[a\\]b[c]"}, {kTokenNull, ""}},
     {{kTokenDomainLiteral, "[a\\]b[c]"}, {kTokenNull, ""}}},
    {"\"a\\\\\"b",
     {{kTokenQuotedString, "\"a\\\\\""}, {kTokenAtom, "b"}, {kTokenNull, ""}},
     {{kTokenQuotedString, "\"a\\\\\""}, {kTokenMimeToken, "b"}, {kTokenNull, ""}}},
    {"a.b:c",
     {{kTokenAtom, "a"},
      {kTokenSpecial, "."},
      {kTokenAtom, "b"},
      {kTokenSpecial, ":"},
      {kTokenAtom, "c"},
      {kTokenNull, ""}},
     {{kTokenMimeToken, "a.b"}, {kTokenTspecial, ":"}, {kTokenMimeToken, "c"}, {kTokenNull, ""}}},
    {"text/plain; charset=us-ascii",
     {{kTokenAtom, "text/plain"}, {kTokenSpecial, ";"}, {kTokenAtom, "charset=us-ascii"}, {kTokenNull, ""}},
     {{kTokenMimeToken, "text"},
      {kTokenTspecial, "/"},
      {kTokenMimeToken, "plain"},
      {kTokenTspecial, ";"},
      {kTokenMimeToken, "charset"},
      {kTokenTspecial, "="},
      {kTokenMimeToken, "us-ascii"},
      {kTokenNull, ""}}},
    {"<a@b>",
     {{kTokenSpecial, "<"},
      {kTokenAtom, "a"},
      {kTokenSpecial, "@"},
      {kTokenAtom, "b"},
      {kTokenSpecial, ">"},
      {kTokenNull, ""}},
     {{kTokenTspecial, "<"},
      {kTokenMimeToken, "a"},
      {kTokenTspecial, "@"},
      {kTokenMimeToken, "b"},
      {kTokenTspecial, ">"},
      {kTokenNull, ""}}},
    {"a=b?c",
     {{kTokenAtom, "a=b?c"}, {kTokenNull, ""}},
     {{kTokenMimeToken, "a"},
      {kTokenTspecial, "="},
      {kTokenMimeToken, "b"},
      {kTokenTspecial, "?"},
      {kTokenMimeToken, "c"},
      {kTokenNull, ""}}},
    {"]x)",
     {{kTokenSpecial, "]"}, {kTokenAtom, "x"}, {kTokenSpecial, ")"}, {kTokenNull, ""}},
     {{kTokenTspecial, "]"}, {kTokenMimeToken, "x"}, {kTokenTspecial, ")"}, {kTokenNull, ""}}},
    // Bytes 0x80-0xFF are atom characters; DEL ends an atom like a blank.
    {"\xe9t\xe9\x7f\xff",
     {{kTokenAtom, "\xe9t\xe9"}, {kTokenAtom, "\xff"}, {kTokenNull, ""}},
     {{kTokenMimeToken, "\xe9t\xe9"}, {kTokenMimeToken, "\xff"}, {kTokenNull, ""}}},
    // Every unterminated kind: one empty error token, then the end.
    {"\"abc", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"x \"abc",
     {{kTokenAtom, "x"}, {kTokenError, ""}, {kTokenNull, ""}},
     {{kTokenMimeToken, "x"}, {kTokenError, ""}, {kTokenNull, ""}}},
    {"\"ab\\\"", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"\"ab\\", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"\"", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"(abc", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"(a(b)", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"(a\\", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"(a\\)", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"(", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"[1.2.3", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"[a\\]", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    {"[", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
    // An error ends the walk: nothing after it is read.
    {"(a \"b\" c", {{kTokenError, ""}, {kTokenNull, ""}}, {{kTokenError, ""}, {kTokenNull, ""}}},
};

TEST(Tokenizer, TablesForBothTokenizers) {
    for (const TokenCase& c : kCases) {
        EXPECT_EQ(Walk<DwRfc822Tokenizer>(c.text), c.rfc822) << c.text;
        EXPECT_EQ(Walk<DwRfc1521Tokenizer>(c.text), c.rfc1521) << c.text;
    }
}

TEST(Tokenizer, StartsBeforeTheFirstTokenAndStaysAtTheEnd) {
    DwRfc822Tokenizer tokenizer(std::string("  ab  \"q\"  "));
    EXPECT_EQ(tokenizer.Type(), kTokenAtom);
    EXPECT_EQ(tokenizer.TokenStart(), 2u);
    EXPECT_EQ(tokenizer.TokenLength(), 2u);
    EXPECT_EQ(tokenizer.NextToken(), kTokenQuotedString);
    EXPECT_EQ(tokenizer.TokenStart(), 6u);
    EXPECT_EQ(tokenizer.NextToken(), kTokenNull);
    EXPECT_EQ(tokenizer.TokenStart(), 11u); // the end of the text
    EXPECT_EQ(tokenizer.TokenLength(), 0u);
    EXPECT_EQ(tokenizer.Token(), "\"q\""); // the last token found stays
    EXPECT_EQ(tokenizer.NextToken(), kTokenNull);
    EXPECT_EQ(tokenizer.Rewind(), kTokenAtom);
    EXPECT_EQ(tokenizer.Token(), "ab");

    DwRfc1521Tokenizer fromNull(static_cast<const char*>(nullptr));
    EXPECT_EQ(fromNull.Type(), kTokenNull);
    DwRfc1521Tokenizer fromChars("a/b");
    EXPECT_EQ(fromChars.Token(), "a");

    DwRfc822Tokenizer error(std::string("x (y"));
    EXPECT_EQ(error.NextToken(), kTokenError);
    EXPECT_EQ(error.Token(), "");
    EXPECT_EQ(error.TokenLength(), 0u);
    EXPECT_EQ(error.NextToken(), kTokenNull);
    EXPECT_EQ(error.TokenStart(), 4u);
}

TEST(Tokenizer, TrimDelimiters) {
    struct {
        std::string text;
        std::string trimmed;
        size_t start, length;
    } cases[] = {
        {"\"a\\\"b\"", "a\\\"b", 1, 4},
        {" \"\"", "", 2, 0},
        {"(a (b) c)", "a (b) c", 1, 7},
        {"[1.2]", "1.2", 1, 3},
        {"()", "", 1, 0},
        {"atom", "atom", 0, 4}, // not a delimited token: unchanged
        {"@", "@", 0, 1},
    };
    for (const auto& c : cases) {
        DwRfc822Tokenizer tokenizer(c.text);
        tokenizer.TrimDelimiters();
        EXPECT_EQ(tokenizer.Token(), c.trimmed) << c.text;
        EXPECT_EQ(tokenizer.TokenStart(), c.start) << c.text;
        EXPECT_EQ(tokenizer.TokenLength(), c.length) << c.text;
    }
    DwRfc822Tokenizer error(std::string("\"open"));
    error.TrimDelimiters();
    EXPECT_EQ(error.Token(), "");
    EXPECT_EQ(error.TokenLength(), 0u);
}

TEST(TokenString, WindowsOverTheSameText) {
    const std::string text = "text/plain; charset = us-ascii (c) ; x";
    DwRfc1521Tokenizer tokenizer(text);
    DwTokenString window(text);
    EXPECT_EQ(window.Tokens(), "");
    while (tokenizer.Token() != "charset") tokenizer.NextToken();
    window.BeginAt(tokenizer);
    EXPECT_EQ(window.Tokens(), "charset");
    while (tokenizer.Token() != "us-ascii") tokenizer.NextToken();
    window.EndAfter(tokenizer);
    EXPECT_EQ(window.Tokens(), "charset = us-ascii");
    tokenizer.NextToken(); // the comment
    tokenizer.NextToken(); // ";"
    window.EndBefore(tokenizer);
    EXPECT_EQ(window.Tokens(), "charset = us-ascii (c) ");

    // A token before the window changes nothing.
    tokenizer.Rewind();
    window.EndAfter(tokenizer);
    window.EndBefore(tokenizer);
    EXPECT_EQ(window.Tokens(), "charset = us-ascii (c) ");

    // At the end of the text the window runs to the end.
    while (tokenizer.Token() != "x") tokenizer.NextToken();
    window.BeginAt(tokenizer);
    tokenizer.NextToken();
    ASSERT_EQ(tokenizer.Type(), kTokenNull);
    window.EndBefore(tokenizer);
    EXPECT_EQ(window.Tokens(), "x");
    window.BeginAt(tokenizer);
    EXPECT_EQ(window.Tokens(), "");
    EXPECT_EQ(window.Start(), text.size());

    DwRfc822Tokenizer error(std::string("a (b"));
    error.NextToken();
    DwTokenString onError(std::string("a (b"));
    onError.BeginAt(error);
    EXPECT_EQ(onError.Tokens(), "");
    EXPECT_EQ(onError.Length(), 0u);

    // A window over a shorter text than the tokenizer's is cut to that text.
    DwRfc822Tokenizer longer(std::string("aaaa bbbb"));
    DwTokenString shorter(std::string("aa"));
    longer.NextToken();
    shorter.BeginAt(longer);
    EXPECT_EQ(shorter.Tokens(), "");
    longer.Rewind();
    shorter.BeginAt(longer);
    EXPECT_EQ(shorter.Tokens(), "aa");
}

// Every prefix of hostile texts and random byte strings: the walk ends within the text's
// length, and every token is the text at its place.
template <class Tokenizer> void CheckWalk(const std::string& text) {
    Tokenizer tokenizer(text);
    DwTokenString window(text);
    window.BeginAt(tokenizer);
    size_t steps = 0;
    while (tokenizer.Type() != kTokenNull) {
        ASSERT_LE(++steps, text.size() + 1) << text;
        ASSERT_LE(tokenizer.TokenStart() + tokenizer.TokenLength(), text.size());
        if (tokenizer.Type() == kTokenError) {
            EXPECT_EQ(tokenizer.Token(), "");
        } else {
            EXPECT_EQ(tokenizer.Token(), text.substr(tokenizer.TokenStart(), tokenizer.TokenLength()));
            window.EndAfter(tokenizer);
            Tokenizer copy = tokenizer;
            copy.TrimDelimiters();
            EXPECT_EQ(copy.Token(), text.substr(copy.TokenStart(), copy.TokenLength()));
        }
        tokenizer.NextToken();
    }
    window.EndBefore(tokenizer);
    EXPECT_LE(window.Start() + window.Tokens().size(), text.size());
}

TEST(Tokenizer, HostileTextsStayInBounds) {
    std::vector<std::string> texts = {
        "\"a\\\"b\\\\\" (c (d \\) e) [f\\]g] <h@i> j.k:l;m=n?o/p,q",
        "(((((((((((((((((((((((((((((((",
        "\\\\\\\\\"\\",
        "[[[[]]]]((()))\"\"\"\"",
        std::string("\0\"\0(\0[\0\\", 8),
    };
    std::mt19937 rng(1521);
    const char alphabet[] = "\"()[]\\<>@.,;:=?/ \t\r\nab\x7f\x80\xff";
    for (int i = 0; i < 300; ++i) {
        std::string random(rng() % 40, ' ');
        for (char& c : random) c = alphabet[rng() % (sizeof alphabet - 1)];
        texts.push_back(random);
    }
    for (const std::string& text : texts) {
        for (size_t n = 0; n <= text.size(); ++n) {
            CheckWalk<DwRfc822Tokenizer>(text.substr(0, n));
            CheckWalk<DwRfc1521Tokenizer>(text.substr(0, n));
        }
    }
}

} // namespace
