#include "mail/mime/multipartsplitter.h"

#include <cstring>

DwDelimiterFinder::DwDelimiterFinder(const std::string& text, const std::string& boundary)
    : text_(text), boundary_(boundary) {
    DwDelimiter delimiter;
    lenient_ = !boundary_.empty() && !FindForm(0, "--", delimiter);
}

bool DwDelimiterFinder::Find(size_t pos, DwDelimiter& delimiter) const {
    return FindForm(pos, lenient_ ? std::string() : std::string("--"), delimiter);
}

bool DwDelimiterFinder::FindForm(size_t pos, const std::string& lead, DwDelimiter& delimiter) const {
    const size_t n = text_.size();
    const size_t length = boundary_.size();
    const std::string mark = lead + boundary_;
    // A bare boundary at the start needs two bytes after it.
    const size_t room = lead.empty() ? length + 2 : mark.size();
    size_t markEnd = 0; // where the boundary ends
    bool found = false;
    if (pos < n && n - pos >= room && text_.compare(pos, mark.size(), mark) == 0) {
        delimiter.start = pos;
        markEnd = pos + mark.size();
        found = true;
    }
    if (!found) {
        const std::string search = "\n" + mark;
        const size_t lf = text_.find(search, pos);
        if (lf != std::string::npos) {
            const size_t lineStart = lf > pos && text_[lf - 1] == '\r' ? lf - 1 : lf;
            // A bare boundary needs two bytes after it, as at the start.
            if (!lead.empty() || n - lineStart >= length + 3) {
                delimiter.start = lineStart;
                markEnd = lf + search.size();
                found = true;
            }
        }
    }
    if (!found) {
        delimiter.start = delimiter.next = n;
        delimiter.closing = false;
        return false;
    }
    delimiter.closing = n - markEnd >= 2 && text_.compare(markEnd, 2, "--") == 0;
    const void* lf = memchr(text_.data() + markEnd, '\n', n - markEnd);
    delimiter.next = lf ? static_cast<size_t>(static_cast<const char*>(lf) - text_.data()) + 1 : n;
    return true;
}

namespace {

bool IsBlankText(const std::string& text, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
        const char c = text[i];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    }
    return true;
}

} // namespace

MultipartSplitter::MultipartSplitter(const std::string& text, const std::string& boundary) {
    DwDelimiterFinder finder(text, boundary);
    DwDelimiter delimiter;
    if (!finder.Find(0, delimiter)) {
        parts.push_back(text);
        return;
    }
    preamble.assign(text, 0, delimiter.start);
    size_t pos = delimiter.next;
    bool inParts = true; // the first delimiter opens a part whatever its form
    DwDelimiter next;
    while (finder.Find(pos, next)) {
        if (inParts || !IsBlankText(text, pos, next.start)) parts.emplace_back(text, pos, next.start - pos);
        inParts = !next.closing;
        pos = next.next;
    }
    if (inParts) {
        parts.emplace_back(text, pos, text.size() - pos);
    } else {
        epilogue.assign(text, pos, text.size() - pos);
    }
}
