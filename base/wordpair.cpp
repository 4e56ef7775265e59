#include "base/wordpair.h"

#include <cstdio>

namespace {

constexpr size_t kMaxPairText = 16;

} // namespace

void FormatWordPair(const uint32_t* pair, char* text, size_t size) {
    if (!text || size == 0) return;
    text[0] = '\0';
    if (!pair || size > kMaxPairText) return;
    std::snprintf(text, size, "%lu%lu", static_cast<unsigned long>(pair[1]),
                  static_cast<unsigned long>(pair[0]));
}
