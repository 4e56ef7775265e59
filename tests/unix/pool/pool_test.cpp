// The pool with real children: a forked master runs the pool on a temporary listener, and the test
// talks to it as clients do.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <regex>

#include "tests/unix/reserved_port.h"
#include "tests/unix/test_support.h"
#include "unix/config/daemonsettings.h"
#include "unix/pool/listeners.h"
#include "unix/daemon/pidfile.h"
#include "unix/pool/poolsignals.h"
#include "unix/config/poolparams.h"
#include "unix/pool/processpool.h"
#include "unix/protocol/processprefix.h"
#include "unix/protocol/protocolsettings.h"
#include "unix/protocol/signalflags.h"
#include "unix/protocol/wire.h"

namespace {

constexpr uint32_t kWhoAmI = 100; // answers the serving child's pid
constexpr uint32_t kHold =
    101; // takes a word, answers 1; answers 2 once told to hand back; takes a word, answers the pid
constexpr uint32_t kPeer = 102;  // answers the peer address that the log prefix shows
constexpr uint32_t kOpen = 103;  // answers how many descriptors the child has open
constexpr uint32_t kFlags = 104; // answers 1 | 2 for close-on-exec | non-blocking of the connection
// The child is told to stop (as an idle stop does) while it runs; answers the pid.
constexpr uint32_t kStopped = 105;

std::string ReloadMarker;

// Stand-ins for the daemon's master signal handlers. Each realigns its stack: the emulator enters
// handlers with a 4-byte-aligned one, which the address sanitizer's frame layout does not expect.
__attribute__((force_align_arg_pointer)) void OnChild(int) {
    if (ForkMarker) ReapChildren(1);
}
__attribute__((force_align_arg_pointer)) void OnAlarm(int) {
    PoolWatchdog();
    alarm(static_cast<unsigned>(PoolParameters.timerPeriod));
}
__attribute__((force_align_arg_pointer)) void OnTerminate(int signal) {
    ReloadFlag = 0;
    StopFlag = 1;
    ShutdownSignal = signal;
}
__attribute__((force_align_arg_pointer)) void OnReload(int) {
    if (ForkMarker) {
        StopFlag = 0;
        ReloadFlag = 1;
    }
}
__attribute__((force_align_arg_pointer)) void OnStatistics(int) {
    if (PoolParameters.statistics) RequestPoolStatistics();
}

void Handle(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_mask = SignalSetOf({SIGUSR1, SIGHUP, SIGCHLD, SIGALRM});
    action.sa_flags = SA_NOCLDSTOP;
    sigaction(signal, &action, nullptr);
}

int SendPid(int fd, TimeBudget& budget, bool honourStop) {
    return SendWord(htonl(static_cast<uint32_t>(getpid())), fd, budget, false, honourStop);
}

int WhoAmI(int fd, TimeBudget& budget, bool honourStop) {
    SendPid(fd, budget, honourStop);
    return static_cast<int>(kWhoAmI);
}

// A command that tells the client where it is: begun, then told to hand back (the master's SIGUSR2
// is held until it is there, then let through to the child's own handler), then done.
int Hold(int fd, TimeBudget& budget, bool honourStop) {
    uint32_t words[2];
    if (ReadFull(fd, sizeof words[0], &words[0], budget, honourStop) != 0) return -1;
    sigset_t usr2, before;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    sigprocmask(SIG_BLOCK, &usr2, &before);
    SendWord(htonl(1), fd, budget, false, honourStop);
    sigset_t pending;
    for (int i = 0; i < 60000; ++i) {
        sigpending(&pending);
        if (sigismember(&pending, SIGUSR2)) break;
        usleep(1000);
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    SendWord(htonl(2), fd, budget, false, honourStop);
    if (ReadFull(fd, sizeof words[1], &words[1], budget, honourStop) != 0) return -1;
    SendPid(fd, budget, honourStop);
    return static_cast<int>(kHold);
}

int Peer(int fd, TimeBudget& budget, bool) {
    SendString(ClientPeerAddress, fd, budget, false);
    return static_cast<int>(kPeer);
}

int OpenDescriptors(int fd, TimeBudget& budget, bool honourStop) {
    uint32_t open = 0;
    for (int i = 0; i < 1024; ++i) open += fcntl(i, F_GETFD) >= 0;
    SendWord(htonl(open), fd, budget, false, honourStop);
    return static_cast<int>(kOpen);
}

int Flags(int fd, TimeBudget& budget, bool honourStop) {
    const uint32_t flags =
        ((fcntl(fd, F_GETFD) & FD_CLOEXEC) ? 1 : 0) | ((fcntl(fd, F_GETFL) & O_NONBLOCK) ? 2 : 0);
    SendWord(htonl(flags), fd, budget, false, honourStop);
    return static_cast<int>(kFlags);
}

int Stopped(int fd, TimeBudget& budget, bool honourStop) {
    raise(SIGUSR1);
    SendPid(fd, budget, honourStop);
    return static_cast<int>(kStopped);
}

CommandHandler TestCommands(uint32_t code) {
    switch (code) {
    case kStopped:
        return Stopped;
    case kWhoAmI:
        return WhoAmI;
    case kHold:
        return Hold;
    case kPeer:
        return Peer;
    case kOpen:
        return OpenDescriptors;
    case kFlags:
        return Flags;
    default:
        return nullptr;
    }
}

// Fails once a file of the marker's name and ".fail" exists; lowers the pool maximum to 1 once one
// with ".max1" does.
int TestReload() {
    if (access((ReloadMarker + ".max1").c_str(), F_OK) == 0) PoolParameters.maxChildren = 1;
    const int fd = open(ReloadMarker.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
        if (write(fd, "r", 1) != 1) {
        }
        close(fd);
    }
    return access((ReloadMarker + ".fail").c_str(), F_OK) == 0 ? -1 : 0;
}

void TestShutdown() {
    CloseListeners(1, 1);
}

// Waits up to millis for fd to become readable.
bool Readable(int fd, int millis) {
    pollfd wait{fd, POLLIN, 0};
    return poll(&wait, 1, millis) > 0;
}

// A reply word: -1 when the connection ended, -2 when nothing came within millis.
int64_t ReadReply(int fd, int millis) {
    uint32_t word = 0;
    size_t got = 0;
    while (got < sizeof word) {
        if (!Readable(fd, millis)) return -2;
        const ssize_t n = recv(fd, reinterpret_cast<char*>(&word) + got, sizeof word - got, 0);
        if (n <= 0) return -1;
        got += static_cast<size_t>(n);
    }
    return ntohl(word);
}

// The reply word of a command: -1 when the connection ended, -2 when nothing came within millis.
int64_t Ask(int fd, uint32_t code, std::vector<uint32_t> extra = {}, int millis = 20000) {
    std::vector<uint32_t> words{htonl(code)};
    for (uint32_t w : extra) words.push_back(htonl(w));
    const size_t size = words.size() * sizeof(uint32_t);
    if (send(fd, words.data(), size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) return -1;
    return ReadReply(fd, millis);
}

class PoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        LogToScratch(dir);
        LogProcessInfo = 1;
        MakeSpecLists();
        socketPath = dir / "tarvod.sock";
        snprintf(PidFile, sizeof PidFile, "%s", (dir / "tarvod.pid").c_str());
        snprintf(BusyFile, sizeof BusyFile, "%s", (dir / "tarvod.bsy").c_str());
        ReloadMarker = dir / "reloaded";
        SocketTimeout = 10;
        FileTimeout = 30;
        saved = PoolParameters;
        PoolParameters = ProcessPoolParameters{1, 4, 120, 1, 1, 25};
        // The forked master starts from these, whatever an earlier test of the process left.
        StopFlag = ReloadFlag = ExitFlag = 0;
        PoolStats = PoolCounters{};
    }
    void TearDown() override {
        if (master > 0) {
            kill(master, SIGTERM);
            if (WaitMaster(20) < 0) kill(master, SIGKILL);
            waitpid(master, nullptr, 0);
        }
        // Whatever the master left behind.
        if (group > 0) kill(-group, SIGKILL);
        CloseListeners(0, 0);
        FreeSpecLists();
        PoolParameters = saved;
    }

    // Opens the listeners and forks the master; `inMaster` runs there before the pool starts.
    void Start(void (*inMaster)() = nullptr) {
        AddUnixSpec(socketPath, 0666);
        ASSERT_EQ(0, OpenListeningSockets(1));
        char pidPath[kPathBufSize];
        ASSERT_EQ(0, WritePidFile(ExpandedPidFile(pidPath), getpid()));
        ASSERT_EQ(0, CreateSlotTable(static_cast<size_t>(PoolParameters.maxChildren)));
        master = fork();
        ASSERT_GE(master, 0);
        if (master == 0) {
            setpgid(0, 0);
            ForkMarker = getpid();
            signal(SIGPIPE, SIG_IGN);
            Handle(SIGCHLD, OnChild);
            Handle(SIGALRM, OnAlarm);
            Handle(SIGTERM, OnTerminate);
            Handle(SIGHUP, OnReload);
            Handle(SIGUSR1, OnStatistics);
            SessionCommands = TestCommands;
            PoolReloadRoutine = TestReload;
            PoolShutdownRoutine = TestShutdown;
            if (inMaster) inMaster();
            _exit(RunProcessPool());
        }
        group = master;
        FreeSlotTable();
        CloseListeners(0, 0); // the master's copies serve; ours are closed as the launcher's are
    }
    // The master's exit status, or -1 when it did not end within the seconds given.
    int WaitMaster(int seconds) {
        for (int i = 0; i < seconds * 20; ++i) {
            int status = 0;
            const pid_t r = waitpid(master, &status, WNOHANG);
            if (r == master) {
                master = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(50000);
        }
        return -1;
    }
    // Waits until the process (a child of the master) has ended and been reaped.
    static bool WaitGone(pid_t pid, int seconds) {
        for (int i = 0; i < seconds * 20; ++i) {
            if (kill(pid, 0) != 0 && errno == ESRCH) return true;
            usleep(50000);
        }
        return false;
    }
    std::string Log() const { return ReadFile(dir / "log"); }
    // The live and busy children as the statistics line shows them after SIGUSR1.
    std::pair<int, int> Children() {
        static const std::regex line("processes pool statistics: .*curr = (\\d+) busy = (\\d+)");
        const size_t before = CountStatistics();
        kill(master, SIGUSR1);
        for (int i = 0; i < 200 && CountStatistics() == before; ++i) usleep(50000);
        const std::string log = Log();
        const size_t at = log.rfind("processes pool statistics: ");
        std::smatch match;
        const std::string last = at == std::string::npos ? "" : log.substr(at, log.find('\n', at) - at);
        if (!std::regex_search(last, match, line)) return {-1, -1};
        return {std::stoi(match[1]), std::stoi(match[2])};
    }
    size_t CountStatistics() const {
        const std::string log = Log();
        size_t n = 0;
        for (size_t at = log.find("processes pool statistics: "); at != std::string::npos;
             at = log.find("processes pool statistics: ", at + 1))
            ++n;
        return n;
    }
    // Waits until the statistics show `alive` children; false after the seconds given.
    bool WaitForChildren(int alive, int seconds) {
        for (int i = 0; i < seconds * 4; ++i) {
            if (Children().first == alive) return true;
            usleep(250000);
        }
        return false;
    }
    int Connect() { return ConnectUnix(socketPath); }

    ScratchDir dir;
    std::string socketPath;
    ProcessPoolParameters saved{};
    pid_t master = 0;
    pid_t group = 0;
};

TEST_F(PoolTest, ServesCommandsAndShutsDown) {
    Start();
    const int client = Connect();
    ASSERT_GE(client, 0);
    const int64_t child = Ask(client, kWhoAmI);
    ASSERT_GT(child, 0);
    EXPECT_NE(master, child);
    EXPECT_EQ(child, Ask(client, kWhoAmI)); // the same child, command after command
    EXPECT_EQ(3, Ask(client, kFlags));
    close(client);

    ASSERT_EQ(0, kill(master, SIGTERM));
    EXPECT_EQ(0, WaitMaster(30));
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("Shutting down daemon (signal 15 received)...")) << log;
    EXPECT_NE(0, access((dir / "tarvod.pid").c_str(), F_OK));
    EXPECT_NE(0, access(socketPath.c_str(), F_OK));
    EXPECT_NE(0, kill(static_cast<pid_t>(child), 0));
    EXPECT_EQ(std::string::npos, log.find("not responding")) << log;
}

// K clients hold K children up to the maximum; the next client waits until one is free.
TEST_F(PoolTest, ClientsHoldChildrenUpToTheMaximum) {
    PoolParameters.maxChildren = 3;
    Start();
    std::vector<int> clients;
    std::vector<int64_t> pids;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(Connect());
        ASSERT_GE(clients.back(), 0);
        pids.push_back(Ask(clients.back(), kWhoAmI));
        ASSERT_GT(pids.back(), 0);
    }
    EXPECT_NE(pids[0], pids[1]);
    EXPECT_NE(pids[1], pids[2]);
    EXPECT_NE(pids[0], pids[2]);
    // A child holds nothing of the slots started before it.
    EXPECT_EQ(Ask(clients[0], kOpen), Ask(clients[2], kOpen));
    const int waiting = Connect();
    ASSERT_GE(waiting, 0);
    EXPECT_EQ(-2, Ask(waiting, kWhoAmI, {}, 1500));
    EXPECT_EQ(3, Children().first);

