// The numbered message table: every fixed text the program prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

constexpr uint32_t kMessageCount = 221;
// Each text lives in a buffer of this size: at most 127 characters.
constexpr size_t kMessageBufferSize = 128;

struct MessageDefault {
    const char* text;
    uint32_t maxLength;
    uint32_t reserved;
};

// The built-in texts, by message number.
extern const MessageDefault DefaultMessages[kMessageCount];

// Text pointer N addresses the buffer of message N; null while no catalogue
// exists.
extern char** MessageCatalogue;

// Allocates the catalogue and fills it from the built-in texts: 1, or 0 when
// the allocation fails (then no catalogue exists).
int CreateMessageCatalogue();
// Copies every built-in text into its buffer, then gives message 1 the
// current year.
void LoadDefaultMessages();
// Wipes and releases the catalogue; harmless when there is none.
void FreeMessageCatalogue();
uint32_t MessageCount();

// Message N, or "" when there is no catalogue or no such message.
const char* MessageText(uint32_t n);

// Ends the text after "1992-" followed by the year of `now` (UTC); a text
// without "1992-" or a time that cannot be converted leaves it unchanged.
void ApplyYearPatch(char* text, size_t size, time_t now);

// Expands the version letters of "ptvymsdfbV" after a '%' in src into dst;
// src and dst may be the same buffer. The result is cut to dstSize - 1
// characters.
void ExpandVersionTemplate(char* dst, const char* src, size_t dstSize = kMessageBufferSize);
