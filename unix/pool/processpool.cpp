#include "unix/pool/processpool.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <new>

#include "base/filelayer.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "unix/config/daemonsettings.h"
#include "unix/pool/descpass.h"
#include "unix/pool/listeners.h"
#include "unix/daemon/pidfile.h"
#include "unix/config/poolparams.h"
#include "unix/pool/poolsignals.h"
#include "unix/protocol/budget.h"
#include "unix/protocol/signalflags.h"
#include "unix/protocol/wire.h"

std::unique_ptr<ChildSlot[]> ChildSlots;
size_t ChildSlotCount = 0;
PoolCounters PoolStats;
volatile sig_atomic_t ForkMarker = getpid();
volatile sig_atomic_t ShutdownSignal = 0;
int (*PoolReloadRoutine)() = nullptr;
void (*PoolShutdownRoutine)() = nullptr;

namespace {

// Descriptors the master keeps per child: status read end, reply write end, socket-pair end.
constexpr int kMasterDescriptorsPerChild = 3;
// Held back for the standard handles, the log, the six ends of a spawn in progress and the engine.
constexpr int kMasterSpareDescriptors = 16;
constexpr size_t kRestartQueueSize = 1024;

std::deque<std::unique_ptr<SocketBase>> Pending;
size_t RestartQueue[kRestartQueueSize];
volatile sig_atomic_t RestartCount = 0;
volatile sig_atomic_t Reaping = 0;
// Set by a failed start: the next try waits for the timer.
volatile sig_atomic_t SpawnBackoff = 0;
volatile sig_atomic_t StatisticsWanted = 0;

struct PollEntry {
    size_t slot;
    pid_t pid;
};
std::unique_ptr<pollfd[]> PollSet;
std::unique_ptr<PollEntry[]> PollEntries;

// The slot table and the counters change only with these held back (they run the SIGCHLD handler
// and the watchdog).
sigset_t TableSignals() {
    return SignalSetOf({SIGCHLD, SIGALRM});
}

// Around a fork and while waiting: every signal whose handler sets a flag that the loop must see.
sigset_t LoopSignals() {
    return SignalSetOf({SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2, SIGHUP, SIGTERM, SIGINT, SIGABRT});
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// A connection that the master only keeps for a child: closed without shutdown, which would end it
// for every process that holds it.
void DropConnection(std::unique_ptr<SocketBase>& connection) {
    if (!connection) return;
    connection->Close(0, 0);
    connection.reset();
}

void CloseSlotDescriptors(ChildSlot& slot) {
    CloseFd(slot.statusRead);
    CloseFd(slot.replyWrite);
    CloseFd(slot.childPairEnd);
    CloseFd(slot.masterPairEnd);
}

// Safe in a signal handler: the handed connection is not touched (the master holds none for a
// running child).
void MakeSlotFresh(ChildSlot& slot) {
    CloseSlotDescriptors(slot);
    slot.pid = 0;
    slot.busySince = 0;
    slot.lastChange = 0;
    slot.stopTime = 0;
}

int MinimumChildren() {
    return PoolParameters.minChildren > 0 ? PoolParameters.minChildren : 1;
}

int64_t PipeWaitMillis() {
    const int32_t seconds = PipeTimeoutSeconds();
    return seconds > 0 ? static_cast<int64_t>(seconds) * 1000 : -1;
}

void Say(const char* text) {
    PrintMessage("%s", text);
    EndMessageLine(0);
}

// A reaped or killed child's slot: free again, and replaced while fewer than the minimum are alive.
void FinishSlot(size_t index, int fromSignal) {
    ChildSlot& slot = ChildSlots[index];
    if (slot.busySince != 0 && PoolStats.busy > 0) --PoolStats.busy;
    MakeSlotFresh(slot);
    if (PoolStats.alive > 0) --PoolStats.alive;
    if (ReloadFlag || StopFlag || PoolStats.alive >= MinimumChildren()) return;
    if (fromSignal) {
        if (RestartCount < static_cast<sig_atomic_t>(kRestartQueueSize)) RestartQueue[RestartCount++] = index;
        return;
    }
    Say("Replacing dead child with new one...");
    RespawnChild(index);
}

// The slots that the SIGCHLD handler left for the loop.
void StartQueuedSlots() {
    // Nearly always empty: then there is nothing to hold the handler back from.
    if (RestartCount == 0) return;
    SignalsBlocked blocked(TableSignals());
    const sig_atomic_t count = RestartCount;
    RestartCount = 0;
    for (sig_atomic_t i = 0; i < count; ++i) {
        const size_t index = RestartQueue[i];
        if (index < ChildSlotCount && ChildSlots[index].pid == 0 && PoolStats.alive < MinimumChildren())
            RespawnChild(index);
    }
}

void GivePending(ChildSlot& slot) {
    if (!slot.handed && !Pending.empty()) {
        slot.handed = std::move(Pending.front());
        Pending.pop_front();
    }
}

void ReturnPending(ChildSlot& slot) {
    if (slot.handed) Pending.push_front(std::move(slot.handed));
}

// A descriptor that came back from a child, with its peer's address for the log prefix.
std::unique_ptr<SocketBase> WrapHandedDescriptor(int fd) {
    SocketAddress peer{};
    socklen_t length = sizeof peer;
    uint32_t type = kSocketInet;
    if (getpeername(fd, &peer.any, &length) == 0 && peer.any.sa_family == AF_UNIX)
        type = kSocketUnix;
    else if (peer.any.sa_family != AF_INET)
        length = 0;
    auto connection = std::make_unique<SocketBase>(type);
    connection->Attach(fd, length > 0 ? &peer.any : nullptr, length);
    return connection;
}

// Ended, but not reaped yet (kill() still reaches it).
bool HasEnded(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// The child closed its status pipe: normally it has ended. One that lives on without its pipe is
// no longer polled (and the loop kills it).
void HungUp(size_t index) {
    const pid_t pid = ChildSlots[index].pid;
    ReapChildren(0);
    if (ChildSlots[index].pid == pid) CloseFd(ChildSlots[index].statusRead);
}

// The child's end of its status pipe is closed, or closes within a moment: a child on its way out
// lets go of its pipes before the kernel reports it ended.
bool StatusPipeClosed(size_t index) {
    constexpr int kDyingWaitMillis = 50;
    pollfd end{ChildSlots[index].statusRead, 0, 0};
    if (end.fd < 0) return false;
    int ready;
    while ((ready = poll(&end, 1, kDyingWaitMillis)) < 0 && errno == EINTR) {
    }
    return ready == 1 && (end.revents & (POLLHUP | POLLERR)) != 0;
}

void NotResponding(size_t index) {
    const pid_t pid = ChildSlots[index].pid;
    if (ReloadFlag || pid <= 0 || kill(pid, 0) != 0) return;
    // A child that died half-way through the exchange is only reaped: its death is no fault to log.
    if (HasEnded(pid)) {
        ReapChildren(0);
        return;
    }
    if (StatusPipeClosed(index)) {
        HungUp(index);
        return;
    }
    PrintMessage(MessageText(175), static_cast<int>(pid));
    EndMessageLine(0);
    KillChild(index, 0);
}

bool Answer(size_t index, uint32_t word) {
    TimeBudget budget = BudgetFromSeconds(PipeTimeoutSeconds());
    return WritePipeFull(&word, sizeof word, ChildSlots[index].replyWrite, budget, true, false) == 0;
}

bool ReadStatusWord(size_t index, uint32_t& word) {
    TimeBudget budget = BudgetFromSeconds(PipeTimeoutSeconds());
    return ReadFull(ChildSlots[index].statusRead, sizeof word, &word, budget, false) == 0;
}

void HandleStatus(size_t index, bool hungUp) {
    ChildSlot& slot = ChildSlots[index];
    uint32_t word = 0;
    if (!ReadStatusWord(index, word)) {
        if (hungUp)
            HungUp(index);
        else
            NotResponding(index);
        return;
    }
    const time_t now = time(nullptr);
    switch (word) {
    case kChildCommandBegins:
        slot.busySince = slot.lastChange = now;
        // Busy again after being told to stop: it is no longer a candidate for the kill.
        slot.stopTime = 0;
        ++PoolStats.busy;
        if (!Answer(index, kChildIdle)) NotResponding(index);
        break;
    case kChildCommandDone: {
        uint32_t w = 0;
        if (!ReadStatusWord(index, w)) {
            NotResponding(index);
            break;
        }
        slot.lastChange = now;
        if (slot.busySince != 0) {
            const double d = static_cast<double>(now - slot.busySince);
            const int n = PoolStats.requests;
            PoolStats.meanSeconds = (PoolStats.meanSeconds * n + d) / (n + 1);
            PoolStats.requests = n + 1;
            PoolStats.busySeconds += static_cast<long long>(d);
            if (PoolStats.busy > 0) --PoolStats.busy;
        }
        slot.busySince = 0;
        if (!Answer(index, w)) NotResponding(index);
        break;
    }
    case kChildHandsBack: {
        SignalsBlocked blocked(PoolSignalSet());
        if (!Answer(index, kChildHandsBack)) {
            NotResponding(index);
            break;
        }
        const int fd = ReceiveDescriptor(slot.masterPairEnd, PipeWaitMillis());
        if (fd >= 0) {
            auto connection = WrapHandedDescriptor(fd);
            Pending.push_back(std::move(connection));
        }
        CloseFd(slot.childPairEnd);
        CloseFd(slot.masterPairEnd);
        break;
    }
    case kChildIdle:
        break;
    default:
        PrintMessage(MessageText(176), static_cast<int>(word), static_cast<int>(slot.pid));
        EndMessageLine(0);
        KillChild(index, 0);
        break;
    }
}

// Both pipes of a child, non-blocking and close-on-exec: 0, or -1 after message 174.
int MakePipes(int status[2], int reply[2]) {
    if (pipe2(status, O_CLOEXEC) != 0) {
        PrintMessage(MessageText(174), strerror(errno));
        EndMessageLine(0);
        return -1;
    }
    if (pipe2(reply, O_CLOEXEC) != 0) {
        PrintMessage(MessageText(174), strerror(errno));
        EndMessageLine(0);
        close(status[0]);
        close(status[1]);
        return -1;
    }
    const int ends[4] = {status[0], status[1], reply[0], reply[1]};
    for (int fd : ends) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
            PrintMessage(MessageText(174), strerror(errno));
            EndMessageLine(0);
            for (int end : ends) close(end);
            return -1;
        }
    }
    return 0;
}

// Asks the loop to reload: returns 64 when no slot table can be built afterwards.
int ReloadPool() {
    // A stop signal that comes during the reload waits for its end and then goes ahead: its
    // handler must not run half-way through and be undone by the flags cleared below.
    const sigset_t reloadSet = SignalSetOf({SIGHUP, SIGTERM, SIGINT, SIGABRT, SIGUSR1, SIGCHLD, SIGALRM});
    sigset_t before;
    sigprocmask(SIG_BLOCK, &reloadSet, &before);
    const bool ok = PoolReloadRoutine == nullptr || PoolReloadRoutine() == 0;
    const sigset_t child = SignalSetOf({SIGCHLD});
    sigprocmask(SIG_UNBLOCK, &child, nullptr);
    alarm(0);
    SignalAllChildren(SIGUSR2);
    while (PoolStats.alive > 0) PollChildren(0);
    ReloadFlag = 0;
    FreeSlotTable();
    if (!ok) {
        RemovePidFile();
        Say(MessageText(219));
        exit(1);
    }
    if (CreateSlotTable(static_cast<size_t>(PoolParameters.maxChildren)) != 0) {
        Say("Childs creation error, exiting...");
        sigprocmask(SIG_SETMASK, &before, nullptr);
        RemovePidFile();
        if (PoolShutdownRoutine) PoolShutdownRoutine();
        return 64;
    }
    SpawnChildren();
    // A stop that came just before the reload began still stands.
    if (ShutdownSignal == 0) StopFlag = 0;
    ReloadFlag = 0;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return 0;
}

} // namespace

