#include "mail/mime/lines.h"

#include <cstring>

namespace {

int ConvertLineEnds(std::string_view in, std::string& out, const char* lineEnd) {
    size_t endLength = std::strlen(lineEnd);
    std::string result;
    result.reserve(in.size() + in.size() / 16);
    const char* p = in.data();
    const char* end = p + in.size();
    while (p < end) {
        // Copy the run up to the next line end in one go.
        const char* stop = p;
        while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
        result.append(p, stop);
        if (stop == end) break;
        result.append(lineEnd, endLength);
        p = stop + ((stop[0] == '\r' && stop + 1 < end && stop[1] == '\n') ? 2 : 1);
    }
    out.swap(result);
    return 0;
}

bool IsFoldBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

int ToCrLf(std::string_view in, std::string& out) {
    return ConvertLineEnds(in, out, "\r\n");
}

int ToLf(std::string_view in, std::string& out) {
    return ConvertLineEnds(in, out, "\n");
}

int ToCr(std::string_view in, std::string& out) {
    return ConvertLineEnds(in, out, "\r");
}

void FoldText(std::string& text, int offset) {
    std::string folded;
    folded.reserve(text.size() + text.size() / 32);
    long long used = offset; // columns already taken on the current line
    size_t lineLength = 0;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        while (i < n && IsFoldBlank(text[i])) ++i;
        size_t start = i;
        while (i < n && !IsFoldBlank(text[i])) ++i;
        size_t length = i - start;
        if (length == 0) break;
        if (lineLength == 0) {
            // The first word of a line stays on it, however long.
        } else if (used + static_cast<long long>(lineLength + length) + 1 < 76) {
            folded += ' ';
            ++lineLength;
        } else {
            folded += "\r\n ";
            lineLength = 0;
            used = 0;
        }
        folded.append(text, start, length);
        lineLength += length;
    }
    text.swap(folded);
}

void UnfoldText(std::string& text) {
    size_t out = 0;
    bool afterLf = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            afterLf = c == '\n';
            continue;
        }
        text[out++] = (c == '\t' && afterLf) ? ' ' : c;
        afterLf = false;
    }
    text.resize(out);
}
