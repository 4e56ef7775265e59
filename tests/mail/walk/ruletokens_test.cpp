#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/walk/ruleeval.h"
#include "mail/walk/ruletokens.h"

namespace {

std::vector<std::string> Tokens(const char* text) {
    std::vector<std::string> out;
    size_t position = 0;
    std::string token;
    while (NextRuleToken(text, &position, token)) out.push_back(token);
    return out;
}

TEST(RuleTokenTest, KindsAndWhatMayPrecedeThem) {
    struct Row {
        const char* text;
        uint32_t type;
        uint32_t mayFollow;
    } rows[] = {
        {"(", TOK_OPEN, 13},          {")", TOK_CLOSE, 130},     {"AND", TOK_AND, 130},
        {"and", TOK_AND, 130},        {"Or", TOK_OR, 130},       {"nO", TOK_NO, 13},
        {"=", TOK_EQ, 128},           {"!=", TOK_NE, 128},       {"?", TOK_STRING, 125},
        {"Subject", TOK_STRING, 125}, {"ANDY", TOK_STRING, 125},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FindRuleToken(row.text).type, row.type) << row.text;
        EXPECT_EQ(FindRuleToken(row.text).mayFollow, row.mayFollow) << row.text;
    }
    EXPECT_EQ(FindRuleToken(nullptr).type, TOK_END);
    EXPECT_EQ(FindRuleToken(nullptr).mayFollow, 0u);
}

TEST(RuleTokenTest, Tokenizer) {
    struct Case {
        const char* text;
        std::vector<std::string> tokens;
    } cases[] = {
        {"Subject = \"abc\" OR From = \"def\"", {"Subject", "=", "abc", "OR", "From", "=", "def"}},
        // Blanks and operator words do not end an unquoted value.
        {"Subject = abc OR From = def", {"Subject", "=", "abc OR From", "=", "def"}},
        {"a = \"x\" and b != \"y\"", {"a", "=", "x", "and", "b", "!=", "y"}},
        {"(A=x)", {"(", "A", "=", "x", ")"}},
        {"NO\tX-Mailer", {"NO", "X-Mailer"}},
        {"ANDY = x", {"ANDY", "=", "x"}},
        {"NOTE = x", {"NOTE", "=", "x"}},
        {"A != x!y", {"A", "!=", "x!y"}},
        {"A=x!=y", {"A", "=", "x", "!=", "y"}},
        {"A = \"a\\\"b\"", {"A", "=", "a\\\"b"}},
        {"A = abc   ", {"A", "=", "abc"}},
        {"A = \"abc  \"", {"A", "=", "abc  "}},
        {"A = x\x01y", {"A", "=", "x", "y"}},
        // The control byte ends the quoted word; its closing quote then opens the next one.
        {"A = \"x\x02\" B", {"A", "=", "x", " B"}},
        // An unquoted name after NO runs on like any unquoted word.
        {"NO F0 OR NO F1", {"NO", "F0 OR NO F1"}},
        {"A = \"unclosed", {"A", "=", "unclosed"}},
        {"A = \"\" OR B = x", {"A", "="}},
        {"   \t\r\n", {}},
        {"", {}},
        {"\xE0\xC1 = \"\xD0\xD2\"", {"\xE0\xC1", "=", "\xD0\xD2"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
}

struct CompileCase {
    std::string text;
    int count;
    std::string error;
};

// n field tests 'NO "Fk"' joined by OR: 3n - 1 tokens.
std::string AbsenceChain(int n) {
    std::string text;
    for (int k = 0; k < n; ++k) text += (k ? " OR NO \"F" : "NO \"F") + std::to_string(k) + "\"";
    return text;
}

// n field tests joined by OR: 4n - 1 tokens.
std::string MatchChain(int n) {
    std::string text;
    for (int k = 0; k < n; ++k) text += (k ? " OR F" : "F") + std::to_string(k) + " = \"x\"";
    return text;
}

TEST(RuleCompileTest, CountsAndErrors) {
    const CompileCase cases[] = {
        {"Subject = \"abc\" OR From = \"def\"", 7, ""},
        {"Subject = abc OR From = def", 0, "invalid token '='\n"},
        {"NO From", 2, ""},
        {"NO", 0, "no header after 'No'"},
        {"A = \"x\" AND NO", 0, "no header after 'No'"},
        {")", 0, "'(' missing"},
        {"( A = \"x\" ) )", 0, "'(' missing"},
        {"( A = \"x\"", 0, "'(' and ')' mismatch"},
        {"A = \"x\" B", 0, "'B' can not follow 'x'"},
        {"NO ( A = \"x\" )", 0, "'(' can not follow 'NO'"},
        {"A = \"x\" AND", 0, "unexpected end of expression"},
        {"A = \"x\" OR", 0, "unexpected end of expression"},
        {"", 0, "unexpected end of expression"},
        {"A", 0, "no '=', '!=' or rule after header"},
        {"A = \"[\"", 0, "Regexp compilation error: ["},
        {"A = \"x\" \"OR\" B = \"y\"", 7, ""},
        // The first token must be able to start an expression.
        {"AND X = y", 0, "'AND' can not begin the expression"},
        {"or X = y", 0, "'or' can not begin the expression"},
        {"= y", 0, "'=' can not begin the expression"},
        {"!= y", 0, "'!=' can not begin the expression"},
        {"( AND X = y )", 0, "'AND' can not follow '('"},
        {AbsenceChain(42), 125, ""},
        {"( " + MatchChain(31) + " OR NO \"G\" )", 128, ""},
        {"( " + MatchChain(32) + " )", 0, "expression is too long"},
        {std::string(200, '('), 0, "expression is too long"},
    };
    for (const CompileCase& c : cases) {
        RuleTokenTable table;
        table[0].text = "stale";
        std::string error = "stale";
        const int count = CheckAndEvaluateRule(c.text.c_str(), table.data(), kMaxRuleTokens, error);
        EXPECT_EQ(count, c.count) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
        if (count == 0)
            for (const RuleToken& token : table) EXPECT_TRUE(token.text.empty() && token.type == 0) << c.text;
        else
            EXPECT_TRUE(count == kMaxRuleTokens || table[count].text.empty()) << c.text;
    }
}

} // namespace
