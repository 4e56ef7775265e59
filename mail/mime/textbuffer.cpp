#include "mail/mime/textbuffer.h"

#include <cstring>
#include <limits>

const std::vector<uint32_t>* DwTextBuffer::DashLines() const {
    if (bytes_.size() > std::numeric_limits<uint32_t>::max()) return nullptr;
    if (indexed_) return &dashLines_;
    const char* const data = bytes_.data();
    const char* const end = data + bytes_.size();
    // Base64 has no '-' at all, so most of a message goes by in one memchr; a dash inside a line
    // skips the rest of that line.
    for (const char* p = data; p < end;) {
        const char* dash = static_cast<const char*>(memchr(p, '-', static_cast<size_t>(end - p)));
        if (!dash) break;
        if (dash > data && dash[-1] == '\n' && dash + 1 < end && dash[1] == '-')
            dashLines_.push_back(static_cast<uint32_t>(dash - data));
        const char* lf = static_cast<const char*>(memchr(dash, '\n', static_cast<size_t>(end - dash)));
        if (!lf) break;
        p = lf + 1;
    }
    indexed_ = true;
    return &dashLines_;
}