    close(clients[0]);
    const int64_t served = ReadReply(waiting, 20000);
    EXPECT_EQ(pids[0], served);
    close(waiting);
    for (size_t i = 1; i < clients.size(); ++i) close(clients[i]);
    EXPECT_NE(std::string::npos, Log().find("creating fails = ")) << Log();
}

TEST_F(PoolTest, PoolShrinksToTheMinimumAfterABurst) {
    PoolParameters = ProcessPoolParameters{1, 4, 1, 1, 1, 1};
    Start();
    std::vector<int> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(Connect());
        ASSERT_GT(Ask(clients.back(), kWhoAmI), 0);
    }
    EXPECT_GE(Children().first, 3);
    for (int fd : clients) close(fd);
    EXPECT_TRUE(WaitForChildren(1, 30)) << Log();
    // Still serving.
    const int client = Connect();
    EXPECT_GT(Ask(client, kWhoAmI), 0);
    close(client);
}

TEST_F(PoolTest, KilledChildIsReplacedAndItsClientSeesTheEnd) {
    PoolParameters.minChildren = 2;
    Start();
    const int client = Connect();
    const int64_t victim = Ask(client, kWhoAmI);
    ASSERT_GT(victim, 0);
    ASSERT_EQ(0, kill(static_cast<pid_t>(victim), SIGKILL));
    EXPECT_EQ(-1, ReadReply(client, 20000));
    close(client);

    EXPECT_TRUE(WaitForChildren(2, 30)) << Log();
    const int next = Connect();
    const int64_t other = Ask(next, kWhoAmI);
    EXPECT_GT(other, 0);
    EXPECT_NE(victim, other);
    close(next);
    EXPECT_EQ(std::string::npos, Log().find("not responding")) << Log();
}

