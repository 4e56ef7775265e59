#include "shell/scan/nameformat.h"

#include <cctype>
#include <cstring>

#include "base/logwriter.h"

int RecodeNonprintable = 1;
int RecodeMode = RecodeQuotedPrintable;
char RecodeChar = '?';

namespace {

bool IsPrintable(char c) {
    return std::isprint(static_cast<unsigned char>(c)) != 0;
}

bool WhollyPrintable(const char* name) {
    for (const char* p = name; *p; ++p)
        if (!IsPrintable(*p)) return false;
    return true;
}

// Appends piece to out at *len unless the whole piece no longer fits.
bool Append(char* out, size_t outSize, size_t* len, const char* piece, size_t n) {
    if (*len + n >= outSize) return false;
    std::memcpy(out + *len, piece, n);
    *len += n;
    out[*len] = '\0';
    return true;
}

const char* CEscape(char c) {
    switch (c) {
    case '\a':
        return "\\a";
    case '\b':
        return "\\b";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\v':
        return "\\v";
    case '\f':
        return "\\f";
    case '\r':
        return "\\r";
    case '\\':
        return "\\\\";
    default:
        return nullptr;
    }
}

char* CEscapeName(const char* name, char* out, size_t outSize) {
    size_t len = 0;
    out[0] = '\0';
    for (const char* p = name; *p; ++p) {
        const char* esc = CEscape(*p);
        bool fits = esc ? Append(out, outSize, &len, esc, 2) : Append(out, outSize, &len, p, 1);
        if (!fits) break;
    }
    return out;
}

char* ReplaceNonprintable(const char* name, char* out, size_t outSize) {
    size_t len = 0;
    out[0] = '\0';
    for (const char* p = name; *p; ++p) {
        char c = IsPrintable(*p) ? *p : RecodeChar;
        if (!Append(out, outSize, &len, &c, 1)) break;
    }
    return out;
}

} // namespace

char* HexEscapeName(const char* name, char* out, size_t outSize) {
    static const char kHex[] = "0123456789ABCDEF";
    if (!out || outSize == 0) return out;
    out[0] = '\0';
    if (!name) return out;
    size_t len = 0;
    for (const char* p = name; *p; ++p) {
        bool fits;
        if (IsPrintable(*p)) {
            fits = Append(out, outSize, &len, p, 1);
        } else {
            unsigned char b = static_cast<unsigned char>(*p);
            const char esc[3] = {'=', kHex[b >> 4], kHex[b & 0xF]};
            fits = Append(out, outSize, &len, esc, 3);
        }
        if (!fits) break;
    }
    return out;
}

const char* FormatNameText(const char* name, char* out, size_t outSize) {
    if (!name) name = "";
    if (!out || outSize == 0) return name;
    if (!RecodeNonprintable) return CEscapeName(name, out, outSize);
    if (WhollyPrintable(name)) return name;
    if (RecodeMode == RecodeQuotedPrintable) return HexEscapeName(name, out, outSize);
    return ReplaceNonprintable(name, out, outSize);
}

void FormatNameForLog(const char* name) {
    char text[kNameTextSize];
    PrintRecordLine("%s", FormatNameText(name, text, sizeof(text)));
}
