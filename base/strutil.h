// Character, C-string and std::string helpers shared by the whole program.
#pragma once

#include <cstddef>
#include <string>

// Upper case in code page 866: Latin a-z and the Cyrillic lower-case letters;
// every other byte, the letter with diaeresis (0xF1) included, is unchanged.
unsigned char Cp866ToUpper(unsigned char c);
char* StrUpperCp866(char* str);
int CharEqualNoCase(unsigned char a, unsigned char b);
// Whole-string equality by CharEqualNoCase. A null string equals only null.
int StrEqualNoCase(const char* a, const char* b);

// In place: every run of two or more c becomes one c.
char* SqueezeChar(char* str, char c);
// In place: c goes before the first character; str needs room for one more.
char* InsertChar(char* str, char c);
// In place: the first character is removed.
char* DeleteChar(char* str);

// Difference of the first unequal pair of unsigned bytes, 0 when equal.
int MemCompare(const void* a, const void* b, size_t n);
size_t StrLength(const char* str);
void* MemCopyBytes(void* dst, const void* src, size_t n);
void* MemCopyWords(void* dst, const void* src, size_t n);

void SleepMs(unsigned int ms);

// Comparison of tolower() of the bytes: -1, 0 or 1; a shorter string that is
// a prefix of the other is the smaller.
int StrCaseCompareCore(const char* a, size_t lenA, const char* b, size_t lenB);
int StrCaseCompare(const std::string& a, const char* b); // null b counts as ""
int StrCaseCompareStrings(const std::string& a, const std::string& b);
void StringToLower(std::string& s);
// Removes blanks, tabs, CR and LF from both ends.
void TrimWhitespace(std::string& s);
