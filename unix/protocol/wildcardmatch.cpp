#include "unix/protocol/wildcardmatch.h"

namespace {

// One pattern character at p: whether it matches c, and where the pattern goes on.
bool MatchOne(const char*& p, char c) {
    if (*p == '?') {
        ++p;
        return true;
    }
    char literal = *p;
    if (literal == '\\' && p[1] != '\0') literal = *++p;
    ++p;
    return literal == c;
}

} // namespace

int WildcardMatch(const char* pattern, const char* text) {
    if (!pattern || !text) return 0;
    const char* p = pattern;
    const char* t = text;
    // The last '*' seen and the text position it has been tried up to: a failed match moves that star
    // one character on. Earlier stars never need to move again.
    const char* starP = nullptr;
    const char* starT = nullptr;
    while (*t) {
        if (*p == '*') {
            while (*p == '*') ++p;
            starP = p;
            starT = t;
            continue;
        }
        const char* next = p;
        if (*p && MatchOne(next, *t)) {
            p = next;
            ++t;
            continue;
        }
        if (!starP) return 0;
        p = starP;
        t = ++starT;
    }
    while (*p == '*') ++p;
    return *p == '\0';
}
