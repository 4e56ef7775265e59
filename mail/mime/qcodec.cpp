#include "mail/mime/qcodec.h"

#include "mail/mime/codectables.h"

using mime_codec::HexValue;
using mime_codec::PutHexEscape;

namespace {

// Written as they are; everything else but the blank is escaped ('=', '?' and '_' among them).
inline bool IsPlainQ(unsigned char c) {
    return (c >= 0x21 && c <= 0x3C) || c == 0x3E || (c >= 0x40 && c <= 0x5E) || (c >= 0x60 && c <= 0x7E);
}

} // namespace

int QEncodeBuffer(const char* input, size_t length, char* buffer, size_t size, size_t* encodedLength) {
    if (!input) return -1;
    size_t n = 0;
    char piece[3];
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(input[i]);
        size_t pieceLength = 1;
        if (IsPlainQ(c))
            piece[0] = static_cast<char>(c);
        else if (c == ' ')
            piece[0] = '_';
        else
            pieceLength = static_cast<size_t>(PutHexEscape(piece, c) - piece);
        for (size_t k = 0; k < pieceLength; ++k, ++n)
            if (n < size) buffer[n] = piece[k];
    }
    if (n < size) buffer[n] = '\0';
    if (encodedLength) *encodedLength = n;
    return 0;
}

int QEncode(const std::string& input, std::string& output) {
    size_t length = 0;
    QEncodeBuffer(input.data(), input.size(), nullptr, 0, &length);
    std::string result(length + 1, '\0');
    QEncodeBuffer(input.data(), input.size(), &result[0], result.size(), &length);
    result.resize(length);
    output = std::move(result);
    return 0;
}

// Escapes take hexadecimal digits of either case, as mail readers do: "=e9" is an escape, not a
// reason to show the whole word undecoded. 8-bit bytes written raw inside a word are kept (mail
// readers show them, and the scanner must see them); blanks and control bytes, which no
// encoded word may hold, are dropped.
int QDecode(const std::string& input, std::string& output) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(input.data());
    const unsigned char* const end = p + input.size();
    std::string result;
    result.reserve(input.size());
    int error = 0;
    while (p != end) {
        const unsigned char c = *p++;
        if (c == '=') {
            const int hi = end - p >= 2 ? HexValue(p[0]) : -1;
            const int lo = hi >= 0 ? HexValue(p[1]) : -1;
            if (lo >= 0) {
                result.push_back(static_cast<char>(hi << 4 | lo));
                p += 2;
            } else {
                result.push_back('=');
                error = 1;
            }
        } else if (c == '_') {
            result.push_back(' ');
        } else if (IsPlainQ(c) || c >= 0x80) {
            result.push_back(static_cast<char>(c));
        }
    }
    output = std::move(result);
    return error ? -1 : 0;
}
