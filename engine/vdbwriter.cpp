#include "engine/vdbwriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "engine/tarvo_engine_api.h"
#include "engine/vdbformat.h"

namespace {

struct NamedValue {
    const char* name;
    uint32_t value;
};

const NamedValue kClasses[] = {
    {"marker", TARVO_VDB_CLASS_MARKER},
    {"infected", TARVO_CLASS_INFECTED},
    {"modification", TARVO_CLASS_MODIFICATION},
    {"suspicious", TARVO_CLASS_SUSPICIOUS},
    {"adware", TARVO_CLASS_ADWARE},
    {"dialer", TARVO_CLASS_DIALER},
    {"joke", TARVO_CLASS_JOKE},
    {"riskware", TARVO_CLASS_RISKWARE},
    {"hacktool", TARVO_CLASS_HACKTOOL},
};

const NamedValue kTargets[] = {
    {"file", TARVO_VDB_TARGET_FILE},
    {"boot", TARVO_VDB_TARGET_BOOT},
    {"any", TARVO_VDB_TARGET_FILE | TARVO_VDB_TARGET_BOOT},
};

const NamedValue kCures[] = {
    {"incurable", TARVO_VDB_CURE_NONE},
    {"wipe", TARVO_VDB_CURE_WIPE},
    {"cut", TARVO_VDB_CURE_CUT},
};

const NamedValue kResults[] = {
    {"read-error", TARVO_RESULT_READ_ERROR},
    {"write-error", TARVO_RESULT_WRITE_ERROR},
    {"decompression-error", TARVO_RESULT_DECOMPRESSION_ERROR | TARVO_RESULT_DECOMPRESSION_FATAL},
    {"password", TARVO_RESULT_PASSWORD_PROTECTED},
    {"crc-error", TARVO_RESULT_CRC_ERROR},
    {"header-crc-error", TARVO_RESULT_HEADER_CRC_ERROR},
    {"no-memory", TARVO_RESULT_NO_MEMORY_TO_EXTRACT},
    {"split", TARVO_RESULT_SPLIT_FILE},
    {"container", TARVO_RESULT_CONTAINER},
    {"repeat", TARVO_VDB_MARKER_REPEAT},
    {"refuse", TARVO_VDB_MARKER_REFUSE},
    {"endless", TARVO_VDB_MARKER_ENDLESS},
    {"keep-open", TARVO_VDB_MARKER_KEEP_OPEN},
};

template <size_t N> bool Lookup(const NamedValue (&table)[N], const std::string& word, uint32_t& value) {
    for (const NamedValue& entry : table) {
        if (word == entry.name) {
            value = entry.value;
            return true;
        }
    }
    return false;
}

bool ParseUnsigned(const std::string& text, uint32_t max, uint32_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end || v > max) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool ParseResult(const std::string& text, uint32_t& value) {
    if (ParseUnsigned(text, UINT32_MAX, value)) return value != 0;
    value = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t plus = text.find('+', start);
        std::string word = text.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        uint32_t bits = 0;
        if (!Lookup(kResults, word, bits)) return false;
        value |= bits;
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    return value != 0;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParsePattern(const std::string& text, std::string& bytes) {
    bytes.clear();
    if (text.compare(0, 5, "text:") == 0) {
        bytes = text.substr(5);
    } else if (text.compare(0, 4, "hex:") == 0) {
        int high = -1;
        for (size_t i = 4; i < text.size(); i++) {
            char c = text[i];
            if (c == ' ' || c == '\t') {
                if (high >= 0) return false;
                continue;
            }
            int d = HexDigit(c);
            if (d < 0) return false;
            if (high < 0) {
                high = d;
            } else {
                bytes.push_back(static_cast<char>(high << 4 | d));
                high = -1;
            }
        }
        if (high >= 0) return false;
    } else {
        return false;
    }
    return !bytes.empty() && bytes.size() <= TARVO_VDB_PATTERN_MAX;
}

// Splits off the next blank-separated word; false at the end of the line.
bool NextWord(const std::string& line, size_t& at, std::string& word) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) at++;
    if (at >= line.size()) return false;
    size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') at++;
    word = line.substr(start, at - start);
    return true;
}

