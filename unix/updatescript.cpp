#include "unix/updatescript.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/filelayer.h"
#include "unix/tvwire.h"
#include "unix/tvwirelog.h"

const char* UpdateScriptPath = kDefaultUpdateScriptPath;

namespace {

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

void SetCloseOnExec(int fd) {
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC)) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

// Every descriptor from `lowest` up is closed by the exec; the child can still report a failed exec.
void CloseOnExecFrom(int lowest) {
#ifdef SYS_close_range
    if (syscall(SYS_close_range, static_cast<unsigned>(lowest), ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
    if (DIR* dir = opendir("/proc/self/fd")) {
        const int own = dirfd(dir);
        while (const dirent* entry = readdir(dir)) {
            char* end = nullptr;
            const long fd = strtol(entry->d_name, &end, 10);
            if (end == entry->d_name || *end != '\0' || fd < lowest || fd == own) continue;
            SetCloseOnExec(static_cast<int>(fd));
        }
        closedir(dir);
        return;
    }
    rlimit limit{};
    rlim_t top = 1024;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) top = limit.rlim_cur;
    for (rlim_t fd = static_cast<rlim_t>(lowest); fd < top; ++fd) SetCloseOnExec(static_cast<int>(fd));
}

// The script starts as if from a fresh shell: nothing ignored, caught or blocked.
void DefaultSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

[[noreturn]] void ExecScript(const char* path) {
    DefaultSignals();
    CloseOnExecFrom(STDERR_FILENO + 1);
    execl(path, path, "-not-need-restart", static_cast<char*>(nullptr));
    const int error = errno;
    LogProtocolLine("cannot exec %s - %s", path, strerror(error));
    _exit(1);
}

// Serving processes take turns through a lock on the script file itself; a script that cannot be opened
// cannot run either, and then nothing is held.
class ScriptTurn {
public:
    explicit ScriptTurn(const char* path) : fd_(FileOpen(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0)) {
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~ScriptTurn() {
        if (fd_ >= 0) FileClose(fd_); // drops the lock
    }
    ScriptTurn(const ScriptTurn&) = delete;
    ScriptTurn& operator=(const ScriptTurn&) = delete;

private:
    int fd_;
};

} // namespace

uint32_t RunUpdateScriptOnce() {
    const char* path = UpdateScriptPath ? UpdateScriptPath : kDefaultUpdateScriptPath;
    ScriptTurn turn(path);

    // The serving child ignores SIGCHLD, which would reap the script before the wait could see it.
    struct sigaction byDefault {};
    struct sigaction before {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(SIGCHLD, &byDefault, &before);

    uint32_t status = 0xFFFFFFFFu;
    const pid_t pid = fork();
    if (pid == 0) ExecScript(path);
    if (pid < 0) {
        const int error = errno;
        char text[256];
        snprintf(text, sizeof text, ProtocolMessage(135), strerror(error));
        LogProtocolLine("%s", text);
        status = 1;
    } else {
        int raw = 0;
        pid_t waited;
        while ((waited = waitpid(pid, &raw, 0)) < 0 && errno == EINTR) {
        }
        if (waited == pid) status = static_cast<uint32_t>(raw);
    }
    sigaction(SIGCHLD, &before, nullptr);
    return status;
}

int RunUpdateScript(int fd, TimeBudget& budget, bool honourStop) {
    const uint32_t status = RunUpdateScriptOnce();
    SendWord(htonl(status), fd, budget, false, honourStop);
    return 9;
}
