#include "mail/mime/quotedprintable.h"

#include <cstring>

#include "mail/mime/codectables.h"

using mime_codec::HexValue;
using mime_codec::PutHexEscape;

namespace {

// A soft line break follows the character that takes the column past this (so no encoded line
// exceeds 76 characters with its '=').
constexpr size_t kMaxColumn = 72;

inline bool IsCrLfAt(const unsigned char* p, const unsigned char* end) {
    return end - p >= 2 && p[0] == '\r' && p[1] == '\n';
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
    char escape[3];
    for (; p != end; ++p) {
        const unsigned char c = *p;
        if (c == '\r' && p + 1 != end && p[1] == '\n') {
            result += "\r\n";
            ++p;
            column = 0;
            continue;
        }
        if (column == 0 && (c == '.' || (c == 'F' && end - p >= 5 && memcmp(p, "From ", 5) == 0))) {
            result.append(escape, PutHexEscape(escape, c));
            column = 3;
            continue;
        }
        if ((c >= 0x21 && c <= 0x3C) || (c >= 0x3E && c <= 0x7E)) {
            result.push_back(static_cast<char>(c));
            ++column;
        } else if (c == ' ' && p + 1 != end && !IsCrLfAt(p + 1, end)) {
            result.push_back(' ');
            ++column;
        } else {
            result.append(escape, PutHexEscape(escape, c));
            column += 3;
        }
        if (column > kMaxColumn && !IsCrLfAt(p + 1, end)) {
            result += "=\r\n";
            column = 0;
        }
    }
    output = std::move(result);
    return 0;
}

// Every byte is data unless it is ASCII syntax: NUL does not end the text, 8-bit bytes are copied
// as they are (0xBD is no '=', 0xA0 no blank), and white space at the start is kept like any other.
int QpDecode(const std::string& input, std::string& output, bool collapseCr) {
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
