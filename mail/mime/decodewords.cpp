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

// Finds the closing "?=" of the words in one text. The text after the walk's reading position
// never changes, and the search for "?=" only moves forward, so that a text full of word starts
// costs one pass, not one pass per start.
class WordEndFinder {
public:
    // The '?' of the "?=" that closes the word starting at p ("=?"): the first one after three
    // '?' counted from p + 1. Null when there is none; then no later word has one either.
    unsigned char* Find(unsigned char* p) {
        unsigned char* q = p + 1;
        for (int marks = 0;; ++q) {
            if (!*q) return nullptr;
            if (*q == '?' && ++marks == 3) break;
        }
        ++q;
        if (!searched_ || q < from_ || (found_ && found_ < q)) {
            from_ = q;
            found_ = nullptr;
            for (; *q; ++q)
                if (q[0] == '?' && q[1] == '=') {
                    found_ = q;
                    break;
                }
            searched_ = true;
        }
        return found_;
    }

private:
    bool searched_ = false;
    unsigned char* from_ = nullptr;
    unsigned char* found_ = nullptr;
};

// Writes decoded bytes behind the reader: a word never decodes to more bytes than it is long.
class Writer {
public:
    explicit Writer(unsigned char* at) : at_(at) {}
    void Put(unsigned char c) {
        if (c) *at_++ = c;
    }
    void Copy(const unsigned char* r, const unsigned char* end) {
        while (r != end) *at_++ = *r++;
    }
    unsigned char* At() const { return at_; }

private:
    unsigned char* at_;
};

void DecodeB(const unsigned char* r, const unsigned char* end, Writer& out) {
    uint8_t s[4];
    const unsigned char* fourth = nullptr;
    int count = 0;
    for (;;) {
        while (r != end && IsSpace(*r)) ++r;
        if (r == end) break;
        const uint8_t value = kBase64Values[*r];
        if (value == kBase64Other) {
            out.Copy(r, end);
            return;
        }
        if (count == 3) fourth = r;
        s[count++] = value;
        ++r;
        if (count < 4) continue;
        count = 0;
        if (s[0] == kBase64Fill || s[1] == kBase64Fill || (s[2] == kBase64Fill && s[3] != kBase64Fill)) {
            out.Copy(fourth, end);
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
        while (r != end && IsSpace(*r)) ++r;
        out.Copy(r, end);
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

// Every '_' of a Q word is a blank, also in the part copied as written after a bad escape.
inline unsigned char QByte(const unsigned char* r, const unsigned char* end) {
    return r == end ? 0 : *r == '_' ? ' ' : *r;
}

void DecodeQ(const unsigned char* r, const unsigned char* end, Writer& out) {
    auto copyRest = [&](const unsigned char* from) {
        for (; from != end; ++from) out.Put(QByte(from, end));
    };
    while (r != end) {
        const unsigned char c = QByte(r, end);
        if (c != '=') {
            out.Put(c);
            ++r;
            continue;
        }
        const unsigned char next = QByte(r + 1, end);
        const unsigned char after = next ? QByte(r + 2, end) : 0;
        if (next == '\n') {
            r += 2;
        } else if (next == '\r' && after == '\n') {
            r += 3;
        } else if (!next) {
            out.Put('=');
            ++r;
        } else if (next == '\r') {
            r += 2;
        } else if (HexValue(next) < 0) {
            out.Put('=');
            copyRest(r + 1);
            return;
        } else if (HexValue(after) < 0) {
            out.Put('=');
            out.Put(next);
            copyRest(r + 2);
            return;
        } else {
            out.Put(static_cast<unsigned char>(HexValue(next) << 4 | HexValue(after)));
            r += 3;
        }
    }
}

// Decodes the word from p to its closing "?=" at end into the text at `to` (at or before p) and
// recodes it. Returns the end of the decoded bytes, or null when the word stays as written.
unsigned char* DecodeWord(const unsigned char* p, const unsigned char* end, unsigned char* to,
                          const char* targetCharset) {
    char charset[kCharsetMax + 1];
    size_t length = 0;
    const unsigned char* c = p + 2;
    for (; c != end && *c != '?' && *c != '*'; ++c) {
        if (length == kCharsetMax) return nullptr;
        charset[length++] = static_cast<char>(*c);
    }
    charset[length] = '\0';
    if (c != end && *c == '*') // a language tag
        while (c != end && *c != '?') ++c;
    if (end - c < 3 || c[2] != '?') return nullptr;
    const unsigned char letter = c[1];
    Writer out(to);
    if (letter == 'B' || letter == 'b')
        DecodeB(c + 3, end, out);
    else if (letter == 'Q' || letter == 'q')
        DecodeQ(c + 3, end, out);
    else
        return nullptr;
    // The decoded bytes end at or before the closing '?', which the walk has read already.
    *out.At() = '\0';
    RecodeString(reinterpret_cast<char*>(to), reinterpret_cast<char*>(to), charset, targetCharset);
    return out.At();
}

} // namespace

// The walk reads the text at r and writes the result at w, never ahead of r: plain bytes are copied,
// words are decoded in their place, and the text closes up behind them in the same pass.
int DecodeEncodedWords(char* text, const char* targetCharset) {
    if (!text) return 0;
    unsigned char* r = reinterpret_cast<unsigned char*>(text);
    unsigned char* w = r;
    unsigned char* wordEnd = nullptr; // end of the last decoded word while only white space follows
    WordEndFinder finder;
    bool wordsLeft = true;
    while (*r) {
        if (IsSpace(*r)) {
            *w++ = *r++;
            continue;
        }
        if (wordsLeft && r[0] == '=' && r[1] == '?') {
            unsigned char* end = finder.Find(r);
            if (!end) {
                wordsLeft = false;
            } else if (unsigned char* decodedEnd = DecodeWord(r, end, wordEnd ? wordEnd : w, targetCharset)) {
                w = wordEnd = decodedEnd;
                r = end + 2;
                continue;
            }
        }
        wordEnd = nullptr;
        *w++ = *r++;
    }
    *w = '\0';
    return 0;
}
