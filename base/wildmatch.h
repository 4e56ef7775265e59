// Wildcard matching for file masks ('*' any run, '?' one character).
#pragma once

// 1 when text matches pattern, comparing without case by code page 866. A run
// of '*' in the text counts as a single '*' character. The text is not
// modified. Time is bounded by the product of the two lengths.
int WildMatch(const char* text, const char* pattern);

// 1 when text matches pattern, comparing tolower() of the bytes; '\' makes
// the next pattern character literal, '?' never matches the end of the text.
int WildMatchEsc(const char* pattern, const char* text);