int CreateSlotTable(size_t count) {
    SignalsBlocked blocked(TableSignals());
    FreeSlotTable();
    if (count == 0) return -1;
    ChildSlots.reset(new (std::nothrow) ChildSlot[count]);
    PollSet.reset(new (std::nothrow) pollfd[count]);
    PollEntries.reset(new (std::nothrow) PollEntry[count]);
    if (!ChildSlots || !PollSet || !PollEntries) {
        if (!ChildSlots) Say("Error allocating memory for children information!");
        if (!PollSet || !PollEntries) Say("Error allocating memory for poll's data!");
        ChildSlots.reset();
        PollSet.reset();
        PollEntries.reset();
        return -1;
    }
    ChildSlotCount = count;
    RestartCount = 0;
    return 0;
}

void FreeSlotTable() {
    SignalsBlocked blocked(TableSignals());
    for (size_t i = 0; i < ChildSlotCount && ChildSlots; ++i) {
        CloseSlotDescriptors(ChildSlots[i]);
        DropConnection(ChildSlots[i].handed);
    }
    ChildSlots.reset();
    PollSet.reset();
    PollEntries.reset();
    ChildSlotCount = 0;
    RestartCount = 0;
}

int PoolChildLimit() {
    long long limit = PoolParameters.maxChildren;
    if (limit > static_cast<long long>(ChildSlotCount)) limit = static_cast<long long>(ChildSlotCount);
    const long long spare = static_cast<long long>(OpenFileLimit) - OpenFileCount -
                            static_cast<long long>(Listeners.Count()) -
                            static_cast<long long>(Pending.size()) - kMasterSpareDescriptors;
    const long long budget = spare / kMasterDescriptorsPerChild;
    if (limit > budget) limit = budget;
    if (limit < 1) limit = ChildSlotCount > 0 ? 1 : 0;
    return static_cast<int>(limit);
}

