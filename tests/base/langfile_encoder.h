// Writes language files for the tests: the header, and the text either plain
// or packed with the adaptive splay-tree code the reader decodes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The encoder's own tree, kept as child pairs: kid[n][0] left, kid[n][1] right.
class SplayEncoder {
public:
    static constexpr int kRoot = 1;
    static constexpr int kLeaves = 257; // the bytes and the end mark
    static constexpr int kEnd = 256;

    SplayEncoder() {
        for (int n = 1; n < kLeaves; ++n) {
            kid_[n][0] = 2 * n;
            kid_[n][1] = 2 * n + 1;
            up_[2 * n] = n;
            up_[2 * n + 1] = n;
        }
    }

    // Codes value (0-255, or kEnd) as the path from the root to its leaf.
    void Put(int value) {
        const int leaf = value + kLeaves;
        std::vector<int> path;
        for (int n = leaf; n != kRoot; n = up_[n]) path.push_back(kid_[up_[n]][1] == n ? 1 : 0);
        for (auto bit = path.rbegin(); bit != path.rend(); ++bit) PutBit(*bit);
        Splay(leaf);
    }

    // The end mark, then the last bits padded with zeros.
    std::string Finish() {
        Put(kEnd);
        while (used_ != 0) PutBit(0);
        return out_;
    }

private:
    void PutBit(int bit) {
        byte_ = static_cast<unsigned char>(byte_ << 1 | bit);
        if (++used_ == 8) {
            out_ += static_cast<char>(byte_);
            used_ = 0;
            byte_ = 0;
        }
    }

    // Each step swaps the node with its parent's sibling, halving its depth.
    void Splay(int a) {
        while (up_[a] != kRoot) {
            const int c = up_[a];
            const int d = up_[c];
            const int sibling = kid_[d][0] == c ? 1 : 0;
            const int b = kid_[d][sibling];
            kid_[d][sibling] = a;
            kid_[c][kid_[c][0] == a ? 0 : 1] = b;
            up_[a] = d;
            up_[b] = c;
            a = d;
            if (a == kRoot) break;
        }
    }

    int kid_[kLeaves][2] = {};
    int up_[2 * kLeaves] = {};
    std::string out_;
    unsigned char byte_ = 0;
    int used_ = 0;
};

inline std::string SplayPack(const std::string& text) {
    SplayEncoder encoder;
    for (unsigned char c : text) encoder.Put(c);
    return encoder.Finish();
}

struct LanguageHeader {
    std::string banner = "Tarvo 32 bit Language File";
    uint16_t major = 6;
    uint16_t minor = 0;
    std::string name = "English";
};

// The 68-byte header; fields longer than theirs are cut without terminator.
inline std::string HeaderBytes(const LanguageHeader& h) {
    std::string out(68, '\0');
    out.replace(0, std::min<size_t>(h.banner.size(), 32), h.banner, 0, 32);
    const uint32_t version = h.major | static_cast<uint32_t>(h.minor) << 16;
    for (int i = 0; i < 4; ++i) out[32 + i] = static_cast<char>(version >> (8 * i));
    out.replace(36, std::min<size_t>(h.name.size(), 32), h.name, 0, 32);
    return out;
}

inline std::string LanguageFileBytes(const std::string& text, bool packed, const LanguageHeader& h = {}) {
    return HeaderBytes(h) + (packed ? SplayPack(text) : text);
}

// A keyboard row of 53 characters.
inline std::string KeyboardRow(char first) {
    std::string row;
    for (int i = 0; i < 53; ++i) row += static_cast<char>(first + i % 40);
    return row;
}

// The leading lines, a foreign section, then the section of this program
// with the message lines given.
inline std::string LanguageText(const std::vector<std::string>& messageLines) {
    std::string text = KeyboardRow('!') + "\n" + KeyboardRow('A') + "\nhelp.hlp\nhelp2.hlp\nunused\n";
    text += "\x7f"
            "OtherProgram\x7f\nnot ours\n";
    text += "\x7f"
            "TarvoUnixDaemon\x7f\n";
    for (const std::string& line : messageLines) text += line + "\n";
    return text;
}

// Message lines "Text N" in quotes, count of them.
inline std::vector<std::string> NumberedMessages(int count) {
    std::vector<std::string> lines;
    for (int n = 0; n < count; ++n) lines.push_back("\"Text " + std::to_string(n) + "\"");
    return lines;
}

} // namespace