// key=value words; a value may be "quoted" to hold blanks.
bool ParseBaseLine(const std::string& line, size_t at, VdbBase& base, std::string& what) {
    for (;;) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) at++;
        if (at >= line.size()) return true;
        size_t eq = line.find('=', at);
        if (eq == std::string::npos) {
            what = "expected key=value";
            return false;
        }
        std::string key = line.substr(at, eq - at);
        std::string value;
        at = eq + 1;
        if (at < line.size() && line[at] == '"') {
            size_t close = line.find('"', at + 1);
            if (close == std::string::npos) {
                what = "unterminated quote";
                return false;
            }
            value = line.substr(at + 1, close - at - 1);
            at = close + 1;
        } else {
            size_t start = at;
            while (at < line.size() && line[at] != ' ' && line[at] != '\t') at++;
            value = line.substr(start, at - start);
        }
        uint32_t n = 0;
        bool ok = true;
        if (key == "title") {
            ok = value.size() < TARVO_VDB_TITLE_SIZE;
            base.title = value;
        } else if (key == "kind") {
            ok = ParseUnsigned(value, 0xFFFF, n), base.kind = static_cast<uint16_t>(n);
        } else if (key == "stamp") {
            ok = ParseUnsigned(value, 0xFFFF, n), base.stamp = static_cast<uint16_t>(n);
        } else if (key == "key3") {
            ok = ParseUnsigned(value, 0xFFFF, n), base.key3 = static_cast<uint16_t>(n);
        } else if (key == "key3b") {
            ok = ParseUnsigned(value, 0x7FFF, n), base.key3b = static_cast<uint16_t>(n);
        } else if (key == "flag") {
            ok = ParseUnsigned(value, 1, n), base.flag = static_cast<uint8_t>(n);
        } else if (key == "key4") {
            ok = ParseUnsigned(value, UINT32_MAX, n), base.key4 = n;
        } else if (key == "daily") {
            ok = ParseUnsigned(value, 1, n), base.daily = static_cast<uint8_t>(n);
        } else if (key == "format") {
            ok = ParseUnsigned(value, 0xFFFF, n), base.format = static_cast<uint16_t>(n);
        } else if (key == "count") {
            ok = ParseUnsigned(value, UINT32_MAX, n), base.count = n, base.countGiven = true;
        } else if (key == "lead") {
            ok = ParseUnsigned(value, 1u << 20, n), base.lead = n;
        } else {
            what = "unknown key " + key;
            return false;
        }
        if (!ok) {
            what = "bad value for " + key;
            return false;
        }
    }
}

bool ParseSignatureLine(const std::string& line, VdbSignature& sig, std::string& what) {
    size_t at = 0;
    std::string cls, name, target, offset, cure;
    if (!NextWord(line, at, cls) || !NextWord(line, at, name) || !NextWord(line, at, target) ||
        !NextWord(line, at, offset) || !NextWord(line, at, cure)) {
        what = "expected CLASS NAME TARGET OFFSET CURE PATTERN";
        return false;
    }
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) at++;
    std::string pattern = line.substr(at);
    while (!pattern.empty() && (pattern.back() == ' ' || pattern.back() == '\t' || pattern.back() == '\r'))
        pattern.pop_back();
    uint32_t v = 0;
    if (!Lookup(kClasses, cls, v)) {
        what = "unknown class " + cls;
        return false;
    }
    sig.cls = static_cast<uint8_t>(v);
    if (name.size() > TARVO_VDB_NAME_MAX) {
        what = "name too long";
        return false;
    }
    sig.name = name;
    if (!Lookup(kTargets, target, v)) {
        what = "unknown target " + target;
        return false;
    }
    sig.targets = static_cast<uint8_t>(v);
    if (offset == "*") {
        sig.offset = TARVO_VDB_ANYWHERE;
    } else if (ParseUnsigned(offset, INT32_MAX, v)) {
        sig.offset = static_cast<int32_t>(v);
    } else {
        what = "bad offset " + offset;
        return false;
    }
    if (sig.cls == TARVO_VDB_CLASS_MARKER) {
        sig.cure = TARVO_VDB_CURE_NONE;
        if (!ParseResult(cure, sig.result)) {
            what = "bad result bits " + cure;
            return false;
        }
    } else if (Lookup(kCures, cure, v)) {
        sig.cure = static_cast<uint8_t>(v);
        sig.result = 0;
    } else {
        what = "unknown cure " + cure;
        return false;
    }
    if (!ParsePattern(pattern, sig.pattern)) {
        what = "bad pattern";
        return false;
    }
    return true;
}

