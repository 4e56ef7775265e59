#include "base/messages.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/version.h"

namespace {

struct MessageBlock {
    char* text[kMessageCount];
    char buffer[kMessageCount][kMessageBufferSize];
};

std::unique_ptr<MessageBlock> g_block;

// Copies at most size - 1 characters and always terminates.
void CopyBounded(char* dst, size_t size, const char* src) {
    if (size == 0) return;
    size_t n = src ? std::strlen(src) : 0;
    if (n > size - 1) n = size - 1;
    if (n) std::memmove(dst, src, n);
    dst[n] = '\0';
}

const char kTemplateLetters[] = "ptvymsdfbV";

std::string ExpandLetter(char letter) {
    char num[32];
    switch (letter) {
    case 'p':
    case 't':
        return EditionText;
    case 'v':
        std::snprintf(num, sizeof num, "%d", VersionMajor);
        return num;
    case 's':
        std::snprintf(num, sizeof num, "%02d", VersionMinor);
        return num;
    case 'f':
        return VersionSuffix;
    case 'y':
        std::snprintf(num, sizeof num, "%02d", BuildYear);
        return num;
    case 'm':
        std::snprintf(num, sizeof num, "%02d", BuildMonth);
        return num;
    case 'd':
        std::snprintf(num, sizeof num, "%02d", BuildDay);
        return num;
    case 'b':
        std::snprintf(num, sizeof num, ".%d", BuildNumber);
        return num;
    default:
        return FullVersionText; // 'V'
    }
}

} // namespace

char** MessageCatalogue = nullptr;

int CreateMessageCatalogue() {
    if (!g_block) {
        g_block.reset(new (std::nothrow) MessageBlock());
        if (!g_block) {
            MessageCatalogue = nullptr;
            return 0;
        }
        for (uint32_t n = 0; n < kMessageCount; ++n) g_block->text[n] = g_block->buffer[n];
        MessageCatalogue = g_block->text;
    }
    // The rows' maximum lengths are never read: every buffer holds 127
    // characters, and that bound is what the copy obeys.
    LoadDefaultMessages();
    return 1;
}

void LoadDefaultMessages() {
    if (!g_block) return;
    for (uint32_t n = 0; n < kMessageCount; ++n)
        CopyBounded(g_block->buffer[n], kMessageBufferSize, DefaultMessages[n].text);
    ApplyYearPatch(g_block->buffer[1], kMessageBufferSize, std::time(nullptr));
}

void FreeMessageCatalogue() {
    if (!g_block) return;
    std::memset(g_block.get(), 0, sizeof(MessageBlock));
    g_block.reset();
    MessageCatalogue = nullptr;
}

uint32_t MessageCount() {
    return kMessageCount;
}

const char* MessageText(uint32_t n) {
    if (!MessageCatalogue || n >= kMessageCount || !MessageCatalogue[n]) return "";
    return MessageCatalogue[n];
}

void ApplyYearPatch(char* text, size_t size, time_t now) {
    if (!text || size == 0) return;
    struct tm utc;
    if (!gmtime_r(&now, &utc)) return;
    char* range = std::strstr(text, "1992-");
    if (!range) return;
    char* year = range + 5;
    size_t room = size - static_cast<size_t>(year - text);
    // The year replaces whatever followed the range, and the text ends there.
    std::snprintf(year, room, "%d", utc.tm_year + 1900);
}

void ExpandVersionTemplate(char* dst, const char* src, size_t dstSize) {
    if (!dst || dstSize == 0) return;
    std::string out;
    const char* p = src ? src : "";
    while (*p) {
        const char* pct = std::strchr(p, '%');
        if (!pct) {
            out.append(p);
            break;
        }
        char letter = pct[1];
        if (letter != '\0' && std::strchr(kTemplateLetters, letter)) {
            out.append(p, pct);
            out += ExpandLetter(letter);
            p = pct + 2;
        } else {
            // Not a template letter: the '%' stays and so does what follows.
            out.append(p, pct + 1);
            p = pct + 1;
        }
    }
    CopyBounded(dst, dstSize, out.c_str());
}