// The client keeps its connection across a reload; a new child answers its next command.
TEST_F(PoolTest, ConnectionIsHandedBackAcrossAReload) {
    Start();
    const int client = Connect();
    const int64_t before = Ask(client, kWhoAmI);
    ASSERT_GT(before, 0);
    ASSERT_EQ(0, kill(master, SIGHUP));
    ASSERT_TRUE(WaitGone(static_cast<pid_t>(before), 20));
    ASSERT_EQ(0, access(ReloadMarker.c_str(), F_OK));
    const int64_t after = Ask(client, kWhoAmI);
    EXPECT_GT(after, 0);
    EXPECT_NE(before, after);
    EXPECT_EQ(after, Ask(client, kWhoAmI));
    close(client);
    EXPECT_EQ(std::string::npos, Log().find("parent pipe")) << Log();
}

// A command already running when the reload comes is answered first; the connection then moves.
TEST_F(PoolTest, CommandInProgressFinishesBeforeTheHandBack) {
    Start();
    const int client = Connect();
    const int64_t before = Ask(client, kWhoAmI);
    ASSERT_GT(before, 0);
    const uint32_t words[2] = {htonl(kHold), htonl(1)};
    ASSERT_EQ(8, send(client, words, sizeof words, MSG_NOSIGNAL));
    ASSERT_EQ(1, ReadReply(client, 20000)) << "the command has begun";
    ASSERT_EQ(0, kill(master, SIGHUP));
    // The rest of the command comes after the child was told to hand back.
    ASSERT_EQ(2, ReadReply(client, 90000)) << "the child was told";
    const uint32_t rest = htonl(2);
    ASSERT_EQ(4, send(client, &rest, sizeof rest, MSG_NOSIGNAL));
    EXPECT_EQ(before, ReadReply(client, 20000));
    const int64_t after = Ask(client, kWhoAmI);
    EXPECT_GT(after, 0);
    EXPECT_NE(before, after);
    close(client);
}

