#include "shell/scan/dirname.h"

#include <cstring>

namespace {

char* Put(char* out, size_t outSize, const char* text, size_t len) {
    if (!out || outSize == 0) return out;
    if (len > outSize - 1) len = outSize - 1;
    std::memcpy(out, text, len);
    out[len] = '\0';
    return out;
}

} // namespace

char* DirNameOf(const char* path, char* out, size_t outSize) {
    if (!path || !*path) return Put(out, outSize, "", 0);
    size_t end = std::strlen(path);
    while (end > 0 && path[end - 1] == '/') --end;
    if (end == 0) return Put(out, outSize, "/", 1);
    while (end > 0 && path[end - 1] != '/') --end;
    if (end == 0) return Put(out, outSize, ".", 1);
    while (end > 0 && path[end - 1] == '/') --end;
    if (end == 0) return Put(out, outSize, "/", 1);
    return Put(out, outSize, path, end);
}
