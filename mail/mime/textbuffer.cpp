#include "mail/mime/textbuffer.h"

#include <cstring>
#include <limits>

const std::vector<uint32_t>* DwTextBuffer::DashLines() const {
    if (bytes_.size() > std::numeric_limits<uint32_t>::max()) return nullptr;
    if (indexed_) return &dashLines_;
    const char* const data = bytes_.data();
    const char* const end = data + bytes_.size();
    // Base64 has no '-' at all, so most of a message goes by in one memchr. A run of dashes is looked
    // at once, at its first: a line's "--" starts one. A search for the line's end after a dash inside
    // a line ("us-ascii") cost as much as the search for the next dash.
    for (const char* p = data; p < end;) {
        const char* dash = static_cast<const char*>(memchr(p, '-', static_cast<size_t>(end - p)));
        if (!dash) break;
        const char* after = dash + 1;
        while (after < end && *after == '-') ++after;
        if (dash > data && dash[-1] == '\n' && after - dash >= 2)
            dashLines_.push_back(static_cast<uint32_t>(dash - data));
        p = after;
    }
    indexed_ = true;
    return &dashLines_;
}
