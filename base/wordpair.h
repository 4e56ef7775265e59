// Text of a pair of 32-bit words.
#pragma once

#include <cstddef>
#include <cstdint>

// text (size bytes) gets the decimal of pair[1] followed directly by that of
// pair[0], cut to fit, for a size of 1 to 16; an empty text for a larger
// size. A size of 0 leaves text alone.
void FormatWordPair(const uint32_t* pair, char* text, size_t size);
