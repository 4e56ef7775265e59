#include "base/filelock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

int SetLock(int fd, short type) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    fl.l_pid = getpid();
    return fcntl(fd, F_SETLK, &fl);
}

double Now() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace

int LockFileWait(int fd, int seconds) {
    if (fd < 0) return -1;
    const double deadline = Now() + (seconds > 0 ? seconds : 0);
    for (;;) {
        if (SetLock(fd, F_WRLCK) == 0) return 0;
        if (errno != EAGAIN && errno != EACCES) return -1;
        if (Now() >= deadline) return -1;
        // A short pause, so that waiting writers do not spin on the CPU the
        // holder needs to finish its line.
        usleep(1000);
    }
}

int UnlockFile(int fd) {
    if (fd < 0) return -1;
    return SetLock(fd, F_UNLCK) == 0 ? 0 : -1;
}
