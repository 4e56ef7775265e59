#include "mail/mime/multipartsplitter.h"

#include <algorithm>
#include <cstring>

DwDelimiterFinder::DwDelimiterFinder(std::string_view text, const std::string& boundary,
                                     DwDelimiterMatch match, DwDashLines dashLines)
    : text_(text), boundary_(boundary), strictMark_("--" + boundary), match_(match), dashLines_(dashLines) {
    DwDelimiter delimiter;
    lenient_ = !boundary_.empty() && !FindForm(0, true, delimiter);
    looseLines_ = 0;
}

bool DwDelimiterFinder::Find(size_t pos, DwDelimiter& delimiter) {
    return FindForm(pos, !lenient_, delimiter);
}

// The steps of a search are inline in FindForm: a message of many parts runs them for every delimiter.
[[gnu::always_inline]] inline bool DwDelimiterFinder::EndsDelimiter(size_t markEnd, bool* closing,
                                                                    size_t* next) const {
    const size_t n = text_.size();
    *closing = n - markEnd >= 2 && text_[markEnd] == '-' && text_[markEnd + 1] == '-';
    if (match_ == DwDelimiterMatch::kPrefix) {
        const void* lf = memchr(text_.data() + markEnd, '\n', n - markEnd);
        *next = lf ? static_cast<size_t>(static_cast<const char*>(lf) - text_.data()) + 1 : n;
        return true;
    }
    size_t p = markEnd + (*closing ? 2 : 0);
    while (p < n && (text_[p] == ' ' || text_[p] == '\t')) ++p;
    if (p < n && text_[p] == '\r') ++p;
    if (p != n && text_[p] != '\n') return false;
    *next = p == n ? n : p + 1;
    return true;
}

[[gnu::always_inline]] inline bool DwDelimiterFinder::Take(size_t lineStart, size_t markEnd,
                                                           DwDelimiter& delimiter) {
    bool closing = false;
    size_t next = 0;
    if (!EndsDelimiter(markEnd, &closing, &next)) {
        ++looseLines_;
        return false;
    }
    delimiter.start = lineStart;
    delimiter.closing = closing;
    delimiter.next = next;
    return true;
}

[[gnu::always_inline]] inline bool DwDelimiterFinder::FindAtDashLines(size_t pos, std::string_view mark,
                                                                      DwDelimiter& delimiter) {
    const size_t n = text_.size();
    const char* const data = text_.data();
    const std::vector<uint32_t>& lines = *dashLines_.positions;
    const size_t size = lines.size();
    // The line end before the dashes lies at pos or later.
    const size_t target = dashLines_.base + pos + 1;
    // The delimiters are looked for in order: on from where the last search stopped, in growing
    // steps. Every line before low lies before the target.
    std::vector<uint32_t>::const_iterator at;
    if (dashCursor_ < size && lines[dashCursor_] < target &&
        (dashCursor_ + 1 == size || lines[dashCursor_ + 1] >= target)) {
        // The line after the last one looked at is the first at the target: the next part's
        // delimiter, as a rule.
        at = lines.begin() + static_cast<std::ptrdiff_t>(dashCursor_ + 1);
    } else {
        size_t low =
            dashCursor_ <= size && (dashCursor_ == 0 || lines[dashCursor_ - 1] < target) ? dashCursor_ : 0;
        size_t high = low;
        for (size_t step = 1; high < size && lines[high] < target; step *= 2) {
            low = high + 1;
            high += step;
        }
        if (high > size) high = size;
        at = std::lower_bound(lines.begin() + low, lines.begin() + high, target,
                              [](uint32_t line, size_t value) { return line < value; });
    }
    for (; at != lines.end() && *at < dashLines_.base + n; ++at) {
        dashCursor_ = static_cast<size_t>(at - lines.begin());
        const size_t from = *at - dashLines_.base;
        if (n - from < mark.size() || memcmp(data + from, mark.data(), mark.size()) != 0) continue;
        const size_t lf = from - 1;
        const size_t lineStart = lf > pos && data[lf - 1] == '\r' ? lf - 1 : lf;
        if (Take(lineStart, from + mark.size(), delimiter)) return true;
    }
    delimiter.start = delimiter.next = n;
    delimiter.closing = false;
    return false;
}

