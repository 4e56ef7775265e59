// Lookup tables shared by the transfer codecs: hexadecimal digits and the base64 alphabet.
#pragma once

#include <array>
#include <cstdint>

namespace mime_codec {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";
inline constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Base64 symbol values: 0-63 for the alphabet, kBase64Fill for '=', kBase64Other for every other byte.
inline constexpr uint8_t kBase64Fill = 64;
inline constexpr uint8_t kBase64Other = 0xFF;

constexpr std::array<uint8_t, 256> MakeBase64Values() {
    std::array<uint8_t, 256> values{};
    for (auto& v : values) v = kBase64Other;
    for (int i = 0; i < 64; ++i) values[static_cast<uint8_t>(kBase64Alphabet[i])] = static_cast<uint8_t>(i);
    values['='] = kBase64Fill;
    return values;
}
inline constexpr std::array<uint8_t, 256> kBase64Values = MakeBase64Values();

// Hexadecimal digit values of either case; -1 for every other byte.
constexpr std::array<int8_t, 256> MakeHexValues() {
    std::array<int8_t, 256> values{};
    for (auto& v : values) v = -1;
    for (int i = 0; i < 10; ++i) values['0' + i] = static_cast<int8_t>(i);
    for (int i = 0; i < 6; ++i) {
        values['A' + i] = static_cast<int8_t>(10 + i);
        values['a' + i] = static_cast<int8_t>(10 + i);
    }
    return values;
}
inline constexpr std::array<int8_t, 256> kHexValues = MakeHexValues();

inline int HexValue(unsigned char c) {
    return kHexValues[c];
}

// Appends '=' and the byte as two upper-case hexadecimal digits.
inline char* PutHexEscape(char* out, unsigned char byte) {
    out[0] = '=';
    out[1] = kHexDigits[byte >> 4];
    out[2] = kHexDigits[byte & 15];
    return out + 3;
}

} // namespace mime_codec
