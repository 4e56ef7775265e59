#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "unix/config/configlexer.h"

namespace {

using Tokens = std::vector<std::string>;

struct TokenCase {
    std::string line;
    int count; // -1 for a line that cannot be read
    Tokens tokens;
};

std::string Values(int n) {
    std::string line = "Key =";
    for (int i = 1; i <= n; ++i) line += " v" + std::to_string(i) + (i < n ? "," : "");
    return line;
}

TEST(TokenizeConfigLine, Table) {
    const TokenCase cases[] = {
        {"Key = a, b\n", 3, {"Key", "a", "b"}},
        {"Key a, b", 3, {"Key", "a", "b"}},
        {"Key\ta b, c d\t\n", 3, {"Key", "a b", "c d"}},
        {"Key=value", 2, {"Key", "value"}},
        {"Key = \"a, b\"", 2, {"Key", "a, b"}},
        {"Key = \"  [x] = y \"\r\n", 2, {"Key", "  [x] = y "}},
        {"Key = x=y", 2, {"Key", "x=y"}},
        {"Key = = x", 2, {"Key", "= x"}},
        {"Key x=y", 2, {"Key", "x=y"}},
        {"Key = v # text", 2, {"Key", "v # text"}},
        {"Key = ,a,,b,", 3, {"Key", "a", "b"}},
        {"Key", 1, {"Key"}},
        {"Key = ", 1, {"Key"}},
        {"Key = \"\"", 2, {"Key", ""}},
        {"\"Quoted Key\" = v", 2, {"Quoted Key", "v"}},
        {"Key = [x]", 2, {"Key", "[x]"}},
        {"[Daemon]", 1, {"[Daemon]"}},
        {"  [ Daemon ]  \r\n", 1, {"[Daemon]"}},
        {"[Daemon", 0, {}},
        {"", 0, {}},
        {"\r\n", 0, {}},
        {" , , ", 0, {}},
        {std::string("Key = a\0b", 9), 2, {"Key", "a"}},
        // A ']' without '[', an unterminated quote: the line is not read.
        {"]", -1, {}},
        {"Key = a]", -1, {}},
        {"Key = \"open, b", -1, {}},
        {"[\"open]", -1, {}},
        {Values(63), 64, {}},
        {Values(64), -1, {}},
    };
    for (const TokenCase& c : cases) {
        Tokens tokens;
        int count = TokenizeConfigLine(c.line, tokens);
        EXPECT_EQ(count, c.count) << "line: " << c.line;
        if (c.count > 0 && !c.tokens.empty()) {
            EXPECT_EQ(tokens, c.tokens) << "line: " << c.line;
        }
    }
}

TEST(TokenizeConfigLine, SixtyFourTokensKeepEveryValue) {
    Tokens tokens;
    ASSERT_EQ(TokenizeConfigLine(Values(63), tokens), 64);
    EXPECT_EQ(tokens.front(), "Key");
    EXPECT_EQ(tokens.back(), "v63");
}

TEST(ConfigLexer, KindsAndKeptCharacter) {
    std::istringstream in("[a] = b,\r\n\n");
    ConfigLexer lexer(in);
    EXPECT_EQ(lexer.NextConfigToken(), kConfigOpen);
    EXPECT_EQ(lexer.NextConfigToken(), kConfigWord);
    EXPECT_EQ(lexer.Text(), "a");
    EXPECT_EQ(lexer.NextConfigToken(), kConfigClose);
    EXPECT_EQ(lexer.NextConfigValueToken('='), kConfigWord);
    EXPECT_EQ(lexer.Text(), "= b");
    EXPECT_EQ(lexer.NextConfigToken(), kConfigComma);
    EXPECT_EQ(lexer.NextConfigToken(), kConfigLineEnd);
    EXPECT_EQ(lexer.NextConfigToken(), kConfigEnd);
}

} // namespace