void Put16(std::string& out, size_t at, uint32_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}

void Put32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) out[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}

} // namespace

int ParseSignatureList(const std::string& text, VdbBase& base, std::string& error) {
    std::istringstream in(text);
    std::string line;
    unsigned lineNumber = 0;
    while (std::getline(in, line)) {
        lineNumber++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t at = 0;
        std::string first;
        if (!NextWord(line, at, first) || first[0] == '#') continue;
        std::string what;
        bool ok;
        if (first == "base") {
            ok = ParseBaseLine(line, at, base, what);
        } else {
            VdbSignature sig;
            ok = ParseSignatureLine(line, sig, what);
            if (ok) base.signatures.push_back(sig);
        }
        if (!ok) {
            error = "line " + std::to_string(lineNumber) + ": " + what;
            return -1;
        }
    }
    return 0;
}

std::string BuildBaseImage(const VdbBase& base) {
    std::string body;
    for (const VdbSignature& sig : base.signatures) {
        size_t at = body.size();
        size_t size = TARVO_VDB_RECORD_FIXED + sig.name.size() + sig.pattern.size();
        body.append(TARVO_VDB_RECORD_FIXED, '\0');
        Put16(body, at, static_cast<uint32_t>(size));
        body[at + 2] = static_cast<char>(sig.cls);
        body[at + 3] = static_cast<char>(sig.targets);
        body[at + 4] = static_cast<char>(sig.cure);
        body[at + 5] = static_cast<char>(sig.name.size());
        Put16(body, at + 6, static_cast<uint32_t>(sig.pattern.size()));
        Put32(body, at + 8, static_cast<uint32_t>(sig.offset));
        Put32(body, at + 12, sig.result);
        body += sig.name;
        for (char c : sig.pattern)
            body.push_back(static_cast<char>(static_cast<uint8_t>(c) ^ TARVO_VDB_PATTERN_MASK));
    }
    uint32_t hash = TARVO_VDB_FNV_OFFSET;
    for (char c : body) hash = (hash ^ static_cast<uint8_t>(c)) * TARVO_VDB_FNV_PRIME;

    std::string header(TARVO_BASE_HEADER_SIZE, '\0');
    std::memcpy(&header[0], TARVO_BASE_MARKER, 4);
    Put16(header, TARVO_VDB_OFFSET_FORMAT, base.format);
    Put16(header, TARVO_VDB_OFFSET_HEADER_SIZE, TARVO_BASE_HEADER_SIZE);
    Put32(header, TARVO_VDB_OFFSET_BODY_SIZE, static_cast<uint32_t>(body.size()));
    Put32(header, TARVO_VDB_OFFSET_CHECKSUM, hash);
    std::memcpy(&header[TARVO_VDB_OFFSET_TITLE], base.title.data(),
                std::min<size_t>(base.title.size(), TARVO_VDB_TITLE_SIZE - 1));
    std::memcpy(&header[TARVO_BASE_OFFSET_CHECK], TARVO_BASE_CHECK, 4);
    header[TARVO_BASE_OFFSET_DAILY] = static_cast<char>(base.daily);
    Put32(header, TARVO_BASE_OFFSET_RECORD_COUNT,
          base.countGiven ? base.count : static_cast<uint32_t>(base.signatures.size()));
    Put16(header, TARVO_BASE_OFFSET_KIND, base.kind);
    Put16(header, TARVO_BASE_OFFSET_STAMP, base.stamp);
    Put16(header, TARVO_BASE_OFFSET_KEY3, base.key3);
    Put16(header, TARVO_BASE_OFFSET_KEY3B, (base.key3b & 0x7FFFu) | (base.flag ? 0x8000u : 0u));
    Put32(header, TARVO_BASE_OFFSET_KEY4, base.key4);
    return std::string(base.lead, '\0') + header + body;
}

int WriteBaseFile(const std::string& path, const VdbBase& base, std::string& error) {
    std::string image = BuildBaseImage(base);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        error = path + ": " + std::strerror(errno);
        return -1;
    }
    bool ok = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    if (std::fclose(out) != 0) ok = false;
    if (!ok) {
        error = path + ": write failed";
        std::remove(path.c_str());
        return -1;
    }
    return 0;
}