size_t PendingConnectionCount() {
    return Pending.size();
}

void DropPendingConnections() {
    SignalsBlocked blocked(TableSignals());
    for (auto& connection : Pending) DropConnection(connection);
    Pending.clear();
}

void RequestPoolStatistics() {
    StatisticsWanted = 1;
}

void SignalAllChildren(int signal) {
    for (size_t i = 0; i < ChildSlotCount; ++i)
        if (ChildSlots[i].pid > 0) kill(ChildSlots[i].pid, signal);
}

int SpawnChild(size_t index) {
    if (index >= ChildSlotCount) return -1;
    ChildSlot& slot = ChildSlots[index];
    int status[2];
    int reply[2];
    if (MakePipes(status, reply) != 0) return -1;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        PrintMessage("Error while creating sockets pair: %s", strerror(errno));
        EndMessageLine(0);
        for (int fd : {status[0], status[1], reply[0], reply[1]}) close(fd);
        return -1;
    }
    SignalsBlocked blocked(LoopSignals());
    // More handed-back connections wait than children may start beside this one: this child
    // gives its slot up once it has served its own.
    const long long room = static_cast<long long>(PoolChildLimit()) - PoolStats.alive - 1;
    const bool endAfterHanded = slot.handed && static_cast<long long>(Pending.size()) > room;
    slot.statusRead = status[0];
    slot.replyWrite = reply[1];
    slot.masterPairEnd = pair[0];
    slot.childPairEnd = pair[1];
    slot.lastChange = time(nullptr);
    FlushLogLine(); // the child must not write the master's half line again
    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        CloseSlotDescriptors(slot);
        close(status[1]);
        close(reply[0]);
        PrintMessage(MessageText(135), strerror(error));
        EndMessageLine(0);
        return -1;
    }
    if (pid == 0) {
        ForkMarker = 0;
        // Only this slot's child ends and the connection handed to it stay open.
        std::unique_ptr<SocketBase> handed = std::move(slot.handed);
        const int pairEnd = slot.childPairEnd;
        slot.childPairEnd = -1;
        FreeSlotTable();
        DropPendingConnections();
        RunPoolChild(std::move(handed), endAfterHanded, pairEnd, status[1], reply[0]);
    }
    ForkMarker = pid;
    close(status[1]);
    close(reply[0]);
    CloseFd(slot.childPairEnd);
    slot.busySince = 0;
    slot.stopTime = 0;
    slot.pid = pid;
    ++PoolStats.alive;
    // The child has its own copy now.
    DropConnection(slot.handed);
    return 0;
}

