#pragma once
// The wildcard test of mail envelopes: case-sensitive, over the whole text.

// 1 when the whole text matches pattern: '*' matches any run of characters, '?' exactly one, and '\' makes
// the next pattern character literal (a '\' at the end of the pattern stands for itself). Otherwise 0.
// Time is bounded by the product of the two lengths.
int WildcardMatch(const char* pattern, const char* text);
