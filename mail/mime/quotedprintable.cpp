#include "mail/mime/quotedprintable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "mail/mime/codectables.h"

using mime_codec::HexValue;
using mime_codec::PutHexEscape;

namespace {

// A soft line break follows the character that takes the column past this (so no encoded line
// exceeds 76 characters with its '=').
constexpr size_t kMaxColumn = 72;

// What one input byte becomes inside a line: the byte itself (0x21-0x3C, 0x3E-0x7E and the blank)
// or its escape, and how many characters that is. Four bytes, so that one store writes any of them.
struct Unit {
    char bytes[3];
    uint8_t length;
};
constexpr Unit EscapeUnit(int c) {
    return Unit{{'=', mime_codec::kHexDigits[c >> 4], mime_codec::kHexDigits[c & 15]}, 3};
}
struct UnitTable {
    Unit unit[256];
};
constexpr UnitTable MakeUnits(bool literals) {
    UnitTable t{};
    for (int c = 0; c < 256; ++c)
        t.unit[c] = literals && c >= 0x20 && c <= 0x7E && c != '=' ? Unit{{static_cast<char>(c), 0, 0}, 1}
                                                                   : EscapeUnit(c);
    return t;
}
constexpr UnitTable kUnits = MakeUnits(true);
constexpr UnitTable kEscapes = MakeUnits(false);

inline char* PutSoftBreak(char* out) {
    out[0] = '=';
    out[1] = '\r';
    out[2] = '\n';
    return out + 3;
}

// The first CR LF pair at or after p, or end.
const unsigned char* FindCrLf(const unsigned char* p, const unsigned char* end) {
    while (const void* cr = memchr(p, '\r', static_cast<size_t>(end - p))) {
        p = static_cast<const unsigned char*>(cr);
        if (end - p >= 2 && p[1] == '\n') return p;
        ++p;
    }
    return end;
}

// The encoder's input chunk, and the room it makes for a chunk of n bytes: three characters a byte,
// a soft line break for every 24 of them (the CR LF pair that ends a chunk may take one byte more,
// for two characters) and the slack of a four-byte store.
constexpr ptrdiff_t kEncodeChunk = 1024;
constexpr size_t EncodeRoom(size_t n) {
    return 3 * n + 3 * (n / 24 + 2) + 8;
}

// The decoded text, written through a pointer; each line first makes room for all it can write.
class Output {
public:
    explicit Output(bool collapseCr) : collapseCr_(collapseCr) {}
    void Reserve(size_t n) {
        if (static_cast<size_t>(end_ - out_) >= n) return;
        const size_t used = Length();
        text_.resize(used + n > 2 * text_.size() ? used + n : 2 * text_.size());
        base_ = reinterpret_cast<unsigned char*>(&text_[0]);
        out_ = base_ + used;
        end_ = base_ + text_.size();
    }
    void Put(unsigned char byte) {
        if (collapseCr_ && byte == '\r' && out_ != base_ && out_[-1] == '\r') return;
        *out_++ = byte;
    }
    void Put(const unsigned char* p, size_t n) {
        if (collapseCr_ && memchr(p, '\r', n)) {
            for (size_t i = 0; i < n; ++i) Put(p[i]);
            return;
        }
        memcpy(out_, p, n);
        out_ += n;
    }
    size_t Length() const { return static_cast<size_t>(out_ - base_); }
    std::string Take() {
        text_.resize(Length());
        return std::move(text_);
    }

private:
    std::string text_;
    unsigned char* base_ = nullptr;
    unsigned char* out_ = nullptr;
    unsigned char* end_ = nullptr;
    bool collapseCr_;
};

// Appends the decoded bytes of one line, its line end and trailing blanks already cut off.
// Returns whether the line ended in a soft line break; sets error on a bad escape.
bool DecodeLine(const unsigned char* p, const unsigned char* end, Output& out, int& error) {
    while (p != end) {
        if (*p != '=') {
            const void* eq = memchr(p, '=', static_cast<size_t>(end - p));
            const unsigned char* stop = eq ? static_cast<const unsigned char*>(eq) : end;
            out.Put(p, static_cast<size_t>(stop - p));
            p = stop;
            continue;
        }
        const size_t after = static_cast<size_t>(end - p) - 1;
        if (after == 0) return true;
        if (after == 1) {
            // "=x" at the end of the line: the '=' is dropped, x is data.
            error = 1;
            out.Put(p[1]);
            return false;
        }
        const int hi = HexValue(p[1]);
        const int lo = HexValue(p[2]);
        if (hi >= 0 && lo >= 0) {
            out.Put(static_cast<unsigned char>(hi << 4 | lo));
            p += 3;
        } else {
            // Kept as written; the bytes after the '=' are read as ordinary input.
            error = 1;
            out.Put('=');
            ++p;
        }
    }
    return false;
}

} // namespace