int RespawnChild(size_t index) {
    if (index >= ChildSlotCount || SpawnBackoff) return -1;
    ChildSlot& slot = ChildSlots[index];
    GivePending(slot);
    if (SpawnChild(index) == 0) return 0;
    ReturnPending(slot);
    ++PoolStats.creationFailures;
    SpawnBackoff = 1;
    return -1;
}

int SpawnInFreeSlot() {
    SignalsBlocked blocked(TableSignals());
    for (size_t i = 0; i < ChildSlotCount; ++i)
        if (ChildSlots[i].pid == 0) return RespawnChild(i);
    ++PoolStats.creationFailures;
    return -1;
}

int SpawnChildren() {
    alarm(static_cast<unsigned>(PoolParameters.timerPeriod > 0 ? PoolParameters.timerPeriod : 1));
    SignalsBlocked blocked(TableSignals());
    // Connections beyond the limit stay pending until a slot frees up: they are the ones that
    // were open before the reload, so there are no more of them than the old pool had children.
    const size_t limit = static_cast<size_t>(PoolChildLimit());
    size_t count = Pending.size() > static_cast<size_t>(MinimumChildren())
                       ? Pending.size()
                       : static_cast<size_t>(MinimumChildren());
    if (count > limit) count = limit;
    size_t started = 0;
    for (size_t i = 0; i < count; ++i) {
        if (ChildSlots[i].pid != 0) continue;
        if (RespawnChild(i) != 0) break;
        ++started;
    }
    return started > 0 || count == 0 ? 0 : -1;
}

