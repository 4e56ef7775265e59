#include "unix/pool/busyfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/pathutil.h"
#include "unix/config/daemonsettings.h"

int IsBusyFileName(const char* name, const char* busyBase) {
    const size_t baseLength = strlen(busyBase);
    if (baseLength == 0 || strncmp(name, busyBase, baseLength) != 0 || name[baseLength] != '.') return 0;
    const char* digits = name + baseLength + 1;
    if (*digits == '\0') return 0;
    for (const char* p = digits; *p; ++p)
        if (*p < '0' || *p > '9') return 0;
    return 1;
}

int RemoveBusyFiles(const char* busyFilePath) {
    if (busyFilePath == nullptr || busyFilePath[0] == '\0') return 0;
    const char* slash = strrchr(busyFilePath, '/');
    const std::string folder = slash == nullptr        ? std::string(".")
                               : slash == busyFilePath ? std::string("/")
                                                       : std::string(busyFilePath, slash);
    const char* base = slash == nullptr ? busyFilePath : slash + 1;
    if (*base == '\0') return 0;
    const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return 0;
    DIR* dir = fdopendir(dirFd);
    if (dir == nullptr) {
        close(dirFd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        if (!IsBusyFileName(entry->d_name, base)) continue;
        // Judged and removed relative to the folder opened above, the entry itself and never what a
        // link points to.
        struct stat st;
        if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) continue;
        if (unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
    }
    closedir(dir);
    return removed;
}

void RemoveStaleBusyFiles() {
    if (BusyFile[0] == '\0') return;
    char path[kPathBufSize];
    if (ExpandPath(BusyFile, path, 0) == nullptr || path[0] == '\0') return;
    RemoveBusyFiles(path);
}
