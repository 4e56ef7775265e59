#include "mail/walk/envelope.h"

#include <cstring>

namespace {

enum class EnvelopeKind { kNone, kSender, kExternal };

// What the line [begin, end) (without its LF) starts: "P *<*>*" or "external*".
EnvelopeKind LineKind(std::string_view text, size_t begin, size_t end) {
    const size_t length = end - begin;
    if (length >= 8 && text.compare(begin, 8, "external") == 0) return EnvelopeKind::kExternal;
    if (length < 2 || text[begin] != 'P' || text[begin + 1] != ' ') return EnvelopeKind::kNone;
    // Searched within the line only, so that the whole test stays linear.
    const char* first = text.data() + begin + 2;
    const char* last = text.data() + end;
    const void* open = memchr(first, '<', static_cast<size_t>(last - first));
    if (!open) return EnvelopeKind::kNone;
    const char* after = static_cast<const char*>(open) + 1;
    return memchr(after, '>', static_cast<size_t>(last - after)) ? EnvelopeKind::kSender
                                                                 : EnvelopeKind::kNone;
}

bool IsEmptyLineAt(std::string_view text, size_t at) {
    return at >= text.size() || text[at] == '\r' || text[at] == '\n';
}

size_t SkipChars(std::string_view text, size_t at, const char* set) {
    const size_t next = text.find_first_not_of(set, at);
    return next == std::string_view::npos ? text.size() : next;
}

// The end of the envelope that starts at line, or 0 when it has no end marker.
size_t EnvelopeEnd(std::string_view text, size_t line, EnvelopeKind kind) {
    if (kind == EnvelopeKind::kSender) {
        const size_t lf = text.find("\n\n", line);
        const size_t crlf = text.find("\n\r\n", line);
        const size_t marker = lf < crlf ? lf : crlf;
        if (marker == std::string_view::npos) return 0;
        return SkipChars(text, marker, "\r\n");
    }
    const size_t marker = text.find("env-end", line);
    if (marker == std::string_view::npos) return 0;
    return SkipChars(text, marker + strlen("env-end"), " \t\r\n");
}

} // namespace

size_t MailEnvelopeLength(std::string_view text) {
    size_t line = 0;
    for (;;) {
        const size_t lf = text.find('\n', line);
        // Line k is tested only while line k + 1 exists and is not empty.
        if (lf == std::string_view::npos || IsEmptyLineAt(text, lf + 1)) return 0;
        const EnvelopeKind kind = LineKind(text, line, lf);
        if (kind != EnvelopeKind::kNone) {
            const size_t end = EnvelopeEnd(text, line, kind);
            if (end == 0 || SkipChars(text, end, " \t\r\n") == text.size()) return 0;
            return end;
        }
        line = lf + 1;
    }
}
