#include "unix/protocol/updatescript.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/filelayer.h"
#include "unix/protocol/servicecommands.h"
#include "unix/protocol/signalflags.h"
#include "unix/protocol/wire.h"
#include "unix/protocol/wirelog.h"

const char* UpdateScriptPath = kDefaultUpdateScriptPath;
uint32_t UpdateScriptLimitSeconds = 600;

namespace {

constexpr uint32_t kScriptNotStarted = 1;
constexpr useconds_t kTurnPollMicroseconds = 100000;
constexpr useconds_t kScriptPollMicroseconds = 20000;

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

// Whether the client at fd has gone: its end closed or broken. Data it sent ahead is not read.
bool ClientGone(int fd) {
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLERR | POLLNVAL)) return true;
    char c;
    const ssize_t n = recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

bool Stopping() {
    return StopFlag || ExitFlag || StopPending;
}

// Serving processes take turns through a lock on the script file itself; a script that cannot be opened
// cannot run either, and then nothing is held. A process waiting for its turn gives up when the daemon
// stops or its client goes: nobody would take the answer.
class ScriptTurn {
public:
    ScriptTurn(const char* path, int clientFd) : fd_(FileOpen(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0)) {
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) break;
            if (Stopping() || ClientGone(clientFd)) {
                given_up_ = true;
                return;
            }
            usleep(kTurnPollMicroseconds);
        }
    }
    ~ScriptTurn() {
        if (fd_ >= 0) FileClose(fd_); // drops the lock
    }
    ScriptTurn(const ScriptTurn&) = delete;
    ScriptTurn& operator=(const ScriptTurn&) = delete;

    bool GivenUp() const { return given_up_; }

private:
    int fd_;
    bool given_up_ = false;
};

// Waits for the script; past the limit its whole process group is killed. The raw wait status.
uint32_t WaitForScript(pid_t pid) {
    const int64_t deadline = MonotonicMillis() + static_cast<int64_t>(UpdateScriptLimitSeconds) * 1000;
    int raw = 0;
    for (;;) {
        const pid_t waited = waitpid(pid, &raw, WNOHANG);
        if (waited == pid) return static_cast<uint32_t>(raw);
        if (waited < 0 && errno != EINTR) return 0xFFFFFFFFu;
        if (MonotonicMillis() >= deadline) break;
        usleep(kScriptPollMicroseconds);
    }
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    pid_t waited;
    while ((waited = waitpid(pid, &raw, 0)) < 0 && errno == EINTR) {
    }
    LogProtocolLine("update script %s killed after %u seconds", UpdateScriptPath ? UpdateScriptPath : "",
                    UpdateScriptLimitSeconds);
    return waited == pid ? static_cast<uint32_t>(raw) : 0xFFFFFFFFu;
}

} // namespace

uint32_t RunUpdateScriptOnce(int clientFd) {
    const char* path = UpdateScriptPath ? UpdateScriptPath : kDefaultUpdateScriptPath;
    if (Stopping()) return kScriptNotStarted;
    ScriptTurn turn(path, clientFd);
    if (turn.GivenUp() || Stopping()) return kScriptNotStarted;

    // The serving child ignores SIGCHLD, which would reap the script before the wait could see it.
    struct sigaction byDefault {};
    struct sigaction before {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(SIGCHLD, &byDefault, &before);

    uint32_t status = 0xFFFFFFFFu;
    const pid_t pid = fork();
    if (pid == 0) {
        // A group of its own, so that whatever it starts goes with it at the limit.
        setpgid(0, 0);
        ExecScript(path);
    }
    if (pid < 0) {
        const int error = errno;
        char text[256];
        snprintf(text, sizeof text, ProtocolMessage(135), strerror(error));
        LogProtocolLine("%s", text);
        status = kScriptNotStarted;
    } else {
        setpgid(pid, pid);
        status = WaitForScript(pid);
    }
    sigaction(SIGCHLD, &before, nullptr);
    return status;
}

int RunUpdateScript(int fd, TimeBudget& budget, bool honourStop) {
    const uint32_t status = RunUpdateScriptOnce(fd);
    return ServiceReplyResult(SendWord(htonl(status), fd, budget, false, honourStop), 9);
}
