#include "mail/walk/writeback.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/filelayer.h"
#include "base/pathutil.h"
#include "shell/host/hostfiles.h"

namespace {

constexpr size_t kPiece = 16384;
// Names tried for a temporary or backup file before giving up.
constexpr int kNameTries = 1000;

// A file over its size limit fails its write (EFBIG) instead of ending the process.
class NoFileSizeSignal {
public:
    NoFileSizeSignal() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        installed_ = sigaction(SIGXFSZ, &ignore, &saved_) == 0;
    }
    ~NoFileSizeSignal() {
        if (installed_) sigaction(SIGXFSZ, &saved_, nullptr);
    }
    NoFileSizeSignal(const NoFileSizeSignal&) = delete;
    NoFileSizeSignal& operator=(const NoFileSizeSignal&) = delete;

private:
    struct sigaction saved_ {};
    bool installed_ = false;
};

int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = FileWrite(fd, data, size < kPiece ? size : kPiece);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

// A new file at base, or at base + "." + n for the first free n: its descriptor and its name in name.
int CreateExclusive(const std::string& base, std::string& name) {
    for (int n = 0; n < kNameTries; ++n) {
        name = n == 0 ? base : base + "." + std::to_string(n);
        const int fd = FileOpen(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LastComponent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes the names of a folder (a new or renamed entry in it) last. A folder that cannot be opened
// for it (no read permission) or a file system that cannot sync folders is passed over: -1 only for
// a sync that failed.
int SyncFolder(const std::string& folder) {
    const int fd = FileOpen(folder.c_str(), O_RDONLY | O_DIRECTORY, 0);
    if (fd < 0) return 0;
    const int synced = fsync(fd) == 0 || errno == EINVAL || errno == EROFS ? 0 : -1;
    FileClose(fd);
    return synced;
}

} // namespace

int ReplaceFileContents(const char* path, const std::string& data) {
    struct stat original {};
    if (lstat(path, &original) != 0 || !S_ISREG(original.st_mode)) return -1;
    NoFileSizeSignal noSignal;
    std::string temporary;
    const std::string base =
        FolderOf(path) + "/." + LastComponent(path) + ".tarvo" + std::to_string(getpid());
    const int fd = CreateExclusive(base, temporary);
    if (fd < 0) return -1;
    // Owner first: a change of owner may clear the set-id bits that the mode then puts back. Where
    // owner or group cannot be kept (only root may give a file away) the mail file is not replaced:
    // a mailbox that changed hands could no longer be read by its owner.
    int result = fchown(fd, original.st_uid, original.st_gid) == 0 ? 0 : -1;
    if (result == 0 && fchmod(fd, original.st_mode & 07777) != 0) result = -1;
    if (result == 0) result = WriteAll(fd, data.data(), data.size());
    if (result == 0 && fsync(fd) != 0) result = -1;
    if (FileClose(fd) != 0) result = -1;
    if (result == 0 && rename(temporary.c_str(), path) != 0) result = -1;
    if (result != 0) {
        unlink(temporary.c_str());
        return -1;
    }
    // Renamed: the new contents are in place, and the folder must keep the new name.
    return SyncFolder(FolderOf(path));
}

int WriteTemporaryObject(const std::string& data, std::string& path) {
    NoFileSizeSignal noSignal;
    char name[kPathBufSize] = {};
    const int32_t fd = HostCreateTemporaryFile(nullptr, name);
    path.clear();
    if (fd < 0) return -1;
    int result = WriteAll(fd, data.data(), data.size());
    if (HostCloseFile(nullptr, fd) != 0) result = -1;
    if (result != 0) {
        unlink(name);
        return -1;
    }
    path = name;
    return 0;
}

int CreateBackupCopy(const char* path, const char* folder, std::string& backup) {
    backup.clear();
    const int in = FileOpen(path, O_RDONLY | O_NOFOLLOW, 0);
    if (in < 0) return -1;
    NoFileSizeSignal noSignal;
    std::string name;
    const std::string base = std::string(folder) + "/" + LastComponent(path) + "." + std::to_string(getpid());
    const int out = CreateExclusive(base, name);
    int result = out >= 0 ? 0 : -1;
    char piece[kPiece];
    while (result == 0) {
        const ssize_t got = FileRead(in, piece, sizeof piece);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) result = -1;
        if (got <= 0) break;
        result = WriteAll(out, piece, static_cast<size_t>(got));
    }
    FileClose(in);
    if (out >= 0) {
        // On disk before the original may be replaced.
        if (result == 0 && fsync(out) != 0) result = -1;
        if (FileClose(out) != 0) result = -1;
        if (result == 0) result = SyncFolder(folder);
        if (result != 0) unlink(name.c_str());
    }
    if (result == 0) backup = name;
    return result;
}
