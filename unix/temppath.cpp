#include "unix/temppath.h"

#include <cstring>

#include "base/pathutil.h"
#include "unix/daemonsettings.h"

static_assert(sizeof TempPath == kPathBufSize && sizeof SpoolPath == kPathBufSize, "path buffers");

int ApplyTempPath() {
    if (!TempPath[0]) memcpy(TempPath, SpoolPath, sizeof TempPath);
    char expanded[kPathBufSize];
    if (ExpandPath(TempPath, expanded, 1) && expanded[0] && MakeDirs(expanded)) {
        memcpy(SpoolPath, expanded, sizeof SpoolPath);
        return 1;
    }
    strcpy(SpoolPath, "/tmp");
    return 0;
}
