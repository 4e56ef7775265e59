#include "mail/mime/multipartsplitter.h"

#include <cstring>

DwDelimiterFinder::DwDelimiterFinder(const std::string& text, const std::string& boundary,
                                     DwDelimiterMatch match)
    : text_(text), boundary_(boundary), match_(match) {
    DwDelimiter delimiter;
    lenient_ = !boundary_.empty() && !FindForm(0, "--", delimiter);
    looseLines_ = 0;
}

bool DwDelimiterFinder::Find(size_t pos, DwDelimiter& delimiter) {
    return FindForm(pos, lenient_ ? std::string() : std::string("--"), delimiter);
}

bool DwDelimiterFinder::EndsDelimiter(size_t markEnd, bool* closing) const {
    const size_t n = text_.size();
    *closing = n - markEnd >= 2 && text_.compare(markEnd, 2, "--") == 0;
    if (match_ == DwDelimiterMatch::kPrefix) return true;
    size_t p = markEnd + (*closing ? 2 : 0);
    while (p < n && (text_[p] == ' ' || text_[p] == '\t')) ++p;
    if (p < n && text_[p] == '\r') ++p;
    return p == n || text_[p] == '\n';
}

bool DwDelimiterFinder::FindForm(size_t pos, const std::string& lead, DwDelimiter& delimiter) {
    const size_t n = text_.size();
    const size_t length = boundary_.size();
    const std::string mark = lead + boundary_;
    // A bare boundary at the start needs two bytes after it.
    const size_t room = lead.empty() ? length + 2 : mark.size();
    const char* const data = text_.data();
    bool closing = false;
    if (pos < n && n - pos >= room && text_.compare(pos, mark.size(), mark) == 0) {
        if (EndsDelimiter(pos + mark.size(), &closing)) {
            delimiter.start = pos;
            delimiter.closing = closing;
            const void* lf = memchr(data + pos + mark.size(), '\n', n - pos - mark.size());
            delimiter.next = lf ? static_cast<size_t>(static_cast<const char*>(lf) - data) + 1 : n;
            return true;
        }
        ++looseLines_;
    }
    // Line by line: the boundary's first byte after the line end rules out nearly every line.
    for (size_t from = pos; from < n;) {
        const void* hit = memchr(data + from, '\n', n - from);
        if (!hit) break;
        const size_t lf = static_cast<size_t>(static_cast<const char*>(hit) - data);
        from = lf + 1;
        if (n - from < mark.size() || (!mark.empty() && data[from] != mark[0]) ||
            memcmp(data + from, mark.data(), mark.size()) != 0)
            continue;
        const size_t lineStart = lf > pos && data[lf - 1] == '\r' ? lf - 1 : lf;
        // A bare boundary needs two bytes after it, as at the start; later lines have less room.
        if (lead.empty() && n - lineStart < length + 3) break;
        const size_t markEnd = from + mark.size();
        if (!EndsDelimiter(markEnd, &closing)) {
            ++looseLines_;
            continue;
        }
        delimiter.start = lineStart;
        delimiter.closing = closing;
        const void* next = memchr(data + markEnd, '\n', n - markEnd);
        delimiter.next = next ? static_cast<size_t>(static_cast<const char*>(next) - data) + 1 : n;
        return true;
    }
    delimiter.start = delimiter.next = n;
    delimiter.closing = false;
    return false;
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

MultipartSplitter::MultipartSplitter(const std::string& text, const std::string& boundary,
                                     DwDelimiterMatch match) {
    DwDelimiterFinder finder(text, boundary, match);
    DwDelimiter delimiter;
    if (!finder.Find(0, delimiter)) {
        parts.push_back(text);
        looseLines = finder.LooseLines();
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
    looseLines = finder.LooseLines();
}
