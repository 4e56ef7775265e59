#include "unix/daemon/temppath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "base/logwriter.h"
#include "base/pathutil.h"
#include "unix/config/daemonsettings.h"

static_assert(sizeof TempPath == kPathBufSize && sizeof SpoolPath == kPathBufSize, "path buffers");

namespace {

// The folders the last ApplyTempPath made itself, parents first.
std::vector<std::string> CreatedFolders;

// The folders of path, parents first, that do not exist yet.
std::vector<std::string> MissingFolders(const std::string& path) {
    std::vector<std::string> missing;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        if (path[i - 1] == '/') continue;
        std::string part = path.substr(0, i);
        struct stat st;
        if (lstat(part.c_str(), &st) != 0) missing.push_back(part);
    }
    return missing;
}

} // namespace

int ApplyTempPath() {
    CreatedFolders.clear();
    if (!TempPath[0]) memcpy(TempPath, SpoolPath, sizeof TempPath);
    char expanded[kPathBufSize];
    if (ExpandPath(TempPath, expanded, 1) && expanded[0]) {
        std::vector<std::string> missing = MissingFolders(expanded);
        if (MakeDirs(expanded)) {
            CreatedFolders = std::move(missing);
            memcpy(SpoolPath, expanded, sizeof SpoolPath);
            return 1;
        }
    }
    strcpy(SpoolPath, "/tmp");
    return 0;
}

void HandOverTempFolders(uid_t uid, gid_t gid, int (*chownFolder)(const char*, uid_t, gid_t)) {
    for (const std::string& folder : CreatedFolders) {
        if (chownFolder(folder.c_str(), uid, gid) != 0) {
            PrintMessage("'chown' failed for '%s' - %s", folder.c_str(), strerror(errno));
            EndMessageLine(0);
        }
    }
}

int CheckTempPathWritable() {
    if (access(SpoolPath, W_OK | X_OK) == 0) return 1;
    PrintMessage("Warning: the folder for temporary files '%s' cannot be written - %s: objects too big for "
                 "memory cannot be scanned",
                 SpoolPath, strerror(errno));
    EndMessageLine(0);
    return 0;
}
