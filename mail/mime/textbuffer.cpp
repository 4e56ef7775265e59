#include "mail/mime/textbuffer.h"

#include <limits>

#include "mail/mime/bytesearch.h"

const std::vector<uint32_t>* DwTextBuffer::DashLines() const {
    if (bytes_.size() > std::numeric_limits<uint32_t>::max()) return nullptr;
    if (indexed_) return &dashLines_;
    // Every LF followed by "--": sixteen bytes are looked at once, with no call a line.
    const std::string_view text(bytes_);
    for (size_t from = 0;;) {
        const size_t lf = FindBytePair(text, from, '\n', '-');
        if (lf == std::string_view::npos) break;
        if (lf + 2 < text.size() && text[lf + 2] == '-') dashLines_.push_back(static_cast<uint32_t>(lf + 1));
        from = lf + 2;
    }
    indexed_ = true;
    return &dashLines_;
}
