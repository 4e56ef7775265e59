#include "base/langfile.h"

#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include "base/bufstream.h"
#include "base/messages.h"
#include "base/pathutil.h"
#include "base/splaycode.h"
#include "base/strutil.h"

int LanguageFilePacked = 1;
LanguageFileInfo LanguageInfo;

namespace {

const char kBanner[] = "Tarvo 32 bit Language File";
const char kSectionTag[] = "\x7fTarvoUnixDaemon\x7f";
constexpr uint32_t kAcceptedVersion = 600; // major x 100 + minor
constexpr size_t kVersionOffset = 32;
constexpr size_t kNameOffset = 36;
// Keyboard rows, help file names and a line nobody reads come first.
constexpr int kLeadingLines = 5;

bool IsBlank(unsigned char c) {
    return c != 0 && c <= 0x20;
}

bool IsSeparator(unsigned char c) {
    return IsBlank(c) || c == ',';
}

struct LanguageText {
    LanguageFileInfo info;
    std::vector<std::string> messages;
};

// A message line as stored: quotes and blanks around it dropped, its
// escapes turned into the characters they stand for.
std::string MessageFromLine(const char* line, uint32_t number) {
    const char* p = line;
    while (IsBlank(static_cast<unsigned char>(*p))) ++p;
    if (*p == '"') ++p;
    size_t n = std::strlen(p);
    while (n && static_cast<unsigned char>(p[n - 1]) <= 0x20) --n;
    if (n && p[n - 1] == '"') --n;
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        char c = p[i];
        if (c == '\\' && i + 1 < n) {
            char e = p[i + 1];
            if (e == 'n' || e == 't' || e == '"') {
                out += e == 'n' ? '\n' : e == 't' ? '\t' : '"';
                ++i;
                continue;
            }
        }
        out += c;
    }
    if (number == 1) {
        char patched[kMessageBufferSize];
        std::strncpy(patched, out.c_str(), sizeof patched - 1);
        patched[sizeof patched - 1] = '\0';
        ApplyYearPatch(patched, sizeof patched, std::time(nullptr));
        out = patched;
    }
    if (out.size() > kLanguageMessageMax) out.resize(kLanguageMessageMax);
    return out;
}

class DecoderGuard {
public:
    explicit DecoderGuard(bool on) : on_(on) {}
    ~DecoderGuard() {
        if (on_) SplayFree();
    }
    DecoderGuard(const DecoderGuard&) = delete;
    DecoderGuard& operator=(const DecoderGuard&) = delete;

private:
    bool on_;
};

// Walks the file; with out, keeps what it read there. 1 when the section of
// this program held all the messages.
int WalkLanguageFile(const char* path, LanguageText* out) {
    if (!path || !*path) return 0;
    const bool packed = LanguageFilePacked != 0;
    if (packed && !SplayInit()) return 0;
    DecoderGuard guard(packed);

    char expanded[kPathBufSize];
    if (!ExpandPath(path, expanded, 1)) return 0;
    BufStreamPtr stream(StreamOpen(expanded, 0, nullptr, 0));
    if (!stream) return 0;
    LanguageText text;
    if (!ReadLanguageHeader(stream.get(), text.info.name)) return 0;

    std::vector<char> line(kLanguageLineMax + 1);
    std::vector<char> copy(kLanguageLineMax + 1);
    auto readLine = [&] {
        return packed ? SplayReadLine(stream.get(), line.data(), kLanguageLineMax)
                      : StreamReadTrimmedLine(stream.get(), line.data(), kLanguageLineMax);
    };

    for (int i = 0; i < kLeadingLines; ++i) {
        size_t n = readLine();
        if (n == 0) return 0;
        if (i < 2) {
            if (n == kKeyboardRowLength) text.info.keyboardRows[i] = line.data();
        } else if (i < 4) {
            text.info.helpFiles[i - 2] = line.data();
        }
    }

    bool inSection = false;
    uint32_t stored = 0;
    while (stored < kMessageCount) {
        size_t n = readLine();
        if (n == 0) break;
        std::memcpy(copy.data(), line.data(), n + 1);
        char* tokens[kIniLineTokens];
        int count = SplitIniLine(tokens, copy.data());
        if (count == 0) continue;
        if (count == 1 && static_cast<unsigned char>(tokens[0][0]) == 0x7F) {
            inSection = StrEqualNoCase(tokens[0], kSectionTag) != 0;
            continue;
        }
        if (!inSection) continue;
        if (out) text.messages.push_back(MessageFromLine(line.data(), stored));
        ++stored;
    }
    if (stored != kMessageCount) return 0;
    if (out) *out = std::move(text);
    return 1;
}

} // namespace

