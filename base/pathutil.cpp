#include "base/pathutil.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

char programPath[kPathBufSize];

bool NameExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

char* StoreResult(const std::string& s, char* dst) {
    if (s.size() > kPathMax) {
        dst[0] = '\0';
        return nullptr;
    }
    memcpy(dst, s.c_str(), s.size() + 1);
    return dst;
}

std::string Canonical(const std::string& src) {
    std::string out;
    if (!src.empty() && src[0] == '/') {
        out = "/";
    } else {
        char cwd[kPathBufSize];
        out = getcwd(cwd, sizeof cwd) ? cwd : ".";
    }
    size_t pos = 0;
    while (pos <= src.size()) {
        size_t end = src.find('/', pos);
        if (end == std::string::npos) end = src.size();
        std::string comp = src.substr(pos, end - pos);
        pos = end + 1;
        if (comp.empty() || comp == ".") continue;
        if (comp == "..") {
            size_t cut = out.rfind('/');
            if (cut == 0)
                out = "/";
            else if (cut != std::string::npos)
                out.erase(cut);
            continue;
        }
        if (out.back() != '/') out += '/';
        out += comp;
    }
    return out;
}

void SqueezeSlashes(std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != '/' || out.empty() || out.back() != '/') out += c;
    s.swap(out);
}

} // namespace

int SetProgramPath(const char* path) {
    if (!path || strlen(path) > kPathMax) {
        programPath[0] = '\0';
        return -1;
    }
    CopyPathBuffer(programPath, path);
    return 0;
}

const char* ProgramPath() {
    return programPath;
}

char* CopyPathBuffer(char* dst, const char* src) {
    // Only the text and its terminator: paths are copied several times an object. (memchr stops at the
    // terminator as strnlen does, in fewer steps.)
    const void* end = src ? memchr(src, '\0', kPathMax) : nullptr;
    const size_t n = !src ? 0 : end ? static_cast<size_t>(static_cast<const char*>(end) - src) : kPathMax;
    return CopyPathBuffer(dst, src ? src : "", n);
}

char* CanonicalPath(const char* src, char* dst) {
    return StoreResult(Canonical(src ? src : ""), dst);
}

char* ExpandPath(const char* src, char* dst, int relative) {
    if (!dst) return nullptr;
    if (!src) {
        dst[0] = '\0';
        return dst;
    }
    std::string path = src;
    bool canonical = true;
    if (src[0] == '~') {
        const char* rest = strchr(src, '/');
        std::string user = rest ? std::string(src + 1, rest) : std::string(src + 1);
        if (!rest) rest = "";
        if (user.empty()) {
            if (const char* home = getenv("HOME")) path = std::string(home) + rest;
        } else if (const struct passwd* pw = getpwnam(user.c_str())) {
            if (pw->pw_dir) path = std::string(pw->pw_dir) + rest;
        }
    } else if (relative && src[0] != '/' && src[0] != '.') {
        const char* slash = strrchr(programPath, '/');
        // Without a folder in the program's path, the current one is meant.
        if (slash) {
            path.assign(programPath, static_cast<size_t>(slash + 1 - programPath));
            path += src;
            canonical = false;
        }
    }
    if (canonical) path = Canonical(path);
    SqueezeSlashes(path);
    return StoreResult(path, dst);
}

int MakeDir700(const char* path) {
    return mkdir(path, 0700);
}

int MakeDirs(const char* path) {
    if (!path || !*path || strlen(path) > kPathMax) return 0;
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (NameExists(p)) return IsDirectory(p) ? 1 : 0;
    // Parents first, from the top; a relative path starts in the current folder.
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i < p.size() && p[i] != '/') continue;
        if (p[i - 1] == '/') continue;
        std::string part = p.substr(0, i);
        if (IsDirectory(part)) continue;
        // Another process may create the same folder at the same moment.
        if (mkdir(part.c_str(), 0300) != 0 && !(errno == EEXIST && IsDirectory(part))) return 0;
    }
    return 1;
}

char* MakeUniquePath(char* path) {
    if (!path) return nullptr;
    std::string cand = path;
    if (!NameExists(cand)) return path;
    size_t baseOff = cand.rfind('/');
    baseOff = baseOff == std::string::npos ? 0 : baseOff + 1;
    size_t dot = cand.rfind('.');
    size_t stem = (dot == std::string::npos || dot < baseOff) ? cand.size() - baseOff : dot - baseOff;
    if (stem < 8) {
        cand.insert(baseOff + stem, 8 - stem, '_');
        stem = 8;
    }
    if (cand.size() > kPathMax) return nullptr;
    for (size_t pos = baseOff + stem; pos-- > baseOff;) {
        for (char d = '0'; d <= '9'; ++d) {
            cand[pos] = d;
            if (!NameExists(cand)) {
                memcpy(path, cand.c_str(), cand.size() + 1);
                return path;
            }
        }
    }
    return nullptr;
}

int32_t ParseNumber(const char* str, int allowMinus) {
    if (!str) return -1;
    const char* digits = (allowMinus && *str == '-') ? str + 1 : str;
    for (const char* q = digits; *q; ++q)
        if (*q < '0' || *q > '9') return -1;
    errno = 0;
    long long v = strtoll(str, nullptr, 10);
    if (errno == ERANGE || v >= INT32_MAX || v < INT32_MIN) return -1;
    return static_cast<int32_t>(v);
}

char* FormatUInt(uint32_t value, char* buf) {
    char tmp[16];
    size_t n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    for (size_t i = 0; i < n; ++i) buf[i] = tmp[n - 1 - i];
    buf[n] = '\0';
    return buf;
}

char* FormatIPv4(uint32_t address, char* buf, size_t size, unsigned int port) {
    unsigned long a = (address >> 24) & 0xFF, b = (address >> 16) & 0xFF, c = (address >> 8) & 0xFF,
                  d = address & 0xFF;
    if (port)
        snprintf(buf, size, "%lu.%lu.%lu.%lu:%u", a, b, c, d, port);
    else
        snprintf(buf, size, "%lu.%lu.%lu.%lu", a, b, c, d);
    return buf;
}
