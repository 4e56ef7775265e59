#include "base/filelock.h"

#include "base/processid.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

int SetWholeFileLock(int fd, short type) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    lock.l_pid = OwnPid();
    return fcntl(fd, F_SETLK, &lock);
}

double MonotonicSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace

int LockFileWait(int fd, int seconds) {
    if (fd < 0) return -1;
    const double deadline = MonotonicSeconds() + (seconds > 0 ? seconds : 0);
    for (;;) {
        if (SetWholeFileLock(fd, F_WRLCK) == 0) return 0;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) return -1;
        if (MonotonicSeconds() >= deadline) return -1;
        // Every pool process appends to the same log: sleep rather than spin
        // on a lock that another process is about to release.
        struct timespec pause = {0, 5 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

int UnlockFile(int fd) {
    if (fd < 0) return -1;
    return SetWholeFileLock(fd, F_UNLCK) == 0 ? 0 : -1;
}
