// Reader of language files, which would replace the built-in message texts.
#pragma once

#include <cstddef>
#include <string>

struct BufStream;

constexpr size_t kLanguageHeaderSize = 68;
constexpr size_t kLanguageNameSize = 32;
constexpr size_t kKeyboardRowLength = 53;
constexpr int kIniLineTokens = 64;
// The most characters one line of a language file may hold; a longer line
// goes on as the next one.
constexpr size_t kLanguageLineMax = 1023;
// The most characters a message of a language file keeps.
constexpr size_t kLanguageMessageMax = 100;

// Whether the text after the header is splay-coded (on at start).
extern int LanguageFilePacked;

// What the last language file that loaded fully brought besides its
// messages.
struct LanguageFileInfo {
    char name[kLanguageNameSize] = {};
    std::string keyboardRows[2]; // unshifted, shifted; empty unless 53 long
    std::string helpFiles[2];
};
extern LanguageFileInfo LanguageInfo;

// 1 when all messages were read and are now the message texts; otherwise
// the built-in texts are put back and 0 is returned.
int LoadLanguageFile(const char* path);
// The same walk without storing: 1 when the file's section of this program
// holds all the messages.
int CountLanguageMessages(const char* path);
// Reads and checks the 68-byte header; name (kLanguageNameSize bytes) gets
// the language's name. 1, or 0 for a short or damaged header.
int ReadLanguageHeader(BufStream* stream, char* name);
// Cuts line in place into at most kIniLineTokens tokens; their number.
int SplitIniLine(char** tokens, char* line);
