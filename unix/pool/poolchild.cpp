#include "unix/pool/poolchild.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/filelayer.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "base/pathutil.h"
#include "unix/config/daemonsettings.h"
#include "unix/pool/descpass.h"
#include "unix/pool/listeners.h"
#include "unix/pool/poolsignals.h"
#include "unix/protocol/budget.h"
#include "unix/protocol/processprefix.h"
#include "unix/protocol/protocolsettings.h"
#include "unix/protocol/signalflags.h"
#include "unix/protocol/wire.h"

CommandLookup SessionCommands = FindCommandHandler;

namespace {

constexpr int32_t kPipeTimeoutCeiling = 2147483;

int StatusWrite = -1;
int ReplyRead = -1;
int PairEnd = -1;
pid_t OwnPid = 0;
bool EndAfterHanded = false;
// The word sent after each command.
constexpr uint32_t kCommandWord = 0;

// A stop or hand-back request that arrives during a command waits until the command is done, so
// that a command already begun is finished.
volatile sig_atomic_t CommandRunning = 0;
volatile sig_atomic_t DeferredExit = 0;
volatile sig_atomic_t DeferredReload = 0;

// Realigns the stack: an emulated i386 process may enter handlers with a 4-byte-aligned one.
__attribute__((force_align_arg_pointer)) void OnChildStopSignal(int signal) {
    if (CommandRunning) {
        DeferredExit = 1;
        if (signal == SIGUSR2)
            DeferredReload = 1;
        else
            StopPending = 1;
        return;
    }
    ExitFlag = 1;
    if (signal == SIGUSR2) ReloadFlag = 1;
}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_mask = PoolSignalSet();
    action.sa_flags = SA_NOCLDSTOP;
    sigaction(signal, &action, nullptr);
}

void BeginCommand() {
    SignalsBlocked blocked(SignalSetOf({SIGUSR1, SIGUSR2}));
    CommandRunning = 1;
}

void EndCommand() {
    SignalsBlocked blocked(SignalSetOf({SIGUSR1, SIGUSR2}));
    CommandRunning = 0;
    if (DeferredExit) ExitFlag = 1;
    if (DeferredReload) ReloadFlag = 1;
    DeferredExit = DeferredReload = 0;
    StopPending = 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// The parent-pipe failure: the child ends itself.
void PipeFailed(const char* what, int step) {
    if (!ExitFlag) {
        PrintMessage("%d: can not %s data (%d) %s parent pipe, exiting!", static_cast<int>(OwnPid), what,
                     step, strcmp(what, "write") == 0 ? "to" : "from");
        EndMessageLine(0);
    }
    ExitFlag = 1;
    StopFlag = 1;
}

bool WriteToMaster(const uint32_t* words, size_t count) {
    TimeBudget budget = kUnlimitedBudget;
    return WritePipeFull(words, count * sizeof *words, StatusWrite, budget, true, false) == 0;
}

// The master's answer, waited for without limit and regardless of the flags: only a closed or
// broken pipe ends the wait. The answer is hardly ever there yet when this is called, so the wait
// comes before the read rather than after a read that finds nothing.
bool ReadFromMaster(uint32_t& word) {
    char* p = reinterpret_cast<char*>(&word);
    size_t done = 0;
    while (done < sizeof word) {
        pollfd wait{ReplyRead, POLLIN, 0};
        if (poll(&wait, 1, -1) < 0 && errno != EINTR) return false;
        const ssize_t n = read(ReplyRead, p + done, sizeof word - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n == 0) return false;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    }
    return true;
}

bool Exchange(uint32_t code, uint32_t expected, int step) {
    uint32_t words[2] = {code, kCommandWord};
    if (!WriteToMaster(words, code == kChildCommandDone ? 2 : 1)) {
        PipeFailed("write", step);
        return false;
    }
    uint32_t answer = 0;
    if (!ReadFromMaster(answer) || answer != expected) {
        PipeFailed("read", step);
        return false;
    }
    return true;
}

void HandBack(SocketBase& connection) {
    bool ok = Exchange(kChildHandsBack, kChildHandsBack, 3);
    if (ok && SendDescriptor(PairEnd, connection.GetFd()) != 0) {
        PipeFailed("write", 4);
        ok = false;
    }
    if (!ok) {
        ExitFlag = 1;
        StopFlag = 1;
    }
    CloseFd(PairEnd);
    ExitFlag = 1;
}

void BusyFileName(char* name, size_t size) {
    name[0] = '\0';
    if (BusyFile[0] == '\0') return;
    char path[kPathBufSize];
    if (ExpandPath(BusyFile, path, 0) == nullptr || path[0] == '\0') return;
    if (snprintf(name, size, "%s.%d", path, static_cast<int>(OwnPid)) >= static_cast<int>(size))
        name[0] = '\0';
}

void CreateBusyFile() {
    char name[kPathBufSize + 16];
    BusyFileName(name, sizeof name);
    if (name[0] == '\0') return;
    const int fd = FileOpen(name, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd >= 0) FileClose(fd);
}

void RemoveBusyFile() {
    char name[kPathBufSize + 16];
    BusyFileName(name, sizeof name);
    if (name[0] != '\0') unlink(name);
}

enum class Wait { kCommand, kInterrupted, kTimedOut };

// The wait for the first byte of the next command. A stop or hand-back that comes before it leaves
// the connection untouched.
Wait WaitForCommand(SocketBase& connection) {
    pollfd wait{connection.GetFd(), POLLIN, 0};
    const int64_t millis = SocketTimeout > 0 ? static_cast<int64_t>(SocketTimeout) * 1000 : -1;
    const int ready = PollWithTimeout(&wait, 1, millis);
    if (ready > 0) return Wait::kCommand;
    if (ExitFlag || StopFlag) return Wait::kInterrupted;
    if (ready < 0) return Wait::kCommand; // the dispatcher's read reports it
    char prefix[kProcessPrefixSize];
    FormatProcessPrefix(prefix, sizeof prefix);
    PrintMessage("%s%s (2)", prefix, MessageText(121));
    EndMessageLine(0);
    return Wait::kTimedOut;
}

int PipeBudgetSeconds() {
    const long long sum = static_cast<long long>(SocketTimeout) + FileTimeout;
    if (sum > kPipeTimeoutCeiling) {
        static bool warned = false;
        if (!warned) {
            PrintMessage("SocketTimeout + FileTimeout = %lld, more then maximum! (%d)", sum,
                         kPipeTimeoutCeiling);
            EndMessageLine(0);
            warned = true;
        }
        return kPipeTimeoutCeiling;
    }
    return static_cast<int>(sum);
}

} // namespace

