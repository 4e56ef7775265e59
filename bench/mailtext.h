// What the MIME benchmarks share: generated mail text and writing it to files.
#pragma once

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

// Lines of words, mostly ASCII with some Latin-1 letters, as mail text is.
inline std::string TypicalText(size_t size, std::mt19937& rng) {
    static const char* const words[] = {"the",      "scanner", "looks",    "at",      "every",   "part",
                                        "of",       "a",       "message",  "and",     "decodes", "it",
                                        "before",   "caf\xe9", "na\xefve", "=",       "From",    "report",
                                        "attached", "please",  "find",     "invoice", "2026",    "."};
    std::string text;
    size_t column = 0;
    while (text.size() < size) {
        const char* word = words[rng() % (sizeof words / sizeof words[0])];
        text += word;
        column += strlen(word) + 1;
        if (column > 60 + rng() % 20) {
            text += "\r\n";
            column = 0;
        } else {
            text += ' ';
        }
    }
    text.resize(size);
    return text;
}

inline bool WriteFile(const std::string& path, const std::string& data) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

} // namespace
