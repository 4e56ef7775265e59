#include "mail/walk/ruletokens.h"

#include "base/strutil.h"

namespace {

const RuleTokenKind kRuleTokenKinds[] = {
    {TOK_STRING, "TOK_STRING", "?", TOK_OPEN | TOK_OR | TOK_AND | TOK_NO | TOK_EQ | TOK_NE},
    {TOK_OPEN, "TOK_OPEN", "(", TOK_OPEN | TOK_OR | TOK_AND},
    {TOK_CLOSE, "TOK_CLOSE", ")", TOK_CLOSE | TOK_STRING},
    {TOK_AND, "TOK_AND", "AND", TOK_CLOSE | TOK_STRING},
    {TOK_OR, "TOK_OR", "OR", TOK_CLOSE | TOK_STRING},
    {TOK_NO, "TOK_NO", "NO", TOK_OPEN | TOK_OR | TOK_AND},
    {TOK_EQ, "TOK_EQ", "=", TOK_STRING},
    {TOK_NE, "TOK_NE", "!=", TOK_STRING},
    {TOK_END, "", "", 0},
};
constexpr size_t kKindRows = sizeof kRuleTokenKinds / sizeof kRuleTokenKinds[0];

unsigned char At(const char* text, size_t i) {
    return static_cast<unsigned char>(text[i]);
}

// A byte that ends an operator word: a control byte, a blank or the end of the text.
bool EndsWord(unsigned char c) {
    return c <= 32;
}

// The length of the operator at text[i], or 0 when none starts there.
size_t OperatorLength(const char* text, size_t i) {
    const unsigned char c = At(text, i);
    if (c < 33 || c > 111) return 0;
    if (c == '!' && text[i + 1] == '=') return 2;
    if (c == '(' || c == ')' || c == '=') return 1;
    const char* words[] = {"AND", "NO", "OR"};
    for (const char* word : words) {
        size_t n = 0;
        while (word[n] && text[i + n] &&
               CharEqualNoCase(At(text, i + n), static_cast<unsigned char>(word[n])))
            ++n;
        if (!word[n] && EndsWord(At(text, i + n))) return n;
    }
    return 0;
}

} // namespace

const RuleTokenKind& FindRuleToken(const char* text) {
    if (!text) return kRuleTokenKinds[kKindRows - 1];
    for (size_t row = 1; row + 1 < kKindRows; ++row)
        if (StrEqualNoCase(text, kRuleTokenKinds[row].text)) return kRuleTokenKinds[row];
    return kRuleTokenKinds[0];
}

bool NextRuleToken(const char* text, size_t* position, std::string& token) {
    token.clear();
    size_t i = *position;
    while (At(text, i) >= 1 && At(text, i) <= 32) ++i;
    if (!text[i]) {
        *position = i;
        return false;
    }
    if (size_t n = OperatorLength(text, i)) {
        token.assign(text + i, n);
        *position = i + n;
        return true;
    }
    const bool quoted = text[i] == '"';
    if (quoted) ++i;
    const size_t start = i;
    while (At(text, i) >= 32) {
        const char c = text[i];
        // An escaped quote stays in the word with its backslash.
        if (quoted && c == '"' && text[i - 1] != '\\') break;
        if (!quoted && (c == '(' || c == ')' || c == '=' || (c == '!' && text[i + 1] == '='))) break;
        ++i;
    }
    size_t end = i;
    const unsigned char keep = quoted ? 31 : 32;
    while (end > start + 1 && At(text, end - 1) <= keep) --end;
    *position = quoted && text[i] == '"' ? i + 1 : i;
    if (end == start) return false;
    token.assign(text + start, end - start);
    return true;
}
