#include "unix/daemon/daemonstart.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>

#include "base/consolevideo.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "base/pathutil.h"
#include "unix/pool/busyfiles.h"
#include "unix/config/daemonsettings.h"
#include "unix/pool/listeners.h"
#include "unix/daemon/pidfile.h"
#include "unix/pool/processpool.h"
#include "unix/daemon/reload.h"
#include "unix/daemon/signals.h"
#include "unix/daemon/startup.h"

int DaemonReadyTimeoutSeconds = 60;

namespace {

// The launcher and the new master speak once in each direction: the launcher tells that the pid
// file is written (so the master owns it from then on), the master tells that it has taken over.
// A side that ends before it has spoken is seen as the end of its pipe.
constexpr char kPidFileWritten = 'P';
constexpr char kMasterReady = 'R';

struct Handshake {
    int toMaster[2] = {-1, -1};
    int toLauncher[2] = {-1, -1};
};

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

void CloseHandshake(Handshake& h) {
    for (int* fd : {&h.toMaster[0], &h.toMaster[1], &h.toLauncher[0], &h.toLauncher[1]}) CloseFd(*fd);
}

bool SendByte(int fd, char c) {
    for (;;) {
        const ssize_t n = write(fd, &c, 1);
        if (n == 1) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

// One byte within seconds (< 0: no limit); false at the end of the pipe, on an error or time-out.
bool ReceiveByte(int fd, char expected, int seconds) {
    pollfd p{fd, POLLIN, 0};
    const int millis = seconds < 0 ? -1 : seconds * 1000;
    for (;;) {
        const int r = poll(&p, 1, millis);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        return n == 1 && c == expected;
    }
}

// Standard handles on /dev/null, a session of its own: 0, or -1.
int Detach() {
    close(STDIN_FILENO);
    close(STDOUT_FILENO);
    close(STDERR_FILENO);
    if (setsid() < 0) return -1;
    const int fd = open("/dev/null", O_RDWR);
    if (fd != STDIN_FILENO) {
        if (fd >= 0) close(fd);
        return -1;
    }
    if (dup2(fd, STDOUT_FILENO) != STDOUT_FILENO || dup2(fd, STDERR_FILENO) != STDERR_FILENO) return -1;
    return 0;
}

// The forked master did not take over: asked to end, then made to.
void StopForkedMaster(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, WNOHANG);
    for (int i = 0; i < 300; ++i) {
        if (kill(pid, 0) != 0 && errno == ESRCH) return;
        if (waitpid(pid, &status, WNOHANG) == pid) return;
        usleep(100000);
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

void PrintActiveInterfaces() {
    PrintMessage("%s:", MessageText(110));
    EndMessageLine(0);
    char name[kSocketNameSize];
    for (uint32_t i = 0; ListeningSocket* s = Listeners.At(i); ++i) {
        if (s->Type() == kSocketInet) s->SetOption(SO_REUSEADDR);
        PrintMessage("  %s", s->Name(name, sizeof name));
        EndMessageLine(0);
    }
}

// The failure of a start after the listeners were opened.
int FailStart(const char* pidPath, bool removePidFile) {
    if (removePidFile && pidPath[0] != '\0') unlink(pidPath);
    CloseConsoleVideo();
    RemoveStaleBusyFiles();
    ShutdownCleanup();
    return 64;
}

// The signals that would end the master before it has its handlers: held back from before the pid
// file is written until the handlers are there, so that such a signal is served by them (and the
// pid file and socket files go with the shutdown) instead of killing the process.
sigset_t StartSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGUSR1}) sigaddset(&set, s);
    return set;
}

// The master's part: from here on the process is the daemon.
int RunMaster(int readyFd) {
    CloseConsoleVideo();
    RunningAsDaemon = 1;
    PoolReloadRoutine = ReloadDaemon;
    PoolShutdownRoutine = ShutdownCleanup;
    InstallMasterSignalHandlers();
    const sigset_t start = StartSignals();
    sigprocmask(SIG_UNBLOCK, &start, nullptr);
    if (readyFd >= 0) {
        SendByte(readyFd, kMasterReady);
        close(readyFd);
    }
    return RunProcessPool();
}

} // namespace

