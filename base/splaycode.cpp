#include "base/splaycode.h"

#include <memory>
#include <new>

#include "base/bufstream.h"

namespace {

struct SplayState {
    std::unique_ptr<SplayTables> tables;
    unsigned bits = 0; // the byte being read, next bit in bit 7
    int bitsLeft = 0;
    bool ended = false; // the end mark or the end of the data was met
    int pending = -1;   // a value read ahead by SplayReadLine
};

SplayState g_splay;

// Moves the leaf just coded closer to the root, as the encoder does after
// coding it, so that both trees stay the same.
void Splay(SplayTables& t, int leaf) {
    int a = leaf;
    for (;;) {
        int c = t.parent[a];
        if (c == kSplayRoot) break;
        int d = t.parent[c];
        int b = t.left[d];
        if (c == b) {
            b = t.right[d];
            t.right[d] = static_cast<uint16_t>(a);
        } else {
            t.left[d] = static_cast<uint16_t>(a);
        }
        if (t.left[c] == a)
            t.left[c] = static_cast<uint16_t>(b);
        else
            t.right[c] = static_cast<uint16_t>(b);
        t.parent[a] = static_cast<uint16_t>(d);
        t.parent[b] = static_cast<uint16_t>(c);
        a = d;
        if (a == kSplayRoot) break;
    }
}

// The next value, or -1; a value of the end mark or a data end stays the
// answer from then on.
int NextValue(BufStream* stream) {
    if (g_splay.pending >= 0) {
        int v = g_splay.pending;
        g_splay.pending = -1;
        return v;
    }
    return SplayDecodeByte(stream);
}

bool IsLineEnd(int v) {
    return v == '\n' || v == '\r';
}

} // namespace

int SplayInit() {
    if (!g_splay.tables) {
        g_splay.tables.reset(new (std::nothrow) SplayTables());
        if (!g_splay.tables) return 0;
    }
    SplayTables& t = *g_splay.tables;
    t.parent[0] = t.parent[1] = 0;
    for (int i = 2; i <= kSplayLastLeaf; ++i) t.parent[i] = static_cast<uint16_t>(i / 2);
    t.left[0] = t.right[0] = 0;
    for (int k = 1; k <= kSplayInternal; ++k) {
        t.left[k] = static_cast<uint16_t>(2 * k);
        t.right[k] = static_cast<uint16_t>(2 * k + 1);
    }
    g_splay.bits = 0;
    g_splay.bitsLeft = 0;
    g_splay.ended = false;
    g_splay.pending = -1;
    return 1;
}

int SplayDecodeByte(BufStream* stream) {
    if (!g_splay.tables || g_splay.ended) return -1;
    SplayTables& t = *g_splay.tables;
    int node = kSplayRoot;
    while (node < kSplayFirstLeaf) {
        if (g_splay.bitsLeft == 0) {
            int byte = StreamGetByte(stream);
            if (byte < 0) {
                g_splay.ended = true;
                return -1;
            }
            g_splay.bits = static_cast<unsigned>(byte);
            g_splay.bitsLeft = 8;
        }
        bool one = (g_splay.bits & 0x80) != 0;
        g_splay.bits = (g_splay.bits << 1) & 0xFF;
        --g_splay.bitsLeft;
        node = one ? t.right[node] : t.left[node];
    }
    Splay(t, node);
    int value = node - kSplayFirstLeaf;
    if (value == kSplayEndMark) g_splay.ended = true;
    return value;
}

size_t SplayReadLine(BufStream* stream, char* buf, size_t max) {
    if (!buf) return 0;
    size_t count = 0;
    int v = NextValue(stream);
    while (IsLineEnd(v)) v = NextValue(stream);
    while (v >= 0 && v != kSplayEndMark && !IsLineEnd(v)) {
        if (count == max) {
            // The line goes on in the next call, as a plain file's does.
            g_splay.pending = v;
            break;
        }
        buf[count++] = static_cast<char>(v);
        v = NextValue(stream);
    }
    buf[count] = '\0';
    return count;
}

void SplayFree() {
    g_splay = SplayState();
}

const SplayTables* SplayCurrentTables() {
    return g_splay.tables.get();
}
