// The master's side of the pool against stand-in children: the test writes the status words itself,
// and each slot's pid is a real process that only waits, so that signals and kills reach something.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include "base/filelayer.h"
#include "tests/unix/test_support.h"
#include "unix/config/daemonsettings.h"
#include "unix/pool/descpass.h"
#include "unix/config/poolparams.h"
#include "unix/pool/processpool.h"
#include "unix/protocol/protocolsettings.h"
#include "unix/protocol/signalflags.h"

namespace {

struct StandIn {
    pid_t pid = 0;
    int statusWrite = -1; // the child's end of the status pipe
    int replyRead = -1;   // the child's end of the reply pipe
};

class PoolMasterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        LogToScratch(dir);
        // A slot started for real writes its busy file: here, not where an installed daemon has it.
        memcpy(savedBusyFile, BusyFile, sizeof savedBusyFile);
        snprintf(BusyFile, sizeof BusyFile, "%s", (dir / "tarvod.bsy").c_str());
        saved = PoolParameters;
        PoolParameters.minChildren = 1;
        PoolParameters.maxChildren = 8;
        PoolParameters.idleTimeout = 10;
        PoolParameters.stopTimeout = 1;
        PoolStats = PoolCounters{};
        // Whatever an earlier test of the process left: a set reload flag spares unanswering children.
        ReloadFlag = ExitFlag = 0;
        // A dead slot is not replaced while stopping: no real child is forked here.
        StopFlag = 1;
        standIns.reserve(8);
        ASSERT_EQ(0, CreateSlotTable(8));
    }
    void TearDown() override {
        for (StandIn& s : standIns) {
            close(s.statusWrite);
            close(s.replyRead);
            // Only a stand-in not reaped yet: a reaped one's pid may belong to anybody by now.
            if (s.pid > 0 && waitpid(s.pid, nullptr, WNOHANG) == 0) {
                kill(s.pid, SIGKILL);
                waitpid(s.pid, nullptr, 0);
            }
        }
        FreeSlotTable();
        DropPendingConnections();
        PoolParameters = saved;
        PoolStats = PoolCounters{};
        StopFlag = 0;
        memcpy(BusyFile, savedBusyFile, sizeof BusyFile);
    }

    // A live slot whose child does nothing but wait.
    StandIn& AddChild(size_t index) {
        StandIn s;
        s.pid = fork();
        if (s.pid == 0) {
            for (;;) pause();
        }
        int status[2], reply[2], pair[2];
        EXPECT_EQ(0, pipe2(status, O_CLOEXEC | O_NONBLOCK));
        EXPECT_EQ(0, pipe2(reply, O_CLOEXEC | O_NONBLOCK));
        EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair));
        ChildSlot& slot = ChildSlots[index];
        slot.pid = s.pid;
        slot.statusRead = status[0];
        slot.replyWrite = reply[1];
        slot.masterPairEnd = pair[0];
        slot.childPairEnd = pair[1];
        slot.lastChange = time(nullptr);
        s.statusWrite = status[1];
        s.replyRead = reply[0];
        ++PoolStats.alive;
        standIns.push_back(s);
        return standIns.back();
    }
    void Write(const StandIn& s, std::vector<uint32_t> words) {
        const ssize_t size = static_cast<ssize_t>(words.size() * sizeof(uint32_t));
        ASSERT_EQ(size, write(s.statusWrite, words.data(), static_cast<size_t>(size)));
    }
    // The master's answer, or -1 when none is there.
    static int64_t Answer(const StandIn& s) {
        uint32_t word = 0;
        return read(s.replyRead, &word, sizeof word) == sizeof word ? static_cast<int64_t>(word) : -1;
    }
    static bool Gone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

    ScratchDir dir;
    ProcessPoolParameters saved{};
    char savedBusyFile[sizeof BusyFile] = {};
    std::vector<StandIn> standIns;
};

TEST_F(PoolMasterTest, CommandWordsAreCountedAndAnswered) {
    StandIn& child = AddChild(0);
    ChildSlots[0].stopTime = time(nullptr) - 100; // told to stop, then it took a client
    Write(child, {kChildCommandBegins});
    EXPECT_EQ(1, PollChildren(0));
    EXPECT_EQ(0, Answer(child));
    EXPECT_EQ(1, PoolStats.busy);
    EXPECT_NE(0, ChildSlots[0].busySince);
    EXPECT_EQ(0, ChildSlots[0].stopTime);
    EXPECT_EQ(1, NeedMoreChildren()); // no idle child left

    PoolWatchdog(); // the stop mark is gone: the busy child lives on
    EXPECT_FALSE(Gone(child.pid));
    EXPECT_EQ(child.pid, ChildSlots[0].pid);

    Write(child, {kChildCommandDone, 0x1234});
    EXPECT_EQ(1, PollChildren(0));
    EXPECT_EQ(0x1234, Answer(child));
    EXPECT_EQ(0, PoolStats.busy);
    EXPECT_EQ(1, PoolStats.requests);
    EXPECT_EQ(0, ChildSlots[0].busySince);
    EXPECT_EQ(0, NeedMoreChildren());

    Write(child, {kChildIdle});
    EXPECT_EQ(1, PollChildren(0));
    EXPECT_EQ(-1, Answer(child));
}

