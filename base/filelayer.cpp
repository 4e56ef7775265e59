#include "base/filelayer.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

int32_t OpenFileCount = 0;
int32_t OpenFileLimit = 1024;
int32_t OpenFileReserve = 16;
int FollowLinks = 0;

namespace {

// Which descriptors this layer counted, so that closing any other one
// leaves the count alone.
std::vector<bool>& CountedDescriptors() {
    static std::vector<bool> counted;
    return counted;
}

void MarkCounted(int fd) {
    std::vector<bool>& counted = CountedDescriptors();
    if (static_cast<size_t>(fd) >= counted.size()) counted.resize(static_cast<size_t>(fd) + 1, false);
    counted[static_cast<size_t>(fd)] = true;
    ++OpenFileCount;
}

bool TakeCounted(int fd) {
    std::vector<bool>& counted = CountedDescriptors();
    if (fd < 0 || static_cast<size_t>(fd) >= counted.size() || !counted[static_cast<size_t>(fd)])
        return false;
    counted[static_cast<size_t>(fd)] = false;
    return true;
}

} // namespace

void InitOpenFileLimitFor(int64_t softLimit) {
    OpenFileReserve = 16;
    OpenFileLimit = 1024;
    if (softLimit < 0) return;
    // An unlimited or huge soft limit must not wrap the 32-bit budget.
    if (softLimit > INT32_MAX) softLimit = INT32_MAX;
    while (OpenFileReserve > 0 && OpenFileReserve >= softLimit) --OpenFileReserve;
    OpenFileLimit = static_cast<int32_t>(softLimit) - OpenFileReserve;
}

void InitOpenFileLimit() {
    struct rlimit rl;
    if (getrlimit(RLIMIT_NOFILE, &rl) != 0) {
        InitOpenFileLimitFor(-1);
        return;
    }
    int64_t soft = rl.rlim_cur == RLIM_INFINITY || rl.rlim_cur > static_cast<rlim_t>(INT32_MAX)
                       ? INT32_MAX
                       : static_cast<int64_t>(rl.rlim_cur);
    InitOpenFileLimitFor(soft);
}

int FileOpen(const char* path, int flags, int extra) {
    if (OpenFileCount >= OpenFileLimit) {
        errno = EMFILE;
        return -1;
    }
    int fd;
    if (flags & O_CREAT)
        fd = open(path, flags | extra, S_IFREG | 0600);
    else
        fd = open(path, flags | extra | O_LARGEFILE);
    if (fd >= 0) MarkCounted(fd);
    return fd;
}

int FileClose(int fd) {
    if (fd == -1) return -1;
    if (TakeCounted(fd) && OpenFileCount > 0) --OpenFileCount;
    return close(fd);
}

ssize_t FileRead(int fd, void* buf, size_t len) {
    if (fd == -1) return -1;
    return read(fd, buf, len);
}

ssize_t FileWrite(int fd, const void* buf, size_t len) {
    if (fd == -1) return -1;
    return write(fd, buf, len);
}

off_t FileSeek(int fd, off_t offset, int whence) {
    if (fd == -1) return -1;
    return lseek(fd, offset, whence);
}

int64_t FileSize(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int GetFileMode(const char* path) {
    if (!path || !*path) return -1;
    struct stat st;
    if (lstat(path, &st) != 0) return -1;
    if (S_ISLNK(st.st_mode) && FollowLinks) {
        if (stat(path, &st) != 0) return -1;
    }
    return static_cast<int>(st.st_mode);
}

int IsDirectoryMode(int mode) {
    return mode != -1 && S_ISDIR(static_cast<mode_t>(mode)) ? 1 : 0;
}

unsigned long StrToUL(const char* str, char** end, int base) {
    return std::strtoul(str, end, base);
}

int FinishFileCopy(const char*, int) {
    return 0;
}
