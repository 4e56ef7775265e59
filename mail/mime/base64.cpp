#include "mail/mime/base64.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

#if defined(__i386__) || defined(__x86_64__)
#include <tmmintrin.h>
#endif

#include "mail/mime/codectables.h"

using mime_codec::kBase64Alphabet;
using mime_codec::kBase64Fill;
using mime_codec::kBase64Values;

namespace {

// A full line: 19 groups of 3 bytes make 76 characters.
constexpr size_t kGroupsPerLine = 19;

// Two symbols for each 12-bit value, as they lie in memory: a group of 3 bytes takes two lookups
// and one store.
struct PairTable {
    uint16_t pair[4096];
};
constexpr PairTable MakePairTable() {
    PairTable t{};
    for (int v = 0; v < 4096; ++v) {
        const auto first = static_cast<uint8_t>(kBase64Alphabet[v >> 6]);
        const auto second = static_cast<uint8_t>(kBase64Alphabet[v & 63]);
        t.pair[v] = static_cast<uint16_t>(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? first | second << 8
                                                                                    : first << 8 | second);
    }
    return t;
}
constexpr PairTable kPairs = MakePairTable();

inline char* EncodeGroup(char* out, const unsigned char* in) {
    const uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
    const uint32_t high = kPairs.pair[v >> 12];
    const uint32_t low = kPairs.pair[v & 0xFFF];
    const uint32_t symbols = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? high | low << 16 : high << 16 | low;
    memcpy(out, &symbols, 4);
    return out + 4;
}

// The one or two bytes left after the full groups, filled up with '='.
inline char* EncodeTail(char* out, const unsigned char* in, size_t left) {
    const uint32_t v = (uint32_t{in[0]} << 16) | (left == 2 ? uint32_t{in[1]} << 8 : 0);
    out[0] = kBase64Alphabet[v >> 18];
    out[1] = kBase64Alphabet[(v >> 12) & 63];
    out[2] = left == 2 ? kBase64Alphabet[(v >> 6) & 63] : '=';
    out[3] = '=';
    return out + 4;
}

// Room for count more characters at the end of text: where they go. Made a block at a time, just
// before the block is written, so that the zeroes of the room are still in the cache when they are
// overwritten; the text was reserved whole, so it never moves.
inline char* MakeRoom(std::string& text, size_t count) {
    const size_t used = text.size();
    text.resize(used + count);
    return &text[used];
}

// Blocks of whole lines: 64 lines, 3648 bytes in, 4992 characters out.
constexpr size_t kBlockGroups = 64 * kGroupsPerLine;

// count groups from in, in lines of kGroupsPerLine groups ended by CR LF when lines is set; the last
// line may be short and has no line end.
char* EncodeBlock(char* out, const unsigned char* in, size_t count, bool lines) {
    size_t g = 0;
    if (lines)
        for (; g + kGroupsPerLine <= count; g += kGroupsPerLine) {
            for (size_t i = 0; i < kGroupsPerLine; ++i, in += 3) out = EncodeGroup(out, in);
            out[0] = '\r';
            out[1] = '\n';
            out += 2;
        }
    for (; g < count; ++g, in += 3) out = EncodeGroup(out, in);
    return out;
}

#if defined(__i386__) || defined(__x86_64__)

// Where the processor shuffles bytes (SSSE3), four groups make sixteen characters in one step.
// Read before the look-up has run (from another file's static initialisation), it is false and the
// plain path answers the same.
const bool kFourGroupsAStep = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
}();

// The sixteen characters of the four groups at in; reads sixteen bytes, uses twelve.
__attribute__((target("ssse3"))) inline void EncodeFourGroups(char* out, const unsigned char* in) {
    // Each group a, b, c in a 32-bit lane as the bytes b, a, c, b: its low half holds a:b, where the
    // first two symbols are bits 15-10 and 9-4, and its high half b:c, where the last two are bits
    // 11-6 and 5-0.
    const __m128i bytes = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)),
                                           _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    // Each symbol's six bits moved into its own byte: a multiply by a power of two shifts each
    // 16-bit half by its own amount, the high product to the right, the low one to the left.
    const __m128i firstAndThird =
        _mm_mulhi_epu16(_mm_and_si128(bytes, _mm_set1_epi32(0x0FC0FC00)), _mm_set1_epi32(0x04000040));
    const __m128i secondAndFourth =
        _mm_mullo_epi16(_mm_and_si128(bytes, _mm_set1_epi32(0x003F03F0)), _mm_set1_epi32(0x01000010));
    const __m128i values = _mm_or_si128(firstAndThird, secondAndFourth);
    // Value to symbol by the distance from one to the other, the same within each run of the
    // alphabet: 0-25 'A'..., 26-51 'a'..., 52-61 '0'..., 62 '+', 63 '/'. Which run: 0 for 26-51,
    // 1-12 for 52 and above, 13 for 0-25.
    const __m128i below26 = _mm_cmpgt_epi8(_mm_set1_epi8(26), values);
    const __m128i run =
        _mm_or_si128(_mm_subs_epu8(values, _mm_set1_epi8(51)), _mm_and_si128(below26, _mm_set1_epi8(13)));
    const __m128i distance =
        _mm_shuffle_epi8(_mm_setr_epi8(71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0), run);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_add_epi8(values, distance));
}

