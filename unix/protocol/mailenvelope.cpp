#include "unix/protocol/mailenvelope.h"

#include <memory>
#include <new>

#include "unix/protocol/wire.h"
#include "unix/protocol/wirelog.h"
#include "unix/protocol/wildcardmatch.h"

std::string EnvelopeSender;
tvStringList EnvelopeRecipients;
uint32_t EnvelopeTotalLimit = kMaxEnvelopeTotal;

namespace {

// One text of the envelope into text: 0, or -1 after the message for `part` ("From" or "To").
int ReadEnvelopeText(int fd, TimeBudget& budget, bool honourStop, const char* part, uint32_t* total,
                     std::string* text) {
    uint32_t length = 0;
    if (ReadWord(fd, budget, honourStop, &length) != 0) {
        LogProtocolLine("Error reading envelope data (%s)!", part);
        return -1;
    }
    // The length word counts as well: endless empty recipients would otherwise cost the client
    // nothing and grow the list without a bound.
    const uint32_t cost = length + sizeof length;
    std::unique_ptr<char[]> bytes;
    if (length <= kMaxEnvelopeText && *total <= EnvelopeTotalLimit && cost <= EnvelopeTotalLimit - *total)
        bytes.reset(new (std::nothrow) char[length + 1]);
    if (!bytes) {
        LogProtocolLine("Cannot allocate memory for envelope data (%s size %d)!", part,
                        static_cast<int>(length));
        return -1;
    }
    if (ReadFull(fd, length, bytes.get(), budget, honourStop) != 0) {
        LogProtocolLine("Error reading envelope data (%s)!", part);
        return -1;
    }
    bytes[length] = '\0';
    *total += cost;
    text->assign(bytes.get()); // up to a NUL the client may have sent with it
    return 0;
}

bool IsLineEnd(int c) {
    return c == '\r' || c == '\n';
}

// A physical line of the stream: at most max characters kept, the rest up to '\n' consumed. False at the
// end of the stream with nothing read.
bool ReadLine(BufStream* stream, std::string* line, size_t max) {
    line->clear();
    int c = StreamGetByte(stream);
    if (c < 0) return false;
    for (; c >= 0; c = StreamGetByte(stream)) {
        if (line->size() < max) line->push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return true;
}

void CutTrailingControls(std::string* line) {
    while (!line->empty() && static_cast<unsigned char>(line->back()) < 0x20) line->pop_back();
}

bool OnlyLineEnd(const std::string& line) {
    for (char c : line)
        if (!IsLineEnd(c)) return false;
    return true;
}

// A physical line of at most limit bytes (its '\n' included) into line: true when it ended within them.
bool ReadBoundedLine(BufStream* stream, std::string* line, size_t limit) {
    line->assign(limit + 1, '\0');
    line->resize(StreamReadLine(stream, &(*line)[0], limit));
    return !line->empty() && line->back() == '\n';
}

bool IsBlank(int c) {
    return c == ' ' || c == '\t';
}

} // namespace

void ClearMailEnvelope() {
    EnvelopeSender.clear();
    EnvelopeRecipients.Clear();
}

int ReadMailEnvelope(int fd, TimeBudget& budget, bool honourStop) {
    uint32_t total = 0;
    std::string text;
    if (ReadEnvelopeText(fd, budget, honourStop, "From", &total, &text) != 0) return -1;
    EnvelopeSender = text;
    uint32_t count = 0;
    if (ReadWord(fd, budget, honourStop, &count) != 0) {
        LogProtocolLine("Error reading envelope data (To)!");
        return -1;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (ReadEnvelopeText(fd, budget, honourStop, "To", &total, &text) != 0) return -1;
        EnvelopeRecipients.AddString(text.c_str());
    }
    return 0;
}

int64_t FindEnvelopeEnd(BufStream* stream) {
    if (!stream) return -1;
    // The first line and the lines folded into it, each joined with one blank, from at most
    // kMaxEnvelopeLine bytes: whether a line is folded in shows in its first byte, so a file whose
    // second line never ends is not read to its end.
    size_t budget = kMaxEnvelopeLine;
    std::string first;
    bool ended = ReadBoundedLine(stream, &first, budget);
    if (first.empty()) return -1;
    budget -= first.size();
    CutTrailingControls(&first);
    std::string line;
    while (ended && budget > 0 && IsBlank(StreamPeekByte(stream))) {
        ended = ReadBoundedLine(stream, &line, budget);
        budget -= line.size();
        CutTrailingControls(&line);
        const size_t start = line.find_first_not_of(" \t");
        first += ' ';
        if (start != std::string::npos) first.append(line, start, std::string::npos);
    }
    if (!WildcardMatch("P *<*>*", first.c_str())) return -1;
    // An envelope: it ends with the first empty line.
    if (!ended) ReadLine(stream, &line, 0);
    while (ReadLine(stream, &line, kMaxEnvelopeLine))
        if (OnlyLineEnd(line)) return stream->position;
    return -1;
}