int NeedMoreChildren() {
    if (!ChildSlots || ChildSlotCount == 0) return 1;
    // A handed-back connection waits for a child of its own.
    if (!Pending.empty()) return 1;
    // Read without holding the handlers back: they only take children away (a death, a kill, a
    // stop), and one that strikes after this test is found by the next round, as it would be after
    // a test under the block.
    if (PoolStats.alive == 0 || PoolStats.alive < MinimumChildren()) return 1;
    for (size_t i = 0; i < ChildSlotCount; ++i) {
        const ChildSlot& slot = ChildSlots[i];
        if (slot.pid > 0 && slot.busySince == 0 && slot.stopTime == 0) return 0;
    }
    return 1;
}

int PollChildren(int honourStop) {
    SignalsBlocked blocked(LoopSignals());
    // Slots the SIGCHLD handler queued while the loop was busy elsewhere start before the wait:
    // after it, they would wait for the next status word or timer tick.
    if (!ReloadFlag && !StopFlag) StartQueuedSlots();
    nfds_t count = 0;
    for (size_t i = 0; i < ChildSlotCount; ++i) {
        const ChildSlot& slot = ChildSlots[i];
        if (slot.pid <= 0 || slot.statusRead < 0) continue;
        PollSet[count] = pollfd{slot.statusRead, POLLIN | POLLHUP, 0};
        PollEntries[count] = PollEntry{i, slot.pid};
        ++count;
    }
    if (honourStop && (StopFlag || ReloadFlag || StatisticsWanted)) return 1;
    int ready = 0;
    // Without a pipe to wait on, the wait still ends with the SIGCHLD of a live child.
    if (count > 0 || honourStop || PoolStats.alive > 0) {
        // The wait lets the signals in atomically, so that none of them is taken between the flag
        // tests above and the wait.
        const int64_t millis = PipeWaitMillis();
        timespec limit{static_cast<time_t>(millis / 1000), static_cast<long>(millis % 1000) * 1000000L};
        ready = ppoll(count > 0 ? PollSet.get() : nullptr, count, millis < 0 ? nullptr : &limit,
                      &blocked.Saved());
    }
    const int error = errno;
    if (!ReloadFlag && !StopFlag) StartQueuedSlots();
    if (ready == 0) return 0;
    if (ready < 0) {
        errno = error;
        return -1;
    }
    if (honourStop && (ReloadFlag || StopFlag)) return 1;
    for (nfds_t k = 0; k < count; ++k) {
        const short events = PollSet[k].revents;
        if (events == 0) continue;
        const size_t index = PollEntries[k].slot;
        const ChildSlot& slot = ChildSlots[index];
        // Handled already in this round (reaped, killed or replaced).
        if (slot.pid != PollEntries[k].pid || slot.statusRead != PollSet[k].fd) continue;
        if (events & POLLIN)
            HandleStatus(index, (events & POLLHUP) != 0);
        else
            HungUp(index);
    }
    if (honourStop) {
        for (size_t i = 0; i < ChildSlotCount; ++i)
            if (ChildSlots[i].pid > 0 && ChildSlots[i].statusRead < 0) KillChild(i, 0);
    }
    return 1;
}

void ReapChildren(int fromSignal) {
    if (Reaping) return;
    Reaping = 1;
    const int savedErrno = errno;
    SignalsBlocked blocked(TableSignals());
    for (size_t i = 0; i < ChildSlotCount; ++i) {
        const pid_t pid = ChildSlots[i].pid;
        if (pid <= 0) continue;
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) FinishSlot(i, fromSignal);
    }
    errno = savedErrno;
    Reaping = 0;
}

