// How the cases that mail readers treat differently are decoded here:
// - Encoded words with nothing between them ("=?a?Q?x?==?a?Q?y?=") are decoded both and joined,
//   as are words separated only by white space: a rule must match the text a reader shows.
// - A character whose bytes are split over two words comes out whole: words are decoded to
//   bytes, recoded byte by byte and joined, so the bytes meet again in order.
// - Base64 without its fill characters is decoded: a final group of two or three symbols gives
//   one or two bytes.
// - Invalid bytes: in a B word a byte outside the alphabet ends the decoding and it and the rest
//   of the word stay as written; in a Q word a raw byte, 8-bit ones included, is data. A decoded
//   NUL ("=00") is left out, since the text is NUL-terminated: it neither cuts the text short nor
//   can split a word that a rule looks for.
// - A charset name longer than 255 bytes is no charset anyone knows: the word stays as written.
#include "mail/mime/decodewords.h"

#include <cstring>

#include "base/recode.h"
#include "mail/mime/codectables.h"

using mime_codec::HexValue;
using mime_codec::kBase64Fill;
using mime_codec::kBase64Other;
using mime_codec::kBase64Values;

namespace {

constexpr size_t kCharsetMax = 255;

// White space as the C locale has it, whatever locale the process runs under.
inline bool IsSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The '?' of the "?=" that closes the word starting at p ("=?"): the first one after three '?'.
unsigned char* FindWordEnd(unsigned char* p) {
    int marks = 0;
    for (unsigned char* q = p + 1; *q; ++q) {
        if (*q != '?') continue;
        if (marks >= 3 && q[1] == '=') return q;
        ++marks;
    }
    return nullptr;
}

// Writes decoded bytes over the word; the writer never passes the reader.
class Writer {
public:
    explicit Writer(unsigned char* at) : at_(at) {}
    void Put(unsigned char c) {
        if (c) *at_++ = c;
    }
    void CopyRest(const unsigned char* r) {
        while (*r) *at_++ = *r++;
    }
    unsigned char* At() const { return at_; }

private:
    unsigned char* at_;
};

void DecodeB(const unsigned char* r, Writer& out) {
    uint8_t s[4];
    const unsigned char* fourth = nullptr;
    int count = 0;
    for (;;) {
        while (IsSpace(*r)) ++r;
        if (!*r) break;
        const uint8_t value = kBase64Values[*r];
        if (value == kBase64Other) {
            out.CopyRest(r);
            return;
        }
        if (count == 3) fourth = r;
        s[count++] = value;
        ++r;
        if (count < 4) continue;
        count = 0;
        if (s[0] == kBase64Fill || s[1] == kBase64Fill || (s[2] == kBase64Fill && s[3] != kBase64Fill)) {
            out.CopyRest(fourth);
            return;
        }
        const uint32_t v =
            (uint32_t{s[0]} << 18) | (uint32_t{s[1]} << 12) | (uint32_t{s[2] & 63u} << 6) | (s[3] & 63u);
        out.Put(static_cast<unsigned char>(v >> 16));
        if (s[2] != kBase64Fill) out.Put(static_cast<unsigned char>(v >> 8));
        if (s[3] != kBase64Fill) {
            out.Put(static_cast<unsigned char>(v));
            continue;
        }
        while (IsSpace(*r)) ++r;
        out.CopyRest(r);
        return;
    }
    // The word ended inside a group: two or three symbols still hold one or two bytes.
    int symbols = 0;
    while (symbols < count && s[symbols] < 64) ++symbols;
    if (symbols < 2) return;
    uint32_t v = 0;
    for (int i = 0; i < symbols; ++i) v |= uint32_t{s[i]} << (18 - 6 * i);
    out.Put(static_cast<unsigned char>(v >> 16));
    if (symbols == 3) out.Put(static_cast<unsigned char>(v >> 8));
}

void DecodeQ(unsigned char* r, Writer& out) {
    for (unsigned char* q = r; *q; ++q)
        if (*q == '_') *q = ' ';
    while (*r) {
        if (*r != '=') {
            out.Put(*r++);
            continue;
        }
        if (r[1] == '\n') {
            r += 2;
        } else if (r[1] == '\r' && r[2] == '\n') {
            r += 3;
        } else if (!r[1]) {
            out.Put('=');
            ++r;
        } else if (r[1] == '\r') {
            r += 2;
        } else if (HexValue(r[1]) < 0) {
            out.Put('=');
            out.CopyRest(r + 1);
            return;
        } else if (HexValue(r[2]) < 0) {
            out.Put('=');
            out.Put(r[1]);
            out.CopyRest(r + 2);
            return;
        } else {
            out.Put(static_cast<unsigned char>(HexValue(r[1]) << 4 | HexValue(r[2])));
            r += 3;
        }
    }
}

// Decodes the word from p to its closing "?=" at end when it is one. Returns where the walk goes
// on (just after the decoded text, moved back to joinAt when that is set), or null when the word
// stays as written.
unsigned char* DecodeWord(unsigned char* p, unsigned char* end, unsigned char* joinAt,
                          const char* targetCharset) {
    *end = '\0';
    char charset[kCharsetMax + 1];
    size_t length = 0;
    unsigned char* c = p + 2;
    for (; *c && *c != '?' && *c != '*'; ++c) {
        if (length == kCharsetMax) {
            *end = '?';
            return nullptr;
        }
        charset[length++] = static_cast<char>(*c);
    }
    charset[length] = '\0';
    if (*c == '*') // a language tag
        while (*c && *c != '?') ++c;
    const unsigned char letter = *c ? c[1] : 0;
    if (!letter || c[2] != '?' || (letter != 'B' && letter != 'b' && letter != 'Q' && letter != 'q')) {
        *end = '?';
        return nullptr;
    }
    Writer out(p);
    if (letter == 'B' || letter == 'b')
        DecodeB(c + 3, out);
    else
        DecodeQ(c + 3, out);
    *out.At() = '\0';
    RecodeString(reinterpret_cast<char*>(p), reinterpret_cast<char*>(p), charset, targetCharset);
    const size_t decoded = static_cast<size_t>(out.At() - p);
    unsigned char* const to = joinAt ? joinAt : p;
    memmove(to, p, decoded);
    unsigned char* const rest = end + 2;
    memmove(to + decoded, rest, strlen(reinterpret_cast<char*>(rest)) + 1);
    return to + decoded;
}

} // namespace

int DecodeEncodedWords(char* text, const char* targetCharset) {
    if (!text) return 0;
    unsigned char* p = reinterpret_cast<unsigned char*>(text);
    unsigned char* wordEnd = nullptr; // end of the last decoded word while only white space follows
    while (*p) {
        if (IsSpace(*p)) {
            ++p;
            continue;
        }
        if (p[0] == '=' && p[1] == '?') {
            if (unsigned char* end = FindWordEnd(p)) {
                if (unsigned char* next = DecodeWord(p, end, wordEnd, targetCharset)) {
                    p = wordEnd = next;
                    continue;
                }
            }
        }
        wordEnd = nullptr;
        ++p;
    }
    return 0;
}