// EncodeBlock four groups a step, where sixteen bytes can be read before end.
__attribute__((target("ssse3"))) char* EncodeBlockFourGroupsAStep(char* out, const unsigned char* in,
                                                                  size_t count, bool lines,
                                                                  const unsigned char* end) {
    size_t g = 0;
    // A line is 19 groups: four steps, then a fifth over its last four groups (the 16th again),
    // where its sixteen bytes can be read.
    if (lines)
        for (; g + kGroupsPerLine <= count && end - in >= 45 + 16; g += kGroupsPerLine) {
            for (size_t step = 0; step < 4; ++step) EncodeFourGroups(out + 16 * step, in + 12 * step);
            EncodeFourGroups(out + 60, in + 45);
            in += 3 * kGroupsPerLine;
            out[76] = '\r';
            out[77] = '\n';
            out += 78;
        }
    if (!lines)
        for (; g + 4 <= count && end - in >= 16; g += 4, in += 12, out += 16) EncodeFourGroups(out, in);
    return EncodeBlock(out, in, count - g, lines);
}

#endif

int Encode(const std::string& input, std::string& output, bool lines) {
    const size_t n = input.size();
    const size_t groups = n / 3;
    const size_t left = n % 3;
    size_t length = 4 * groups + (left ? 4 : 0);
    if (lines) length += 2 * (groups / kGroupsPerLine) + 2;
    std::string result;
    try {
        result.reserve(length);
    } catch (const std::exception&) {
        return -1;
    }
    const unsigned char* in = reinterpret_cast<const unsigned char*>(input.data());
    const unsigned char* end = in + n;
    for (size_t done = 0; done < groups;) {
        const size_t count = groups - done < kBlockGroups ? groups - done : kBlockGroups;
        char* out = MakeRoom(result, 4 * count + (lines ? 2 * (count / kGroupsPerLine) : 0));
#if defined(__i386__) || defined(__x86_64__)
        if (kFourGroupsAStep)
            EncodeBlockFourGroupsAStep(out, in, count, lines, end);
        else
#endif
            EncodeBlock(out, in, count, lines);
        in += 3 * count;
        done += count;
    }
    if (left || lines) {
        char* out = MakeRoom(result, (left ? 4 : 0) + (lines ? 2 : 0));
        if (left) out = EncodeTail(out, in, left);
        if (lines) {
            out[0] = '\r';
            out[1] = '\n';
        }
    }
    output = std::move(result);
    return 0;
}

// The decoding table spread over four positions of a group: the values of four symbols OR-ed
// together give the 24 bits of the group, and any byte outside the alphabet (the fill character
// included) sets kBad, so that a group of four plain symbols costs one test.
constexpr uint32_t kBad = 0x01000000;
struct GroupTables {
    uint32_t at[4][256];
};
constexpr GroupTables MakeGroupTables() {
    GroupTables t{};
    for (int c = 0; c < 256; ++c) {
        const uint8_t v = kBase64Values[c];
        for (int i = 0; i < 4; ++i) t.at[i][c] = v < 64 ? uint32_t{v} << (18 - 6 * i) : kBad;
    }
    return t;
}
constexpr GroupTables kGroup = MakeGroupTables();

inline bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t';
}
inline bool IsLineEndOrBlank(const unsigned char* p, const unsigned char* end) {
    return p == end || IsBlank(*p) || *p == '\r' || *p == '\n';
}
// ASCII comparison without case, independent of the locale.
bool StartsNoCase(const unsigned char* p, const unsigned char* end, const char* word) {
    for (; *word; ++p, ++word) {
        if (p == end) return false;
        unsigned char c = *p;
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + ('a' - 'A'));
        if (c != static_cast<unsigned char>(*word)) return false;
    }
    return true;
}