void KillChild(size_t index, int fromSignal) {
    if (index >= ChildSlotCount) return;
    const int savedErrno = errno;
    SignalsBlocked blocked(TableSignals());
    ChildSlot& slot = ChildSlots[index];
    const pid_t pid = slot.pid;
    if (pid <= 0) return;
    CloseSlotDescriptors(slot);
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    FinishSlot(index, fromSignal);
    errno = savedErrno;
}

void PoolWatchdog() {
    const int savedErrno = errno;
    SignalsBlocked blocked(TableSignals());
    SpawnBackoff = 0;
    const time_t now = time(nullptr);
    for (size_t i = 0; i < ChildSlotCount; ++i) {
        const ChildSlot& slot = ChildSlots[i];
        if (slot.pid > 0 && slot.stopTime != 0 && now - slot.stopTime > PoolParameters.stopTimeout)
            KillChild(i, 1);
    }
    int stopping = 0;
    for (size_t i = 0; i < ChildSlotCount; ++i)
        if (ChildSlots[i].pid > 0 && ChildSlots[i].stopTime != 0) ++stopping;
    for (size_t i = 0; i < ChildSlotCount; ++i) {
        ChildSlot& slot = ChildSlots[i];
        if (PoolStats.alive - stopping <= MinimumChildren()) break;
        if (slot.pid <= 0 || slot.busySince != 0 || slot.stopTime != 0) continue;
        if (now - slot.lastChange <= PoolParameters.idleTimeout) continue;
        kill(slot.pid, SIGUSR1);
        slot.stopTime = now;
        ++stopping;
    }
    errno = savedErrno;
}

void PrintPoolStatistics() {
    const time_t uptime = time(nullptr) - PoolStats.startTime;
    const bool measurable = PoolStats.startTime != 0 && uptime >= 1;
    const double seconds = static_cast<double>(uptime);
    PrintMessage("processes pool statistics: ");
    PrintMessage("min = %d max = %d ", PoolReport.minChildren, PoolReport.maxChildren);
    if (PoolAutoFlag) PrintMessage("(auto) ");
    PrintMessage("freetime = %d ", PoolReport.idlePlusStop);
    PrintMessage("busy max = %d avg = %f ", PoolReport.maxChildrenCopy,
                 measurable ? static_cast<double>(PoolStats.busySeconds) / seconds : 0.0);
    PrintMessage("requests for new process = %d (%f num/sec) ", PoolStats.newProcessRequests,
                 measurable ? PoolStats.newProcessRequests / seconds : 0.0);
    PrintMessage("creating fails = %d ", PoolStats.creationFailures);
    PrintMessage("max processing time = %d ms; avg = %.0f ms ", PipeTimeoutSeconds() * 1000,
                 PoolStats.meanSeconds * 1000);
    PrintMessage("curr = %d busy = %d", PoolStats.alive, PoolStats.busy);
    EndMessageLine(0);
}

int RunProcessPool() {
    if (!ChildSlots || ChildSlotCount == 0) {
        Say("Child creation error, exiting...");
        StopFlag = 1;
        RemovePidFile();
        if (PoolShutdownRoutine) PoolShutdownRoutine();
        return 64;
    }
    if (PoolStats.startTime == 0) PoolStats.startTime = time(nullptr);
    SpawnChildren();
    for (;;) {
        if (StopFlag) {
            PrintMessage(MessageText(109), static_cast<int>(ShutdownSignal));
            EndMessageLine(0);
            SignalAllChildren(SIGUSR1);
            while (PoolStats.alive > 0) PollChildren(0);
            // What the children handed back on their way out: the daemon is going away.
            DropPendingConnections();
            RemovePidFile();
            if (PoolShutdownRoutine) PoolShutdownRoutine();
            return 0;
        }
        PollChildren(1);
        if (StatisticsWanted) {
            StatisticsWanted = 0;
            PrintPoolStatistics();
        }
        if (ReloadFlag && !StopFlag) {
            if (ReloadPool() != 0) return 64;
            continue;
        }
        if (!StopFlag && NeedMoreChildren()) {
            ++PoolStats.newProcessRequests;
            if (PoolChildLimit() > PoolStats.alive) {
                if (SpawnInFreeSlot() == 0) {
                    while ((PoolStats.alive < MinimumChildren() || !Pending.empty()) &&
                           PoolChildLimit() > PoolStats.alive && SpawnInFreeSlot() == 0) {
                    }
                }
            } else {
                ++PoolStats.creationFailures;
            }
        }
    }
}
