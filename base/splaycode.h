// Decoder of the adaptive splay-tree prefix code that packs language files.
#pragma once

#include <cstddef>
#include <cstdint>

struct BufStream;

// Nodes 1..256 are internal (1 the root); leaves 257..513 stand for the
// values 0..256, where 256 marks the end of the packed text.
constexpr int kSplayRoot = 1;
constexpr int kSplayInternal = 256;
constexpr int kSplayFirstLeaf = 257;
constexpr int kSplayLastLeaf = 513;
constexpr int kSplayEndMark = kSplayLastLeaf - kSplayFirstLeaf;

struct SplayTables {
    uint16_t left[kSplayInternal + 1];
    uint16_t right[kSplayInternal + 1];
    uint16_t parent[kSplayLastLeaf + 1];
};

// Sets up the process's decoder; 1, or 0 when no memory is left.
int SplayInit();
// The next value (0-255, or kSplayEndMark), or -1 when the data ends first.
int SplayDecodeByte(BufStream* stream);
// Skips line ends, then decodes one line of at most max bytes without its
// end; buf needs max + 1 bytes. The number stored; 0 once the text is over.
size_t SplayReadLine(BufStream* stream, char* buf, size_t max);
void SplayFree();

// The decoder's tree, null when it is not set up.
const SplayTables* SplayCurrentTables();
