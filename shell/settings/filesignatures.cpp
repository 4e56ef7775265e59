#include "shell/settings/filesignatures.h"

namespace {

template <size_t N> constexpr FileSignature Sig(uint32_t offset, const char (&bytes)[N]) {
    return {offset, N - 1, bytes};
}

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

const FileSignature BinarySignatures[] = {
    Sig(0, "\x50\x4B\x03\x04"),
    Sig(0, "\x50\x4B\x30\x30"),
    Sig(0, "\x60\xEA"),
    Sig(0, "\x52\x61\x72\x21\x1A\x07\x00"),
    Sig(0, "\x52\x45\x7E\x5E"),
    Sig(0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"),
    Sig(0, "\x00\x01\x00\x00"
           "Standard Jet DB"),
    Sig(0, "\x00\x01\x00\x00"
           "Jet System DB  "),
    Sig(0, "\x3F\x5F\x03\x00"),
    Sig(0, "\x7F\x45\x4C\x46"),
    Sig(0, "\x1F\x1E"),
    Sig(0, "\x1F\x8B"),
    Sig(0, "\x1F\x9E"),
    Sig(0, "\x1F\x9D"),
    Sig(0, "\x1F\xA0"),
    Sig(257, "ustar"),
    Sig(0, "MSCF"),
    Sig(2, "-lh"),
    Sig(2, "-lz"),
    Sig(0, "\x23\x40\x7E\x5E"),
    Sig(0, "\xFF\xFE"),
    Sig(0, "\xFE\xFF"),
    Sig(0, "\xEF\xBB\xBF"),
    Sig(0, "BM"),
    Sig(0, "BA"),
    Sig(0, "CI"),
    Sig(0, "CP"),
    Sig(0, "IC"),
    Sig(0, "PT"),
    Sig(0, "ITSF"),
    Sig(0, "SZ"),
    Sig(0, "\x37\x7A\xBC\xAF\x27\x1C"),
    Sig(0, "\xED\xAB\xEE\xDB"),
    Sig(0, "\x00\x00\x00\x00"),
    Sig(0, "!<arch>"),
    Sig(0, "0.939000"),
    Sig(0, "\x30\x37\x30\x37\x30\x31"),
    Sig(0, "\x30\x37\x30\x37\x30\x32"),
    Sig(0, "\x30\x37\x30\x37\x30\x37"),
    Sig(0, "\xC7\x71"),
    Sig(0, "\x71\xC7"),
    Sig(0, "\x20\x06\x79\x19"),
    Sig(0, "\xCF\xAD\x12\xFE\xC5"),
    {0, 0, nullptr},
};

const FileSignature TextSignatures[] = {
    Sig(0, "From"),   Sig(0, "Return-Path:"),  Sig(0, "Received:"),   Sig(0, "Date:"),
    Sig(0, "For:"),   Sig(0, "MIME-Version:"), Sig(0, "Message-ID:"), Sig(0, "Content-"),
    Sig(0, "{\\rtf"), Sig(0, "<html>"),        Sig(0, "ActiveMime"),  {0, 0, nullptr},
};

bool SignatureMatches(const FileSignature& sig, const uint8_t* data, size_t len, bool noCase) {
    if (!sig.bytes || !data) return false;
    // Only bytes that were actually read count: a short object cannot match
    // a signature that reaches past its end.
    if (sig.offset > len || sig.length > len - sig.offset) return false;
    const uint8_t* at = data + sig.offset;
    for (uint32_t i = 0; i < sig.length; ++i) {
        char want = sig.bytes[i];
        char have = static_cast<char>(at[i]);
        if (noCase) {
            want = AsciiUpper(want);
            have = AsciiUpper(have);
        }
        if (want != have) return false;
    }
    return true;
}

bool AnySignatureMatches(const FileSignature* table, const uint8_t* data, size_t len, bool noCase) {
    for (const FileSignature* sig = table; sig->bytes; ++sig)
        if (SignatureMatches(*sig, data, len, noCase)) return true;
    return false;
}

int ContentWorthScanning(const uint8_t* data, size_t len, uint64_t size) {
    if (!data) len = 0;
    if (len >= 2 && ((data[0] == 'M' && data[1] == 'Z') || (data[0] == 'Z' && data[1] == 'M'))) return 1;
    if (len >= 3 && data[0] == 'T' && data[1] == 'V' && data[2] >= 'o' && data[2] <= 'r') return 1;
    if (AnySignatureMatches(BinarySignatures, data, len, false)) return 1;
    if (AnySignatureMatches(TextSignatures, data, len, true)) return 1;
    if (size < kSmallObjectSize && len >= 1) {
        if (len >= 2 && data[0] == 0xFF && data[1] == 0xD8) return 0;
        if (len >= 4 && data[0] == 0xFF && data[1] == 0xFF && data[2] == 0xFF && data[3] == 0xFF) return 1;
        switch (data[0]) {
        case 0xE8:
        case 0xE9:
        case 0xEB:
        case 0x90:
        case 0x9C:
            return 1;
        default:
            break;
        }
        if ((data[0] >> 4) == 0xB || (data[0] >> 4) == 0xF) return 1;
    }
    return 0;
}
