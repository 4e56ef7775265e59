#include "shell/scan/objectnames.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/pathutil.h"
#include "base/strutil.h"

namespace {

// Names of the unique-name scheme tried before the counter takes over.
constexpr uint32_t kUniqueNameTries = 10;
// Counter suffixes tried after them.
constexpr uint32_t kCounterTries = 100000;

} // namespace

int MakeRenamedName(const char* path, const char* pattern, char* out, size_t outSize) {
    if (!path || !pattern || !out || outSize == 0) return -1;
    const char* slash = std::strrchr(path, '/');
    const char* base = slash ? slash + 1 : path;
    const char* dot = std::strrchr(base, '.');
    size_t stemLen = dot ? static_cast<size_t>(dot - path) : std::strlen(path);
    const char* ext = dot ? dot + 1 : "";
    size_t extLen = std::strlen(ext);

    std::string name(path, stemLen);
    name += '.';
    for (size_t i = 0; pattern[i]; ++i) {
        if (pattern[i] != '?')
            name += pattern[i];
        else if (i < extLen)
            name += ext[i];
        else
            break;
    }
    if (name.size() >= outSize) return -1;
    std::memcpy(out, name.c_str(), name.size() + 1);
    return 0;
}

int MakeMoveTarget(const char* folder, const char* path, char* out) {
    if (!folder || !path || !out) return -1;
    const char* slash = std::strrchr(path, '/');
    const char* base = slash ? slash + 1 : path;
    if (!*base) return -1;
    std::string target = folder;
    target += '/';
    target += base;
    if (target.size() > kPathMax) return -1;
    std::memcpy(out, target.c_str(), target.size() + 1);
    SqueezeChar(out, '/');
    return 0;
}

int TryUniqueNames(const std::string& wanted, const std::function<int(const char*)>& attempt,
                   std::string* chosen) {
    if (wanted.empty() || wanted.size() > kPathMax) return -1;
    char name[kPathBufSize];
    for (uint32_t tries = 0; tries < kUniqueNameTries; ++tries) {
        CopyPathBuffer(name, wanted.c_str());
        // The scheme runs out of names after 81 of them.
        if (!MakeUniquePath(name)) break;
        if (attempt(name) == 0) {
            if (chosen) *chosen = name;
            return 0;
        }
        if (errno != EEXIST) return -1;
    }
    for (uint32_t n = 1; n <= kCounterTries; ++n) {
        const std::string candidate = wanted + '.' + std::to_string(n);
        if (candidate.size() > kPathMax) return -1;
        if (attempt(candidate.c_str()) == 0) {
            if (chosen) *chosen = candidate;
            return 0;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}