int QpEncode(const std::string& input, std::string& output) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(input.data());
    const unsigned char* const end = p + input.size();
    std::string result;
    result.reserve(input.size() + input.size() / 8 + 16);
    size_t column = 0;
    // The input line being encoded runs to lineEnd, a CR LF pair or the end of the input. Its last
    // byte, when a blank, is escaped: it ends the input or stands before the pair.
    const unsigned char* lineEnd = nullptr;
    const unsigned char* literalEnd = nullptr;
    while (p != end) {
        // A chunk of the input at a time, into room for the most it can need.
        const unsigned char* const chunkEnd = end - p > kEncodeChunk ? p + kEncodeChunk : end;
        const size_t used = result.size();
        result.resize(used + EncodeRoom(static_cast<size_t>(chunkEnd - p)));
        char* const begin = &result[used];
        char* out = begin;
        while (p < chunkEnd) {
            if (p == lineEnd) {
                out[0] = '\r';
                out[1] = '\n';
                out += 2;
                p += 2;
                column = 0;
                lineEnd = nullptr;
                continue;
            }
            if (!lineEnd) {
                lineEnd = FindCrLf(p, end);
                literalEnd = lineEnd != p && lineEnd[-1] == ' ' ? lineEnd - 1 : lineEnd;
            }
            // A soft line break never goes right before the pair that ends the line anyway.
            const unsigned char* const noBreakAt = lineEnd != end ? lineEnd : nullptr;
            const unsigned char* const stop = lineEnd < chunkEnd ? lineEnd : chunkEnd;
            while (p < stop) {
                if (column == 0 && (*p == '.' || (*p == 'F' && end - p >= 5 && memcmp(p, "From ", 5) == 0))) {
                    out = PutHexEscape(out, *p++);
                    column = 3;
                    continue;
                }
                const Unit& unit = p < literalEnd ? kUnits.unit[*p] : kEscapes.unit[*p];
                memcpy(out, &unit, sizeof unit);
                out += unit.length;
                column += unit.length;
                ++p;
                if (column > kMaxColumn && p != noBreakAt) {
                    out = PutSoftBreak(out);
                    column = 0;
                }
            }
        }
        result.resize(used + static_cast<size_t>(out - begin));
        // Binary data takes about three times its size: after the first chunk the reservation
        // follows what the input turned out to need.
        if (used == 0 && p != end) {
            const uint64_t consumed = static_cast<uint64_t>(input.size()) - static_cast<uint64_t>(end - p);
            uint64_t expected = result.size() + result.size() * static_cast<uint64_t>(end - p) / consumed;
            expected += expected / 16 + EncodeRoom(kEncodeChunk);
            if (expected > result.capacity() && expected <= result.max_size())
                result.reserve(static_cast<size_t>(expected));
        }
    }
    output = std::move(result);
    return 0;
}

// Every byte is data unless it is ASCII syntax: NUL does not end the text, 8-bit bytes are copied
// as they are (0xBD is no '=', 0xA0 no blank), and white space at the start is kept like any other.
int QpDecode(std::string_view input, std::string& output, bool collapseCr) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(input.data());
    const unsigned char* const end = p + input.size();
    Output out(collapseCr);
    int error = 0;
    bool crLf = true; // the line end written for a bare LF line: that of the line before
    while (p != end) {
        const void* lf = memchr(p, '\n', static_cast<size_t>(end - p));
        const unsigned char* lineEnd = lf ? static_cast<const unsigned char*>(lf) : end;
        if (lf && lineEnd != p) crLf = lineEnd[-1] == '\r';
        const unsigned char* trimmed = lineEnd;
        while (trimmed != p &&
               (trimmed[-1] == '\r' || trimmed[-1] == '\n' || trimmed[-1] == ' ' || trimmed[-1] == '\t'))
            --trimmed;
        // A line decodes to at most its own length, and its line end to at most CR LF.
        out.Reserve(static_cast<size_t>(trimmed - p) + 2);
        const bool soft = DecodeLine(p, trimmed, out, error);
        if (lf && !soft) {
            if (crLf) out.Put('\r');
            out.Put('\n');
        }
        p = lf ? lineEnd + 1 : end;
    }
    output = out.Take();
    return error ? -1 : 0;
}

int QpDecode(const std::string& input, std::string& output, bool collapseCr) {
    return QpDecode(std::string_view(input), output, collapseCr);
}
