#include "mail/walk/ruleeval.h"

#include <cstdarg>
#include <cstdio>

#include "base/logwriter.h"
#include "mail/walk/ruleregex.h"
#include "mail/walk/ruletokens.h"
#include "unix/daemonsettings.h"

namespace {

void SetError(std::string& error, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void SetError(std::string& error, const char* fmt, ...) {
    if (!error.empty()) return;
    va_list args;
    va_start(args, fmt);
    char text[256];
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    error = text;
}

// One line of the DebugConditions trace, indented by n blanks.
void DebugLine(int n, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void DebugLine(int n, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    char text[512];
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    PrintMessage("%*s%s", n, "", text);
    EndMessageLine(0);
}

} // namespace

int EvaluateRuleExpression(int start, int* result, const RuleToken* tokens, int count, std::string& error,
                           RuleMatchFunction match, RuleMissingFunction missing) {
    if (count > kMaxRuleTokens) {
        SetError(error, "expression is too long");
        return 0;
    }
    if (start >= count) {
        SetError(error, "unexpected end of expression");
        return 0;
    }
    const bool trace = DebugConditions && match;
    int acc = 0;
    int i = start;
    for (;;) {
        const RuleToken& token = tokens[i];
        switch (token.type) {
        case TOK_STRING: {
            if (i >= count - 2 || (tokens[i + 1].type != TOK_EQ && tokens[i + 1].type != TOK_NE) ||
                tokens[i + 2].type != TOK_STRING) {
                SetError(error, "no '=', '!=' or rule after header");
                return 0;
            }
            const char* field = token.text.c_str();
            const char* pattern = tokens[i + 2].text.c_str();
            if (!CompileRuleRegex(pattern)) {
                SetError(error, "Regexp compilation error: %s", pattern);
                return 0;
            }
            const bool equal = tokens[i + 1].type == TOK_EQ;
            int value = match ? match(field, pattern) != 0 : 1;
            if (!equal) value = !value;
            if (trace) DebugLine(i, "'%s' %s '%s' : [%d]", field, tokens[i + 1].text.c_str(), pattern, value);
            acc = value;
            i += 3;
            break;
        }
        case TOK_NO:
            if (i + 1 >= count || tokens[i + 1].type != TOK_STRING) {
                SetError(error, "no header after 'No'");
                return 0;
            }
            acc = missing ? missing(tokens[i + 1].text.c_str()) != 0 : 1;
            if (trace) DebugLine(i + 1, "No '%s' : [%d]", tokens[i + 1].text.c_str(), acc);
            i += 2;
            break;
        case TOK_OPEN: {
            if (trace) DebugLine(start, "(");
            int inner = 0;
            const int next = EvaluateRuleExpression(i + 1, &inner, tokens, count, error, match, missing);
            if (!next) return 0;
            acc = inner;
            i = next;
            break;
        }
        case TOK_CLOSE:
            if (trace) DebugLine(start, ")");
            *result = acc;
            return i + 1;
        case TOK_OR:
        case TOK_AND: {
            int right = 0;
            const int next = EvaluateRuleExpression(i + 1, &right, tokens, count, error, match, missing);
            if (!next) return 0;
            const bool isOr = token.type == TOK_OR;
            const int combined = isOr ? (acc || right) : (acc && right);
            if (trace) DebugLine(start, "%d %s %d: [%d]", acc, isOr ? "OR" : "AND", right, combined);
            // The right operand ran to the end of the group (its ')' included) or of the expression:
            // this step ends there too, so the ')' closes the group for every operator before it.
            *result = combined;
            return next;
        }
        case TOK_END:
            *result = acc;
            return count;
        default:
            SetError(error, "invalid token '%s'\n", token.text.c_str());
            return 0;
        }
        if (i >= count) {
            *result = acc;
            return i;
        }
    }
}

int CheckAndEvaluateRule(const char* text, RuleToken* tokens, int max, std::string& error) {
    error.clear();
    for (int k = 0; k < max; ++k) tokens[k] = RuleToken{};
    if (max > kMaxRuleTokens) max = kMaxRuleTokens;
    int count = 0;
    int depth = 0;
    size_t position = 0;
    std::string word;
    while (text && error.empty() && NextRuleToken(text, &position, word)) {
        const RuleTokenKind& kind = FindRuleToken(word.c_str());
        if (count >= max) {
            SetError(error, "expression is too long");
            break;
        }
        tokens[count].type = kind.type;
        tokens[count].text = word;
        if (kind.type == TOK_OPEN) {
            ++depth;
        } else if (kind.type == TOK_CLOSE) {
            if (depth == 0)
                SetError(error, "'(' missing");
            else
                --depth;
        }
        if (count == 0) {
            if (!(kind.type & kRuleFirstKinds))
                SetError(error, "'%s' can not begin the expression", word.c_str());
        } else if (!(tokens[count - 1].type & kind.mayFollow)) {
            SetError(error, "'%s' can not follow '%s'", word.c_str(), tokens[count - 1].text.c_str());
        }
        ++count;
    }
    if (error.empty() && depth != 0) SetError(error, "'(' and ')' mismatch");
    if (error.empty()) {
        int result = 0;
        EvaluateRuleExpression(0, &result, tokens, count, error, nullptr, nullptr);
    }
    if (!error.empty()) {
        for (int k = 0; k < max; ++k) tokens[k] = RuleToken{};
        return 0;
    }
    return count;
}