// The handed-back connection of a TCP client keeps its address for the log prefix.
TEST_F(PoolTest, HandedBackTcpConnectionKeepsItsPeerAddress) {
    ReservedPort reserved;
    const int port = reserved.port();
    ASSERT_GT(port, 0);
    AddInetSpec(port, {"127.0.0.1"});
    Start();
    const int client = ConnectLoopback(port);
    ASSERT_GE(client, 0);
    auto peer = [&] {
        const uint32_t code = htonl(kPeer);
        if (send(client, &code, sizeof code, MSG_NOSIGNAL) != sizeof code) return std::string("(send)");
        const int64_t length = ReadReply(client, 20000);
        if (length <= 0 || length > 300) return std::string("(length)");
        std::string text(static_cast<size_t>(length), '\0');
        size_t got = 0;
        while (got < text.size() && Readable(client, 20000)) {
            const ssize_t n = recv(client, &text[got], text.size() - got, 0);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        return text.substr(0, text.find('\0'));
    };
    const int64_t before = Ask(client, kWhoAmI);
    ASSERT_GT(before, 0);
    EXPECT_EQ("127.0.0.1", peer());
    ASSERT_EQ(0, kill(master, SIGHUP));
    ASSERT_TRUE(WaitGone(static_cast<pid_t>(before), 20));
    EXPECT_EQ("127.0.0.1", peer());
    EXPECT_NE(before, Ask(client, kWhoAmI));
    close(client);
}

// A child told to stop between two commands of its client (an idle stop that met a command) hands
// the connection back: another child answers the client's next command.
TEST_F(PoolTest, StoppedChildHandsItsClientToAnother) {
    Start();
    const int client = Connect();
    ASSERT_GE(client, 0);
    const int64_t stopped = Ask(client, kStopped);
    ASSERT_GT(stopped, 0);
    const int64_t next = Ask(client, kWhoAmI);
    EXPECT_GT(next, 0) << "the connection was dropped\n" << Log();
    EXPECT_NE(stopped, next);
    EXPECT_TRUE(WaitGone(static_cast<pid_t>(stopped), 20));
    EXPECT_EQ(next, Ask(client, kWhoAmI));
    close(client);
    EXPECT_EQ(std::string::npos, Log().find("parent pipe")) << Log();
}

// A reload that lowers the maximum below the connections handed back: the surplus waits for a
// slot instead of being closed, and each client is answered in turn as the ones before it leave.
TEST_F(PoolTest, ConnectionsBeyondALowerMaximumWaitForASlot) {
    Start();
    std::vector<int> clients;
    std::vector<int64_t> before;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(Connect());
        ASSERT_GE(clients.back(), 0);
        before.push_back(Ask(clients.back(), kWhoAmI));
        ASSERT_GT(before.back(), 0);
    }
    ASSERT_TRUE(dir.Write("reloaded.max1", ""));
    ASSERT_EQ(0, kill(master, SIGHUP));
    for (int64_t pid : before) ASSERT_TRUE(WaitGone(static_cast<pid_t>(pid), 20));
    const uint32_t code = htonl(kWhoAmI);
    for (int fd : clients) ASSERT_EQ(4, send(fd, &code, sizeof code, MSG_NOSIGNAL));
    // One child at a time: the one that answers is closed, and the next client gets the slot.
    while (!clients.empty()) {
        std::vector<pollfd> set;
        for (int fd : clients) set.push_back(pollfd{fd, POLLIN, 0});
        ASSERT_GT(poll(set.data(), set.size(), 20000), 0) << clients.size() << " clients wait\n" << Log();
        size_t k = 0;
        while (!(set[k].revents & (POLLIN | POLLHUP))) ++k;
        EXPECT_GT(ReadReply(clients[k], 20000), 0) << "a connection was dropped\n" << Log();
        close(clients[k]);
        clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(k));
    }
    const int late = Connect();
    EXPECT_GT(Ask(late, kWhoAmI), 0);
    close(late);
    EXPECT_EQ(std::string::npos, Log().find("parent pipe")) << Log();
}

