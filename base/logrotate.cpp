// Start-up housekeeping of the log file: deletion and rotation to ".bak".
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/logwriter.h"
#include "base/pathutil.h"

namespace {

// The log file's expanded path; false in syslog mode or when there is none.
bool ExpandedLogPath(char* path) {
    if (LogToSyslog || !LogFileName[0]) return false;
    return ExpandPath(LogFileName, path, 0) != nullptr && path[0];
}

} // namespace

int LogBackupName(const char* path, char* out, size_t size) {
    if (!path || !out || size == 0) return -1;
    size_t length = std::strlen(path);
    // The extension starts at the last '.' of the last component.
    size_t stem = length;
    for (size_t i = length; i > 0; --i) {
        char c = path[i - 1];
        if (c == '/' || c == ':') break;
        if (c == '.') {
            stem = i - 1;
            break;
        }
    }
    static const char kBak[] = ".bak";
    if (stem + sizeof kBak > size) {
        out[0] = '\0';
        return -1;
    }
    std::memmove(out, path, stem);
    std::memcpy(out + stem, kBak, sizeof kBak);
    return 0;
}

void RotateLogFile() {
    FlushLogLine();
    if (!LimitLog) return;
    char path[kPathBufSize];
    if (!ExpandedLogPath(path)) return;
    // stat rather than open: opening a log path that names a FIFO would hang
    // the start.
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (static_cast<long long>(st.st_size) / 1024 < MaxLogSize) return;
    char backup[kPathBufSize];
    if (LogBackupName(path, backup, sizeof backup) != 0) return;
    struct stat old;
    if (lstat(backup, &old) == 0) {
        // Only an old backup file is replaced, never a folder or a link.
        if (!S_ISREG(old.st_mode)) return;
        if (unlink(backup) != 0) return;
    } else if (errno != ENOENT) {
        return;
    }
    std::rename(path, backup);
}

void DeleteLogFile() {
    char path[kPathBufSize];
    struct stat st;
    if (ExpandedLogPath(path) && lstat(path, &st) == 0 && S_ISREG(st.st_mode)) unlink(path);
    FlushLogLine();
}