int LoadLanguageFile(const char* path) {
    LanguageText text;
    if (MessageCatalogue && WalkLanguageFile(path, &text)) {
        for (uint32_t n = 0; n < kMessageCount; ++n) {
            // Every text is at most kLanguageMessageMax long: it fits.
            std::memcpy(MessageCatalogue[n], text.messages[n].c_str(), text.messages[n].size() + 1);
        }
        LanguageInfo = std::move(text.info);
        return 1;
    }
    LoadDefaultMessages();
    return 0;
}

int CountLanguageMessages(const char* path) {
    return WalkLanguageFile(path, nullptr);
}

int ReadLanguageHeader(BufStream* stream, char* name) {
    unsigned char header[kLanguageHeaderSize];
    if (!stream || StreamRead(stream, header, sizeof header) != sizeof header) return 0;
    if (std::memcmp(header, kBanner, sizeof kBanner) != 0) return 0;
    const unsigned char* v = header + kVersionOffset;
    uint32_t version = static_cast<uint32_t>(v[0]) | static_cast<uint32_t>(v[1]) << 8 |
                       static_cast<uint32_t>(v[2]) << 16 | static_cast<uint32_t>(v[3]) << 24;
    uint32_t major = version & 0xFFFF;
    uint32_t minor = version >> 16;
    if (major * 100 + minor != kAcceptedVersion) return 0;
    const unsigned char* language = header + kNameOffset;
    const void* end = std::memchr(language, 0, kLanguageNameSize);
    if (!end) return 0; // a name without its terminator: the header is damaged
    if (name) std::memcpy(name, language, static_cast<const unsigned char*>(end) - language + 1);
    return 1;
}

int SplitIniLine(char** tokens, char* line) {
    if (!tokens || !line) return 0;
    int n = 0;
    bool equalsSeen = false;
    unsigned char before = 0; // the byte before the next token, 0 at the start
    char* p = line;
    while (n < kIniLineTokens && *p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (IsSeparator(c)) {
            before = c;
            ++p;
            continue;
        }
        if (c == ';') {
            *p = '\0';
            break;
        }
        if (c == '"') {
            tokens[n++] = p;
            char* close = std::strchr(p + 1, '"');
            if (!close) break;
            *close = '\0';
            before = '"';
            p = close + 1;
            continue;
        }
        if (c == '=' && !equalsSeen) {
            equalsSeen = true;
            unsigned char next = static_cast<unsigned char>(p[1]);
            bool alone = next == 0 || IsSeparator(next) || next == ';';
            if (alone && IsBlank(before)) {
                before = c;
                ++p;
                continue;
            }
        }
        tokens[n++] = p++;
        while (*p) {
            c = static_cast<unsigned char>(*p);
            if (IsSeparator(c) || c == ';') break;
            if (c == '=' && !equalsSeen) {
                equalsSeen = true;
                break;
            }
            ++p;
        }
        if (!*p) break;
        before = static_cast<unsigned char>(*p);
        if (*p == ';') {
            *p = '\0';
            break;
        }
        *p++ = '\0';
    }
    for (int i = 0; i < n; ++i)
        if (tokens[i][0] == '"' && tokens[i][1] != '"') ++tokens[i];
    if (n >= 2 && std::strcmp(tokens[0], "=") == 0) {
        for (int i = 1; i < n; ++i) tokens[i - 1] = tokens[i];
        --n;
    }
    if (n >= 2 && tokens[1][0] == '=') ++tokens[1];
    return n;
}