TEST_F(PoolTest, FailedReloadEndsTheMaster) {
    Start();
    const int client = Connect();
    const int64_t child = Ask(client, kWhoAmI);
    ASSERT_GT(child, 0);
    ASSERT_TRUE(dir.Write("reloaded.fail", ""));
    ASSERT_EQ(0, kill(master, SIGHUP));
    EXPECT_EQ(1, WaitMaster(30));
    EXPECT_TRUE(WaitGone(static_cast<pid_t>(child), 20));
    EXPECT_NE(0, access((dir / "tarvod.pid").c_str(), F_OK));
    EXPECT_NE(std::string::npos, Log().find(std::string(MessageText(219)) + "\n")) << Log();
    close(client);
}

// Too few descriptors for more than one child: the failures are counted, the daemon goes on with
// the child it has.
void LimitDescriptorsToOneChild() {
    int free = 0;
    int fd = 0;
    for (; free < 6; ++fd)
        if (fcntl(fd, F_GETFD) < 0) ++free;
    rlimit limit{static_cast<rlim_t>(fd), static_cast<rlim_t>(fd)};
    setrlimit(RLIMIT_NOFILE, &limit);
}

TEST_F(PoolTest, FailedStartsAreCountedAndServingGoesOn) {
    PoolParameters = ProcessPoolParameters{3, 4, 120, 1, 1, 1};
    Start(LimitDescriptorsToOneChild);
    const int client = Connect();
    ASSERT_GE(client, 0);
    EXPECT_GT(Ask(client, kWhoAmI), 0);
    close(client);
    EXPECT_EQ(1, Children().first);
    static const std::regex fails("creating fails = ([1-9]\\d*) ");
    EXPECT_TRUE(std::regex_search(Log(), fails)) << Log();
    EXPECT_NE(std::string::npos, Log().find("Cannot create pipe for communication with scanning childs"))
        << Log();
    ASSERT_EQ(0, kill(master, SIGTERM));
    EXPECT_EQ(0, WaitMaster(30));
}

} // namespace