bool DwDelimiterFinder::FindForm(size_t pos, bool strict, DwDelimiter& delimiter) {
    const size_t n = text_.size();
    const size_t length = boundary_.size();
    const std::string_view mark = strict ? std::string_view(strictMark_) : std::string_view(boundary_);
    // A bare boundary at the start needs two bytes after it.
    const size_t room = strict ? mark.size() : length + 2;
    const char* const data = text_.data();
    // Most parts start with a field: the first byte rules them out.
    if (pos < n && n - pos >= room && (mark.empty() || data[pos] == mark[0]) &&
        text_.compare(pos, mark.size(), mark) == 0) {
        if (Take(pos, pos + mark.size(), delimiter)) return true;
    }
    if (strict && dashLines_.positions) return FindAtDashLines(pos, mark, delimiter);
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
        if (!strict && n - lineStart < length + 3) break;
        if (Take(lineStart, from + mark.size(), delimiter)) return true;
    }
    delimiter.start = delimiter.next = n;
    delimiter.closing = false;
    return false;
}

namespace {

bool IsBlankText(std::string_view text, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
        const char c = text[i];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    }
    return true;
}

// How many parts the text may hold at most: every delimiter but one at its very start begins at a
// dash line, and every delimiter adds at most one part to the one after the last.
size_t MostParts(std::string_view text, DwDashLines dashLines) {
    const std::vector<uint32_t>& lines = *dashLines.positions;
    const auto first = std::lower_bound(lines.begin(), lines.end(), dashLines.base,
                                        [](uint32_t line, size_t value) { return line < value; });
    const auto last = std::lower_bound(first, lines.end(), dashLines.base + text.size(),
                                       [](uint32_t line, size_t value) { return line < value; });
    return static_cast<size_t>(last - first) + 2;
}

} // namespace

DwMultipartSplit::DwMultipartSplit(std::string_view text, const std::string& boundary, DwDelimiterMatch match,
                                   DwDashLines dashLines, bool reserve) {
    // Doubling a list of thousands of parts copies it over and over; room known at once does not.
    // Bounded by the text, so that dash lines that are no delimiters cannot make it big.
    if (reserve && dashLines.positions) {
        const size_t most = MostParts(text, dashLines);
        if (most <= text.size() / (8 * sizeof(DwTextRange))) parts.reserve(most);
    }
    DwDelimiterFinder finder(text, boundary, match, dashLines);
    DwDelimiter delimiter;
    if (!finder.Find(0, delimiter)) {
        parts.push_back({0, text.size()});
        looseLines = finder.LooseLines();
        return;
    }
    preamble = {0, delimiter.start};
    size_t pos = delimiter.next;
    bool inParts = true; // the first delimiter opens a part whatever its form
    DwDelimiter next;
    while (finder.Find(pos, next)) {
        if (inParts || !IsBlankText(text, pos, next.start)) parts.push_back({pos, next.start - pos});
        inParts = !next.closing;
        pos = next.next;
    }
    if (inParts) {
        parts.push_back({pos, text.size() - pos});
    } else {
        epilogue = {pos, text.size() - pos};
    }
    looseLines = finder.LooseLines();
}

MultipartSplitter::MultipartSplitter(const std::string& text, const std::string& boundary,
                                     DwDelimiterMatch match) {
    const DwMultipartSplit split(text, boundary, match);
    preamble.assign(text, split.preamble.offset, split.preamble.length);
    parts.reserve(split.parts.size());
    for (const DwTextRange& part : split.parts) parts.emplace_back(text, part.offset, part.length);
    epilogue.assign(text, split.epilogue.offset, split.epilogue.length);
    looseLines = split.looseLines;
}
