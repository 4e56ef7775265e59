#pragma once
// mail/walk holds the header rules and the mail walk. It builds on the MIME library of mail/mime, the
// scan tasks of shell and the reply writer of unix.
//
// The tokens of the header-rule language: their kinds, which kinds may stand before which, and the
// tokenizer over a rule's text.

#include <cstddef>
#include <cstdint>
#include <string>

enum RuleTokenType : uint32_t {
    TOK_END = 0,
    TOK_OPEN = 1,
    TOK_CLOSE = 2,
    TOK_OR = 4,
    TOK_AND = 8,
    TOK_NO = 16,
    TOK_EQ = 32,
    TOK_NE = 64,
    TOK_STRING = 128,
};

// One row of the kind table: the kind, its name, its text ("?" for any word), and the kinds that may
// stand directly before it.
struct RuleTokenKind {
    uint32_t type;
    const char* name;
    const char* text;
    uint32_t mayFollow;
};

// The kinds that may begin an expression: a leading AND, OR, ')' or '=' has no left operand.
constexpr uint32_t kRuleFirstKinds = TOK_OPEN | TOK_NO | TOK_STRING;

// The row whose text equals text without case; any other text gives the TOK_STRING row, a null text
// the final row of zeros. A token's kind always comes from its text, so a quoted "AND" is AND.
const RuleTokenKind& FindRuleToken(const char* text);

// The next token of text from *position on, as written (operators keep their letter case, a quoted
// word loses its quotes); *position moves past it. false at the end of the text or at an empty word.
bool NextRuleToken(const char* text, size_t* position, std::string& token);
