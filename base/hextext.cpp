#include "base/hextext.h"

#include <cstring>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

int BytesToHex(const void* data, int count, char* text) {
    if (!data || !text || count < 1) return 0;
    static const char kDigits[] = "0123456789ABCDEF";
    const auto* in = static_cast<const unsigned char*>(data);
    for (int i = 0; i < count; ++i) {
        *text++ = kDigits[in[i] >> 4];
        *text++ = kDigits[in[i] & 0x0F];
    }
    *text = '\0';
    return 1;
}

int HexToBytes(const char* text, void* data, size_t size) {
    if (!text || !data) return 0;
    const size_t length = std::strlen(text);
    if (length == 0 || length % 2 != 0 || length / 2 > size) return 0;
    for (size_t i = 0; i < length; ++i)
        if (HexValue(text[i]) < 0) return 0;
    auto* out = static_cast<unsigned char*>(data);
    for (size_t i = 0; i < length; i += 2)
        out[i / 2] = static_cast<unsigned char>(HexValue(text[i]) << 4 | HexValue(text[i + 1]));
    return 1;
}
