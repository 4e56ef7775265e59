#pragma once
// The process-wide cache of the compiled regular expressions of the header rules. Expressions are
// compiled and run in the C locale whatever the locale of the process, so that a pattern means the
// same bytes under every environment, and patterns are upper-cased like the field bodies they match.

#include <string>

// 1 when the pattern is in the cache or was compiled (extended syntax, ignoring case, no sub-matches)
// and added; 0 when it is not a valid expression.
int CompileRuleRegex(const char* pattern);

// Whether the cached expression of pattern matches subject: 1 or 0; -1 when the pattern is not cached.
int RuleRegexMatches(const char* pattern, const char* subject);

// The pattern as it is compiled: letters upper-cased as KOI8-R, except the byte after a backslash and
// the names of bracket classes ("[:lower:]"), whose meaning depends on their letter case.
std::string UpperCaseRulePattern(const std::string& pattern);

// Frees every cached expression; also run at process exit.
void FreeRegexCache();
