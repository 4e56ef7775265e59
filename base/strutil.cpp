#include "base/strutil.h"

#include <cctype>
#include <cstring>
#include <ctime>

unsigned char Cp866ToUpper(unsigned char c) {
    if (c >= 0x61 && c <= 0x7A) return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xA0 && c <= 0xAF) return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xEF) return static_cast<unsigned char>(c - 0x50);
    return c;
}

char* StrUpperCp866(char* str) {
    if (!str) return str;
    for (char* p = str; *p; ++p) *p = static_cast<char>(Cp866ToUpper(static_cast<unsigned char>(*p)));
    return str;
}

int CharEqualNoCase(unsigned char a, unsigned char b) {
    return Cp866ToUpper(a) == Cp866ToUpper(b);
}

int StrEqualNoCase(const char* a, const char* b) {
    if (!a || !b) return a == b;
    for (;; ++a, ++b) {
        if (!CharEqualNoCase(static_cast<unsigned char>(*a), static_cast<unsigned char>(*b))) return 0;
        if (!*a) return 1;
    }
}

char* SqueezeChar(char* str, char c) {
    if (!str) return str;
    char* out = str;
    for (const char* in = str; *in; ++in) {
        if (*in == c && out > str && out[-1] == c) continue;
        *out++ = *in;
    }
    *out = '\0';
    return str;
}

char* InsertChar(char* str, char c) {
    if (!str) return str;
    memmove(str + 1, str, strlen(str) + 1);
    str[0] = c;
    return str;
}

char* DeleteChar(char* str) {
    if (!str || !*str) return str;
    memmove(str, str + 1, strlen(str));
    return str;
}

int MemCompare(const void* a, const void* b, size_t n) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < n; ++i)
        if (x[i] != y[i]) return x[i] - y[i];
    return 0;
}

size_t StrLength(const char* str) {
    return str ? strlen(str) : 0;
}

void* MemCopyBytes(void* dst, const void* src, size_t n) {
    if (n) memcpy(dst, src, n);
    return dst;
}

void* MemCopyWords(void* dst, const void* src, size_t n) {
    return MemCopyBytes(dst, src, n);
}

void SleepMs(unsigned int ms) {
    // nanosleep rather than usleep: usleep may refuse a second or more.
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ms / 1000);
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    nanosleep(&ts, nullptr);
}

int StrCaseCompareCore(const char* a, size_t lenA, const char* b, size_t lenB) {
    size_t n = lenA < lenB ? lenA : lenB;
    for (size_t i = 0; i < n; ++i) {
        int x = tolower(static_cast<unsigned char>(a[i]));
        int y = tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (lenA == lenB) return 0;
    return lenA < lenB ? -1 : 1;
}

int StrCaseCompare(const std::string& a, const char* b) {
    if (!b) b = "";
    return StrCaseCompareCore(a.data(), a.size(), b, strlen(b));
}

int StrCaseCompareStrings(const std::string& a, const std::string& b) {
    return StrCaseCompareCore(a.data(), a.size(), b.data(), b.size());
}

void StringToLower(std::string& s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
}

void TrimWhitespace(std::string& s) {
    static const char kBlanks[] = " \t\r\n";
    size_t end = s.find_last_not_of(kBlanks);
    if (end == std::string::npos) {
        s.clear();
        return;
    }
    s.erase(end + 1);
    s.erase(0, s.find_first_not_of(kBlanks));
}