TEST_F(PoolMasterTest, HandedBackConnectionBecomesPending) {
    StandIn& child = AddChild(0);
    int client[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, client));
    ASSERT_EQ(0, SendDescriptor(ChildSlots[0].childPairEnd, client[0]));
    Write(child, {kChildHandsBack});
    EXPECT_EQ(1, PollChildren(0));
    EXPECT_EQ(kChildHandsBack, Answer(child));
    EXPECT_EQ(1u, PendingConnectionCount());
    EXPECT_EQ(-1, ChildSlots[0].masterPairEnd);
    EXPECT_EQ(-1, ChildSlots[0].childPairEnd);
    // Dropping the master's copy leaves the connection itself alone (client[0] stands for the copy
    // that a child serves).
    DropPendingConnections();
    char byte = 0;
    EXPECT_EQ(-1, recv(client[1], &byte, 1, MSG_DONTWAIT));
    EXPECT_EQ(EAGAIN, errno);
    close(client[0]);
    close(client[1]);
}

TEST_F(PoolMasterTest, UnknownWordKillsTheChild) {
    StandIn& child = AddChild(0);
    Write(child, {7});
    EXPECT_EQ(1, PollChildren(0));
    EXPECT_TRUE(Gone(child.pid));
    EXPECT_EQ(0, ChildSlots[0].pid);
    EXPECT_EQ(-1, ChildSlots[0].statusRead);
    EXPECT_EQ(0, PoolStats.alive);
    char text[200];
    snprintf(text, sizeof text, MessageText(176), 7, static_cast<int>(child.pid));
    EXPECT_NE(std::string::npos, ReadFile(dir / "log").find(text));
}

TEST_F(PoolMasterTest, DeadChildIsReapedSilently) {
    StandIn& child = AddChild(0);
    kill(child.pid, SIGKILL);
    close(child.statusWrite); // what its death does to the pipe
    child.statusWrite = -1;
    siginfo_t info{};
    ASSERT_EQ(0, waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOWAIT)); // dead, not reaped
    EXPECT_EQ(1, PollChildren(0));
    EXPECT_EQ(0, ChildSlots[0].pid);
    EXPECT_EQ(0, PoolStats.alive);
    EXPECT_EQ(std::string::npos, ReadFile(dir / "log").find("not responding"));
}

// An answer that cannot be written: a live child is killed as not responding, a dead one (whose
// death the master has not seen yet) is only reaped.
TEST_F(PoolMasterTest, FailedAnswerKillsOnlyALiveChild) {
    signal(SIGPIPE, SIG_IGN);
    StandIn& live = AddChild(0);
    StandIn& dead = AddChild(1);
    for (StandIn* s : {&live, &dead}) {
        Write(*s, {kChildCommandBegins});
        close(s->replyRead);
        s->replyRead = -1;
    }
    kill(dead.pid, SIGKILL);
    siginfo_t info{};
    ASSERT_EQ(0, waitid(P_PID, static_cast<id_t>(dead.pid), &info, WEXITED | WNOWAIT));
    const pid_t livePid = live.pid;
    EXPECT_EQ(1, PollChildren(0));
    EXPECT_EQ(0, ChildSlots[0].pid);
    EXPECT_EQ(0, ChildSlots[1].pid);
    EXPECT_EQ(0, PoolStats.alive);
    EXPECT_EQ(0, PoolStats.busy);
    char text[200];
    snprintf(text, sizeof text, MessageText(175), static_cast<int>(livePid));
    const std::string log = ReadFile(dir / "log");
    EXPECT_NE(std::string::npos, log.find(text)) << log;
    snprintf(text, sizeof text, MessageText(175), static_cast<int>(dead.pid));
    EXPECT_EQ(std::string::npos, log.find(text)) << log;
    signal(SIGPIPE, SIG_DFL);
}

// A child killed during the exchange lets go of its pipes a moment before the kernel reports it
// ended: the failed answer is its death, not a hang.
TEST_F(PoolMasterTest, ChildOnItsWayOutIsNotReportedAsHung) {
    signal(SIGPIPE, SIG_IGN);
    StandIn& dying = AddChild(0);
    Write(dying, {kChildCommandBegins});
    close(dying.statusWrite);
    close(dying.replyRead);
    dying.statusWrite = dying.replyRead = -1;
    EXPECT_EQ(1, PollChildren(0));
    EXPECT_EQ(-1, ChildSlots[0].statusRead) << "no longer polled";
    char text[200];
    snprintf(text, sizeof text, MessageText(175), static_cast<int>(dying.pid));
    const std::string log = ReadFile(dir / "log");
    EXPECT_EQ(std::string::npos, log.find(text)) << log;
    signal(SIGPIPE, SIG_DFL);
}