// A uuencode-style header line: "begin", blanks and an octal mode, or "begin-base64". A data line
// whose symbols merely spell "begin..." is data: skipping it would hide up to 57 bytes.
bool IsBeginLine(const unsigned char* p, const unsigned char* end) {
    if (!StartsNoCase(p, end, "begin")) return false;
    p += 5;
    if (StartsNoCase(p, end, "-base64")) return IsLineEndOrBlank(p + 7, end);
    if (p == end || !IsBlank(*p)) return false;
    while (p != end && IsBlank(*p)) ++p;
    if (p == end || *p < '0' || *p > '7') return false;
    while (p != end && *p >= '0' && *p <= '7') ++p;
    return IsLineEndOrBlank(p, end);
}

class Output {
public:
    Output(unsigned char* base, bool collapseCr) : base_(base), out_(base), collapseCr_(collapseCr) {}
    void Put(unsigned char byte) {
        if (collapseCr_ && byte == '\r' && out_ != base_ && out_[-1] == '\r') return;
        *out_++ = byte;
    }
    // The 24 bits of a group as three bytes.
    void PutGroup(uint32_t v) {
        const unsigned char b0 = static_cast<unsigned char>(v >> 16);
        const unsigned char b1 = static_cast<unsigned char>(v >> 8);
        const unsigned char b2 = static_cast<unsigned char>(v);
        if (collapseCr_ && (b0 == '\r' || b1 == '\r' || b2 == '\r')) {
            Put(b0);
            Put(b1);
            Put(b2);
            return;
        }
        out_[0] = b0;
        out_[1] = b1;
        out_[2] = b2;
        out_ += 3;
    }
    size_t Length() const { return static_cast<size_t>(out_ - base_); }

private:
    unsigned char* base_;
    unsigned char* out_;
    bool collapseCr_;
};

} // namespace

int Base64Encode(const std::string& input, std::string& output) {
    return Encode(input, output, true);
}

int Base64EncodeWord(const std::string& input, std::string& output) {
    return Encode(input, output, false);
}

int Base64Decode(std::string_view input, std::string& output, bool collapseCr) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(input.data());
    const unsigned char* const end = p + input.size();
    while (p != end && (*p == '\r' || *p == '\n')) ++p;
    if (IsBeginLine(p, end)) {
        const void* lf = memchr(p, '\n', static_cast<size_t>(end - p));
        p = lf ? static_cast<const unsigned char*>(lf) + 1 : end;
    }
    // Every 3 bytes of output need 4 symbols, and a short group at the end 2 or 3 for 1 or 2. Without
    // the memory for them std::bad_alloc goes to the caller: a part that was not decoded must not
    // pass for one that decoded to nothing.
    std::string result;
    result.resize(3 * (static_cast<size_t>(end - p) / 4) + 3);
    Output out(reinterpret_cast<unsigned char*>(&result[0]), collapseCr);
    // As mail readers decode: bytes outside the alphabet are passed over, a fill character counts
    // only where it completes a group, and data after such a group (pieces of base64 put together)
    // is decoded too, so that no reader sees bytes that were not scanned.
    int error = 0;
    uint32_t bits = 0;
    int count = 0;
    int fills = 0;
    bool filled = false;
    while (p != end) {
        if (count == 0) {
            const unsigned char* const from = p;
            while (end - p >= 4) {
                const uint32_t v =
                    kGroup.at[0][p[0]] | kGroup.at[1][p[1]] | kGroup.at[2][p[2]] | kGroup.at[3][p[3]];
                if (v & kBad) break;
                out.PutGroup(v);
                p += 4;
            }
            if (p != from && filled) {
                error = 1;
                filled = false;
                fills = 0;
            }
            if (p == end) break;
        }
        const unsigned char c = *p++;
        const uint8_t value = kBase64Values[c];
        if (value < 64) {
            if (filled) error = 1;
            filled = false;
            fills = 0;
            bits |= uint32_t{value} << (18 - 6 * count);
            if (++count == 4) {
                out.PutGroup(bits);
                bits = 0;
                count = 0;
            }
        } else if (value == kBase64Fill) {
            if (count >= 2 && count + ++fills >= 4) {
                out.Put(static_cast<unsigned char>(bits >> 16));
                if (count == 3) out.Put(static_cast<unsigned char>(bits >> 8));
                bits = 0;
                count = 0;
                fills = 0;
                filled = true;
            }
        } else if (c != '\r' && c != '\n' && c != ' ' && c != '\t' && c != '!') {
            error = 1;
        }
    }
    // A group cut short: two or three symbols still hold one or two whole bytes.
    if (count >= 2) {
        out.Put(static_cast<unsigned char>(bits >> 16));
        if (count == 3) out.Put(static_cast<unsigned char>(bits >> 8));
    }
    result.resize(out.Length());
    output = std::move(result);
    return error ? -1 : 0;
}

int Base64Decode(const std::string& input, std::string& output, bool collapseCr) {
    return Base64Decode(std::string_view(input), output, collapseCr);
}
