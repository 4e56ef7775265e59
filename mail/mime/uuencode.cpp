#include "mail/mime/uuencode.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kBytesPerLine = 45;

// A 6-bit value as a character; 0 is written as a backquote, never as a blank that a mail
// transport might strip from the end of a line.
inline char UuChar(uint32_t v) {
    return v ? static_cast<char>((v & 63) + 0x20) : '`';
}
inline uint32_t UuValue(unsigned char c) {
    return (c - 0x20u) & 0x3F;
}

inline bool IsLineEnd(unsigned char c) {
    return c == '\r' || c == '\n';
}
inline bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t';
}

class Reader {
public:
    explicit Reader(const std::string& text)
        : p_(reinterpret_cast<const unsigned char*>(text.data())), end_(p_ + text.size()) {}
    bool AtEnd() const { return p_ == end_; }
    const unsigned char* Position() const { return p_; }
    const unsigned char* End() const { return end_; }
    void MoveTo(const unsigned char* p) { p_ = p; }
    // Past the line end: LF, or CR with an optional LF.
    void SkipLine() {
        while (p_ != end_ && !IsLineEnd(*p_)) ++p_;
        if (p_ != end_ && *p_++ == '\r' && p_ != end_ && *p_ == '\n') ++p_;
    }
    const unsigned char* LineEnd() const {
        const unsigned char* e = p_;
        while (e != end_ && !IsLineEnd(*e)) ++e;
        return e;
    }

private:
    const unsigned char* p_;
    const unsigned char* end_;
};

const unsigned char* FindBegin(const std::string& text) {
    const char* const base = text.data();
    for (size_t at = 0; (at = text.find("begin ", at)) != std::string::npos; ++at)
        if (at == 0 || IsLineEnd(static_cast<unsigned char>(base[at - 1])))
            return reinterpret_cast<const unsigned char*>(base + at);
    return nullptr;
}

// A line of nothing but blanks ends the data like a backquote line: a common encoder writes a
// blank as its zero-length line, and reading past it would take the "end" line for data.
bool IsBlankLine(const unsigned char* p, const unsigned char* lineEnd) {
    for (; p != lineEnd; ++p)
        if (!IsBlank(*p)) return false;
    return true;
}

} // namespace

DwUuencode::DwUuencode() : targetName_{}, targetMode_(0644) {}

DwUuencode::~DwUuencode() = default;

void DwUuencode::SetTargetName(const char* name) {
    if (!name) name = "";
    strncpy(targetName_, name, sizeof targetName_);
    targetName_[sizeof targetName_ - 1] = '\0';
}

void DwUuencode::Encode() {
    const size_t n = rawData_.size();
    char begin[32];
    snprintf(begin, sizeof begin, "begin %o ", static_cast<unsigned>(targetMode_));
    std::string text(begin);
    text.reserve(text.size() + strlen(targetName_) + 2 + (n + 2) / 3 * 4 + (n / kBytesPerLine + 1) * 3 + 16);
    text += targetName_;
    text += "\r\n";
    const unsigned char* in = reinterpret_cast<const unsigned char*>(rawData_.data());
    for (size_t done = 0; done < n;) {
        const size_t line = n - done < kBytesPerLine ? n - done : kBytesPerLine;
        text.push_back(static_cast<char>(line + 0x20));
        for (size_t i = 0; i < line; i += 3) {
            const size_t left = line - i;
            const uint32_t v = (uint32_t{in[i]} << 16) | (left > 1 ? uint32_t{in[i + 1]} << 8 : 0) |
                               (left > 2 ? uint32_t{in[i + 2]} : 0);
            text.push_back(UuChar(v >> 18));
            text.push_back(UuChar((v >> 12) & 63));
            text.push_back(UuChar((v >> 6) & 63));
            text.push_back(UuChar(v & 63));
        }
        text += "\r\n";
        in += line;
        done += line;
    }
    text += "`\r\nend\r\n";
    encodedData_ = std::move(text);
}

int DwUuencode::Decode(bool collapseCr) {
    Reader in(encodedData_);
    if (encodedData_.empty() || encodedData_[0] != 'M') {
        const unsigned char* begin = FindBegin(encodedData_);
        if (!begin) {
            targetMode_ = 0;
            targetName_[0] = '\0';
            return -1;
        }
        const unsigned char* p = begin + 6;
        const unsigned char* const end = in.End();
        while (p != end && (IsBlank(*p) || IsLineEnd(*p))) ++p;
        uint16_t mode = 0;
        for (; p != end && *p >= '0' && *p <= '9'; ++p) mode = static_cast<uint16_t>(mode * 8 + (*p - '0'));
        targetMode_ = mode;
        while (p != end && IsBlank(*p)) ++p;
        size_t length = 0;
        while (p != end && !IsBlank(*p) && !IsLineEnd(*p) && length < sizeof targetName_ - 1)
            targetName_[length++] = static_cast<char>(*p++);
        targetName_[length] = '\0';
        in.MoveTo(p);
        in.SkipLine();
    }
    auto put = [&](unsigned char byte) {
        if (collapseCr && byte == '\r' && !rawData_.empty() && rawData_.back() == '\r') return;
        rawData_.push_back(static_cast<char>(byte));
    };
    for (;;) {
        const unsigned char* p = in.Position();
        const unsigned char* const end = in.End();
        while (p != end && IsLineEnd(*p)) ++p;
        if (p == end) return -1;
        in.MoveTo(p);
        const unsigned char* const lineEnd = in.LineEnd();
        size_t count = 0;
        if (!IsBlankLine(p, lineEnd)) {
            while (IsBlank(*p)) ++p;
            count = UuValue(*p);
        }
        if (count == 0) {
            in.SkipLine();
            const unsigned char* q = in.Position();
            return end - q >= 3 && memcmp(q, "end", 3) == 0 ? 0 : -1;
        }
        // Only the characters of this line are read: a short line yields the bytes its whole
        // characters hold, never bytes of the next line.
        ++p;
        while (count > 0 && lineEnd - p >= 2) {
            const size_t chars = static_cast<size_t>(lineEnd - p) < 4 ? static_cast<size_t>(lineEnd - p) : 4;
            uint32_t v = 0;
            for (size_t i = 0; i < chars; ++i) v |= UuValue(p[i]) << (18 - 6 * i);
            const size_t bytes = chars - 1 < count ? chars - 1 : count;
            for (size_t i = 0; i < bytes; ++i) put(static_cast<unsigned char>(v >> (16 - 8 * i)));
            count -= bytes;
            p += chars;
        }
        in.MoveTo(lineEnd);
        in.SkipLine();
    }
}

int UuDecode(std::string_view input, std::string& output, bool collapseCr) {
    DwUuencode uu;
    uu.SetEncodedData(std::string(input));
    const int result = uu.Decode(collapseCr);
    output = uu.RawData();
    return result;
}

bool UuEncode(const std::string& input, std::string& output, const char* targetName) {
    DwUuencode uu;
    uu.SetTargetName(targetName);
    uu.SetRawData(input);
    uu.Encode();
    output = uu.EncodedData();
    return !output.empty();
}

int UuDecode(const std::string& input, std::string& output, bool collapseCr) {
    return UuDecode(std::string_view(input), output, collapseCr);
}
