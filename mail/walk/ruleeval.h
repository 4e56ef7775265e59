#pragma once
// Checking and evaluating the token table of a header rule.
//
// AND and OR are of equal strength and take everything to their right within the group as their
// right operand: A OR B AND C is A or (B and C), A AND B OR C is A and (B or C). A group ends at its
// ')': in "( A OR B ) AND C" the group is A or B, whatever A is.

#include <array>
#include <cstdint>
#include <string>

constexpr int kMaxRuleTokens = 128;

struct RuleToken {
    uint32_t type = 0;
    // Empty in the entries after the last token.
    std::string text;
};
using RuleTokenTable = std::array<RuleToken, kMaxRuleTokens>;

// Whether the field matches the pattern (1 or 0); whether the field is absent (1 or 0).
using RuleMatchFunction = int (*)(const char* field, const char* pattern);
using RuleMissingFunction = int (*)(const char* field);

// Tokenizes and checks text into the first max entries of tokens, then evaluates it once without
// headers, which compiles every pattern into the regex cache. The number of tokens; 0 with the reason
// in error, every entry cleared.
int CheckAndEvaluateRule(const char* text, RuleToken* tokens, int max, std::string& error);

// Evaluates tokens[start..count) into *result with match and missing as the field tests (without
// them every test is taken as true). The index after the part evaluated: after the ')' that closed the
// group, or count; 0 with the reason in error. Every step moves forward, so the nesting stays below
// count, which may not exceed kMaxRuleTokens.
int EvaluateRuleExpression(int start, int* result, const RuleToken* tokens, int count, std::string& error,
                           RuleMatchFunction match, RuleMissingFunction missing);
