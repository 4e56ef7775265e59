#include "shell/settings/filefilter.h"

#include <sys/stat.h>

#include <cstring>

#include "base/wildmatch.h"
#include "shell/settings/defaultextensions.h"
#include "shell/settings/filesignatures.h"
#include "shell/host/objectaccess.h"
#include "shell/settings/scansettings.h"

namespace {

// The text after the last of any of seps, or the whole name.
const char* AfterLast(const char* name, const char* seps) {
    const char* rest = name;
    for (const char* p = name; *p; ++p)
        if (std::strchr(seps, *p)) rest = p + 1;
    return rest;
}

// The extension of the last path component, or null when it has none.
const char* ExtensionOf(const char* name) {
    const char* dot = std::strrchr(AfterLast(name, "/\\"), '.');
    return dot ? dot + 1 : nullptr;
}

int FilterByContent(const char* name, uint64_t size, const uint8_t* header, size_t headerLen) {
    const char* ext = ExtensionOf(name);
    if (ext && *ext && MatchesDefaultExtension(ext)) return 1;

    uint8_t buf[kContentHeaderSize];
    const uint8_t* data = header;
    size_t len = headerLen;
    if (data) {
        if (len > kContentHeaderSize) len = kContentHeaderSize;
    } else {
        const ObjectAccess& access = ShellObjectAccess;
        // Opening a FIFO or a device would block or never end; what is not
        // a regular file is left to the file-type check, which skips it.
        struct stat st;
        bool inMemory = access.isMemoryObject && access.isMemoryObject(name);
        if (!inMemory && stat(name, &st) == 0 && !S_ISREG(st.st_mode)) return 1;
        int handle = access.open(name);
        if (handle == -1) return 1;
        int32_t got = access.read(handle, buf, sizeof(buf));
        if (got >= 0 && size == 0) {
            int64_t length = access.length(handle);
            if (length > 0) size = static_cast<uint64_t>(length);
        }
        access.close(handle);
        if (got < 0) return 1;
        data = buf;
        len = static_cast<size_t>(got);
        // Still unknown: what was read is all there is to go by.
        if (size == 0) size = len;
    }
    return ContentWorthScanning(data, len, size);
}

} // namespace

bool MatchMasks(TarvoMainSettings& settings, const char* name, int mode) {
    if (!name) return false;
    if (mode == 3) {
        const char* base = std::strrchr(name, '\\');
        base = base ? base + 1 : AfterLast(name, "/");
        return settings.MatchNameMask(base);
    }
    const char* ext = ExtensionOf(name);
    if (!ext) return false;
    if (mode == 0) return settings.MatchTypeMask(ext);
    return MatchesDefaultExtension(ext);
}

int FilterFile(TarvoMainSettings& settings, const char* ownMask, const char* name, uint64_t size,
               const uint8_t* header, size_t headerLen) {
    if (!name) return 1;
    switch (settings.word[kFilterModeWord]) {
    case kFilterAll:
        return 1;
    case kFilterByType:
        return MatchMasks(settings, name, 0) ? 1 : 0;
    case kFilterByContent:
        return FilterByContent(name, size, header, headerLen);
    default:
        if (!ownMask) return MatchMasks(settings, name, 3) ? 1 : 0;
        return WildMatch(AfterLast(name, ":\\/"), ownMask) ? 1 : 0;
    }
}