void ServeClientSession(SocketBase& connection) {
    for (;;) {
        // Told to hand back or to stop: no other command is begun here, and the client's
        // connection goes back to the master, which gives it to another child or, when the daemon
        // is going away, closes it. Only a child that lost its master closes it itself.
        if (StopFlag) break;
        if (ReloadFlag || ExitFlag) {
            HandBack(connection);
            return;
        }
        if (!Exchange(kChildCommandBegins, kChildIdle, 1)) return;
        CreateBusyFile();
        connection.PeerAddressText(ClientPeerAddress, sizeof ClientPeerAddress);
        const Wait wait = WaitForCommand(connection);
        int result = -2;
        if (wait == Wait::kCommand) {
            BeginCommand();
            result = DispatchCommandWith(SessionCommands, connection.GetFd(), false);
            EndCommand();
        }
        RemoveBusyFile();
        if (!Exchange(kChildCommandDone, kCommandWord, 2)) break;
        if (wait == Wait::kInterrupted && !StopFlag) {
            HandBack(connection);
            break;
        }
        if (wait != Wait::kCommand || result <= 0) break;
    }
    ClientPeerAddress[0] = '\0';
}

void AcceptClients(std::unique_ptr<SocketBase>& handed) {
    const int budget = PipeBudgetSeconds();
    if (handed) {
        handed->AddFlags(O_NONBLOCK);
        ServeClientSession(*handed);
        handed->Close(0, 0);
        handed.reset();
        // More handed-back connections wait than children may run: this slot is the next one's.
        if (EndAfterHanded) ExitFlag = 1;
    }
    if (ExitFlag || StopFlag) return;
    const uint32_t count = Listeners.Count();
    std::unique_ptr<pollfd[]> set(new (std::nothrow) pollfd[count > 0 ? count : 1]);
    if (!set) {
        PrintMessage("Error allocating memory for poll's data!");
        EndMessageLine(0);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) set[i] = pollfd{Listeners.At(i)->GetFd(), POLLIN, 0};
    const int ready =
        PollWithTimeout(set.get(), count, budget > 0 ? static_cast<int64_t>(budget) * 1000 : -1);
    if (ExitFlag || StopFlag || ready <= 0) return;
    for (uint32_t i = 0; i < count; ++i) {
        if (!(set[i].revents & POLLIN)) continue;
        ListeningSocket* listener = Listeners.At(i);
        SocketAddress peer{};
        socklen_t length = sizeof peer;
        const int fd = accept4(listener->GetFd(), &peer.any, &length, SOCK_CLOEXEC);
        if (fd >= 0) {
            SocketBase connection(listener->Type());
            connection.Attach(fd, &peer.any, length);
            // A reply leaves as several small writes: without this, each one after the first
            // waits for the client's delayed acknowledgement (some 40 ms per request).
            if (listener->Type() == kSocketInet) {
                const int on = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            }
            if (connection.AddFlags(O_NONBLOCK) == 0) ServeClientSession(connection);
            connection.Close(0, 0);
        }
        if (ExitFlag || StopFlag) return;
    }
}

void RunPoolChild(std::unique_ptr<SocketBase> handed, bool endAfterHanded, int pairEnd, int statusWrite,
                  int replyRead) {
    EndAfterHanded = handed && endAfterHanded;
    ExitFlag = 0;
    ReloadFlag = 0;
    StopFlag = 0;
    setlocale(LC_CTYPE, "");
    OwnPid = getpid();
    StatusWrite = statusWrite;
    ReplyRead = replyRead;
    PairEnd = pairEnd;

    CollectReportLines = 1;
    setpriority(PRIO_PROCESS, 0, ScanPriority);
    for (uint32_t i = 0; ListeningSocket* s = Listeners.At(i); ++i)
        if (s->Type() == kSocketInet) s->SetOption(SO_REUSEADDR);
    SetHandler(SIGUSR1, OnChildStopSignal);
    SetHandler(SIGUSR2, OnChildStopSignal);
    for (int s : {SIGHUP, SIGCHLD, SIGALRM, SIGPIPE, SIGTERM, SIGABRT, SIGINT}) SetHandler(s, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    while (!ExitFlag && !StopFlag) AcceptClients(handed);
    // Told to hand back or to stop before it served the connection it was given: the connection
    // goes back to the master, not away.
    if (handed && !StopFlag) HandBack(*handed);
    if (handed) handed->Close(0, 0);
    FlushLogLine();
    CloseFd(StatusWrite);
    CloseFd(ReplyRead);
    CloseFd(PairEnd);
    CloseListeners(0, 0);
    exit(0);
}
