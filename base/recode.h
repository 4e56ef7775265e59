// Byte-to-byte recoding between the Cyrillic single-byte code pages.
#pragma once

#include <cstddef>

class tvList;

// One recoding record of the code-page list, kept there by value.
struct DecodeData {
    char toCharset[129];
    char fromCharset[129];
    // Entry b is the target byte for source byte b; 0 keeps the byte.
    unsigned char table[256];
};
static_assert(sizeof(DecodeData) == 514, "recoding records are 514 bytes");

// The process's code-page list of DecodeData records, filled on first use.
tvList& CodePageList();

// Copies the NUL-terminated source into target (which must hold as many bytes),
// recoding KOI8-R into windows-1251 for the log; returns target.
char* RecodeKoi8ToWin1251(const char* source, char* target);
// The same from code page 866 into KOI8-R; with a null target, source is
// recoded in place. Returns what was written.
char* RecodeCp866ToKoi8(char* source, char* target);

// Appends the built-in records when the list is empty: 1 when it did and the
// list now holds records, 0 when it already held some.
int RegisterBuiltinCodePages();
// Recodes source into target (may be the same buffer) by the first record from
// `from` to `to` (names without case): 1; no record: an unchanged copy and 0.
int RecodeString(const char* source, char* target, const char* from, const char* to);

// Upper-cases a-z and the KOI8-R letters in place; returns str.
char* UpperCaseCyrillic(char* str);