// A slot that the SIGCHLD handler queued is started before the wait, and its child is waited on
// in the same round: here it serves a handed-back connection and reports the command at once.
TEST_F(PoolMasterTest, QueuedSlotStartsBeforeTheWait) {
    const int savedSocket = SocketTimeout;
    const int savedFile = FileTimeout;
    // Without the queued child in the round, the wait would last all of this and end empty.
    SocketTimeout = 20;
    FileTimeout = 0;
    PoolParameters.minChildren = 2;
    StandIn& dead = AddChild(0);
    StandIn& other = AddChild(1);
    int client[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, client));
    ASSERT_EQ(0, SendDescriptor(ChildSlots[1].childPairEnd, client[0]));
    close(client[0]);
    Write(other, {kChildHandsBack});
    ASSERT_EQ(1, PollChildren(0));
    ASSERT_EQ(1u, PendingConnectionCount());

    kill(dead.pid, SIGKILL);
    siginfo_t info{};
    ASSERT_EQ(0, waitid(P_PID, static_cast<id_t>(dead.pid), &info, WEXITED | WNOWAIT));
    StopFlag = 0;
    ReapChildren(1); // as the handler does: the slot is queued, not started
    EXPECT_EQ(0, ChildSlots[0].pid);
    const int polled = PollChildren(0);
    const pid_t started = ChildSlots[0].pid;
    StopFlag = 1;
    EXPECT_EQ(1, polled);
    EXPECT_GT(started, 0);
    EXPECT_NE(0, ChildSlots[0].busySince);
    EXPECT_EQ(0u, PendingConnectionCount());
    if (started > 0) KillChild(0, 0);
    close(client[1]);
    SocketTimeout = savedSocket;
    FileTimeout = savedFile;
}

// Idle children beyond the minimum are asked to stop, counting those already asked; a child that
// does not stop in time is killed.
TEST_F(PoolMasterTest, WatchdogStopsIdleExtraChildren) {
    for (size_t i = 0; i < 4; ++i) {
        AddChild(i);
        ChildSlots[i].lastChange = time(nullptr) - 100;
    }
    PoolWatchdog();
    int asked = 0;
    for (size_t i = 0; i < 4; ++i) asked += ChildSlots[i].stopTime != 0;
    EXPECT_EQ(3, asked);
    PoolWatchdog(); // none of them has been reaped yet
    asked = 0;
    for (size_t i = 0; i < 4; ++i) asked += ChildSlots[i].stopTime != 0;
    EXPECT_EQ(3, asked);

    for (size_t i = 0; i < 4; ++i) {
        if (ChildSlots[i].stopTime != 0) {
            waitpid(ChildSlots[i].pid, nullptr, 0); // SIGUSR1 ended the stand-in
            ChildSlots[i].pid = 0;
            ChildSlots[i].stopTime = 0;
            --PoolStats.alive;
        }
    }
    size_t last = 0;
    while (ChildSlots[last].pid == 0) ++last;
    const pid_t pid = ChildSlots[last].pid;
    PoolWatchdog(); // the last one is the minimum: it stays
    EXPECT_EQ(0, ChildSlots[last].stopTime);

    ChildSlots[last].stopTime = time(nullptr) - 100; // asked long ago, still there
    PoolWatchdog();
    EXPECT_TRUE(Gone(pid));
    EXPECT_EQ(0, ChildSlots[last].pid);
    EXPECT_EQ(0, PoolStats.alive);
}

TEST_F(PoolMasterTest, ChildLimitStaysWithinTheDescriptorBudget) {
    const int32_t savedLimit = OpenFileLimit;
    OpenFileLimit = 1024;
    EXPECT_EQ(8, PoolChildLimit());
    OpenFileLimit = OpenFileCount + 16 + 3 * 5;
    EXPECT_EQ(5, PoolChildLimit());
    OpenFileLimit = 10;
    EXPECT_EQ(1, PoolChildLimit());
    OpenFileLimit = savedLimit;
}

TEST_F(PoolMasterTest, StatisticsLine) {
    PoolStats.startTime = time(nullptr) - 10;
    PoolStats.alive = 3;
    PoolStats.busy = 1;
    PoolStats.creationFailures = 2;
    PoolStats.newProcessRequests = 5;
    PoolStats.busySeconds = 20;
    PoolStats.meanSeconds = 1.5;
    const PoolReportCopies report = PoolReport;
    PoolReport = PoolReportCopies{2, 8, 8, 61};
    PrintPoolStatistics();
    PoolReport = report;
    const std::string log = ReadFile(dir / "log");
    EXPECT_NE(std::string::npos,
              log.find("processes pool statistics: min = 2 max = 8 freetime = 61 busy max = 8 avg = "))
        << log;
    EXPECT_NE(std::string::npos, log.find("requests for new process = 5 (")) << log;
    EXPECT_NE(std::string::npos, log.find(" num/sec) creating fails = 2 max processing time = ")) << log;
    EXPECT_NE(std::string::npos, log.find(" ms; avg = 1500 ms curr = 3 busy = 1\n")) << log;
}

} // namespace
