#include "base/wildmatch.h"

#include <cctype>
#include <cstddef>

#include "base/strutil.h"

namespace {

// Step over one text character; a run of '*' is one character.
const char* NextTextChar(const char* t) {
    if (*t == '*')
        while (t[1] == '*') ++t;
    return t + 1;
}

} // namespace

int WildMatch(const char* text, const char* pattern) {
    if (!text || !pattern) return 0;
    const char* t = text;
    const char* p = pattern;
    // Backtracking to the last '*' alone is enough for '*'/'?' patterns and
    // keeps the walk linear in the pattern for each text position.
    const char* starP = nullptr;
    const char* starT = nullptr;
    while (*t) {
        if (*p == '*') {
            while (*p == '*') ++p;
            starP = p;
            starT = t;
            continue;
        }
        if (*p &&
            (*p == '?' || CharEqualNoCase(static_cast<unsigned char>(*p), static_cast<unsigned char>(*t)))) {
            ++p;
            t = NextTextChar(t);
            continue;
        }
        if (!starP) return 0;
        starT = NextTextChar(starT);
        t = starT;
        p = starP;
    }
    while (*p == '*') ++p;
    return *p == '\0';
}

int WildMatchEsc(const char* pattern, const char* text) {
    if (!text || !pattern) return 0;
    const char* t = text;
    const char* p = pattern;
    const char* starP = nullptr;
    const char* starT = nullptr;
    for (;;) {
        if (*p == '*') {
            while (*p == '*') ++p;
            if (!*p) return 1;
            starP = p;
            starT = t;
            continue;
        }
        if (!*t) break;
        bool hit;
        const char* np = p + 1;
        if (*p == '?') {
            hit = true;
        } else if (*p == '\\') {
            // A trailing backslash stands for itself.
            char lit = p[1] ? p[1] : '\\';
            if (p[1]) np = p + 2;
            hit = tolower(static_cast<unsigned char>(lit)) == tolower(static_cast<unsigned char>(*t));
        } else {
            hit = *p && tolower(static_cast<unsigned char>(*p)) == tolower(static_cast<unsigned char>(*t));
        }
        if (hit) {
            p = np;
            ++t;
            continue;
        }
        if (!starP) return 0;
        t = ++starT;
        p = starP;
        if (!*t) return 0;
    }
    return *p == '\0';
}
