// Start-up housekeeping of the log file: deletion and rotation to ".bak".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/logwriter.h"
#include "base/filelayer.h"
#include "base/pathutil.h"

namespace {

// The log file's expanded path; false in syslog mode or when there is none.
bool ExpandedLogPath(char* path) {
    if (LogToSyslog || !LogFileName[0]) return false;
    return ExpandPath(LogFileName, path, 0) != nullptr && path[0];
}

// The log file as it was when an overwrite was put off: what lies before end goes.
struct OverwriteMark {
    bool set = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t end = 0;
};
OverwriteMark PendingOverwrite;

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

void MarkLogForOverwrite() {
    FlushLogLine();
    PendingOverwrite = OverwriteMark{};
    PendingOverwrite.set = true;
    char path[kPathBufSize];
    struct stat st;
    if (ExpandedLogPath(path) && lstat(path, &st) == 0 && S_ISREG(st.st_mode)) {
        PendingOverwrite.device = st.st_dev;
        PendingOverwrite.inode = st.st_ino;
        PendingOverwrite.end = st.st_size;
    }
}

bool LogOverwritePending() {
    return PendingOverwrite.set;
}

void OverwriteMarkedLog() {
    FlushLogLine();
    const OverwriteMark mark = PendingOverwrite;
    PendingOverwrite = OverwriteMark{};
    if (!mark.set || mark.end == 0) return;
    char path[kPathBufSize];
    if (!ExpandedLogPath(path)) return;
    // Rewritten in place: the folder may not be writable by the user the daemon now runs as.
    const int fd = FileOpen(path, O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0) return;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == mark.device && st.st_ino == mark.inode &&
        st.st_size >= mark.end) {
        std::string kept(static_cast<size_t>(st.st_size - mark.end), '\0');
        size_t got = 0;
        while (got < kept.size()) {
            const ssize_t n = pread(fd, &kept[got], kept.size() - got, mark.end + static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        kept.resize(got);
        size_t put = 0;
        while (put < kept.size()) {
            const ssize_t n = pwrite(fd, kept.data() + put, kept.size() - put, static_cast<off_t>(put));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            put += static_cast<size_t>(n);
        }
        if (put == kept.size() && ftruncate(fd, static_cast<off_t>(put)) != 0) {
        }
    }
    FileClose(fd);
}