int StartDaemon() {
    if (OpenListeningSockets(1) != 0) {
        ShutdownCleanup();
        return 64;
    }
    OverwriteMarkedLog();
    char pidPath[kPathBufSize];
    ExpandedPidFile(pidPath);

    const bool foreground = RunForeground != 0;
    pid_t master = getpid();
    Handshake h;
    const sigset_t start = StartSignals();
    sigset_t launcherMask;
    sigprocmask(SIG_BLOCK, &start, &launcherMask);
    if (!foreground) {
        if (chdir("/") != 0) {
        }
        if (pipe2(h.toMaster, O_CLOEXEC) != 0 || pipe2(h.toLauncher, O_CLOEXEC) != 0) {
            PrintMessage(MessageText(135), strerror(errno));
            EndMessageLine(0);
            CloseHandshake(h);
            sigprocmask(SIG_SETMASK, &launcherMask, nullptr);
            return FailStart(pidPath, false);
        }
        // The child must not write the launcher's pending half line again.
        FlushLogLine();
        const pid_t pid = fork();
        if (pid < 0) {
            PrintMessage(MessageText(135), strerror(errno));
            EndMessageLine(0);
            CloseHandshake(h);
            sigprocmask(SIG_SETMASK, &launcherMask, nullptr);
            return FailStart(pidPath, false);
        }
        if (pid == 0) {
            ForkMarker = getpid();
            CloseFd(h.toMaster[1]);
            CloseFd(h.toLauncher[0]);
            if (Detach() != 0) {
                PrintMessage("Cannot redirect std handles into /dev/null!");
                EndMessageLine(0);
                CloseConsoleVideo();
                _exit(64);
            }
            setlocale(LC_ALL, "C");
            setlocale(LC_CTYPE, "");
            // Until the launcher has written the pid file the launcher owns it; a launcher that
            // fails ends this process too.
            const bool pidFileWritten = ReceiveByte(h.toMaster[0], kPidFileWritten, -1);
            CloseFd(h.toMaster[0]);
            if (!pidFileWritten) _exit(64);
            RemoveStaleBusyFiles();
            return RunMaster(h.toLauncher[1]);
        }
        master = pid;
        // The launcher stays what it was: a signal may still end it while it waits.
        sigprocmask(SIG_SETMASK, &launcherMask, nullptr);
        CloseFd(h.toMaster[0]);
        CloseFd(h.toLauncher[1]);
    }

    if (pidPath[0] == '\0' || WritePidFile(pidPath, master) != 0) {
        LogErrorf("%s", MessageText(149));
        if (!foreground) {
            CloseHandshake(h);
            StopForkedMaster(master);
        }
        sigprocmask(SIG_SETMASK, &launcherMask, nullptr);
        // Whatever part of the file was written is no one's.
        return FailStart(pidPath, pidPath[0] != '\0');
    }
    if (!foreground) {
        const bool told = SendByte(h.toMaster[1], kPidFileWritten);
        CloseFd(h.toMaster[1]);
        const bool ready = told && ReceiveByte(h.toLauncher[0], kMasterReady, DaemonReadyTimeoutSeconds);
        CloseFd(h.toLauncher[0]);
        if (!ready) {
            PrintMessage("The daemon did not start!");
            EndMessageLine(0);
            StopForkedMaster(master);
            return FailStart(pidPath, true);
        }
    }

    PrintActiveInterfaces();
    RemoveStaleBusyFiles();
    if (!foreground) {
        CloseListeners(0, 0);
        CloseConsoleVideo();
        return 0;
    }
    return RunMaster(-1);
}
