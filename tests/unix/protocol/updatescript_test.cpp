// Command 9: the update script's raw wait status, and what the script gets from the serving process.

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <dirent.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/base/scratch_dir.h"
#include "tests/base/waiting_probe.h"
#include "tests/unix/logcapture.h"
#include "tests/unix/peer.h"
#include "unix/protocol/dispatch.h"
#include "unix/protocol/protocolsettings.h"
#include "unix/protocol/signalflags.h"
#include "unix/protocol/updatescript.h"

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class UpdateScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        script = dir / "update.pl";
        UpdateScriptPath = script.c_str();
    }
    void TearDown() override { UpdateScriptPath = kDefaultUpdateScriptPath; }

    void WriteScript(const std::string& body) {
        ASSERT_TRUE(dir.Write("update.pl", "#!/bin/sh\n" + body));
        ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    }

    ScratchDir dir;
    std::string script;
};

TEST_F(UpdateScriptTest, ReplyIsTheRawWaitStatus) {
    const struct {
        const char* body;
        uint32_t status;
    } cases[] = {
        {"exit 0\n", 0},
        {"exit 1\n", 0x100},
        {"exit 3\n", 0x300},
        {"kill -TERM $$\n", SIGTERM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        WriteScript(c.body);
        EXPECT_EQ(RunUpdateScriptOnce(), c.status);
    }
}

TEST_F(UpdateScriptTest, ScriptGetsItsArgument) {
    WriteScript("printf '%s|' \"$@\" > \"$(dirname \"$0\")/args\"\n");
    EXPECT_EQ(RunUpdateScriptOnce(), 0u);
    EXPECT_EQ(ReadText(dir / "args"), "-not-need-restart|");
}

TEST_F(UpdateScriptTest, MissingScriptAnswersExitCodeOne) {
    LogCapture capture; // messages, no console; then into a file that the forked process writes too
    LogToSyslog = 0;
    const int logTime = LogTime;
    LogTime = 0;
    const std::string logFile = dir / "tarvo.log";
    snprintf(LogFileName, sizeof LogFileName, "%s", logFile.c_str());
    UpdateScriptPath = "/nonexistent/tarvo/update.pl";
    EXPECT_EQ(RunUpdateScriptOnce(), 0x100u);
    LogFileName[0] = '\0';
    LogTime = logTime;
    EXPECT_EQ(ReadText(logFile), "cannot exec /nonexistent/tarvo/update.pl - No such file or directory\n");
}

TEST_F(UpdateScriptTest, OverTheDispatcher) {
    WriteScript("exit 2\n");
    SocketPair pair;
    const pid_t server = fork();
    if (server == 0) {
        close(pair.theirs);
        SocketTimeout = 10;
        signal(SIGCHLD, SIG_IGN); // as in a serving child
        const int result = DispatchCommand(pair.ours, false);
        _exit(result == 9 ? 0 : 1);
    }
    pair.CloseOurs();
    ASSERT_TRUE(PeerWrite(pair.theirs, Word(9)));
    EXPECT_EQ(PeerRead(pair.theirs, 4), Word(0x200));
    EXPECT_EQ(WaitPeer(server), 0);
}

// The script sees its signals at their defaults and none of the daemon's descriptors.
TEST_F(UpdateScriptTest, ScriptStartsClean) {
    // Its status read with builtins: while the shell forks, it blocks every signal.
    WriteScript("d=$(dirname \"$0\")\n"
                "while IFS= read -r l; do case $l in SigBlk:*|SigIgn:*) echo \"$l\";; esac\n"
                "done < /proc/$$/status > \"$d/signals\"\n"
                "for n in 37 38; do [ -e /proc/$$/fd/$n ] && echo $n; done > \"$d/fds\"\n"
                "exit 0\n");
    const pid_t server = fork();
    if (server == 0) {
        // A serving child: signals ignored and blocked, a client socket and a file open.
        signal(SIGCHLD, SIG_IGN);
        signal(SIGPIPE, SIG_IGN);
        signal(SIGHUP, SIG_IGN);
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGUSR1);
        sigaddset(&blocked, SIGALRM);
        sigprocmask(SIG_BLOCK, &blocked, nullptr);
        SocketPair pair;
        dup2(pair.ours, 37);
        dup2(open("/dev/null", O_RDONLY), 38);
        _exit(RunUpdateScriptOnce() == 0 ? 0 : 1);
    }
    ASSERT_EQ(WaitPeer(server), 0);
    // Signals the serving process set up (others may come from whoever started the tests).
    const std::string signals = ReadText(dir / "signals");
    const size_t blk = signals.find("SigBlk:\t");
    const size_t ign = signals.find("SigIgn:\t");
    ASSERT_NE(blk, std::string::npos) << signals;
    ASSERT_NE(ign, std::string::npos) << signals;
    const unsigned long long blocked = std::stoull(signals.substr(blk + 8, 16), nullptr, 16);
    const unsigned long long ignored = std::stoull(signals.substr(ign + 8, 16), nullptr, 16);
    for (int sig : {SIGUSR1, SIGALRM}) EXPECT_EQ(blocked & (1ull << (sig - 1)), 0u) << "blocked " << sig;
    for (int sig : {SIGCHLD, SIGPIPE, SIGHUP})
        EXPECT_EQ(ignored & (1ull << (sig - 1)), 0u) << "ignored " << sig;
    EXPECT_EQ(ReadText(dir / "fds"), "");
}

// The path of a file the process has open, for every descriptor; empty when it has none.
bool HasOpen(pid_t pid, const std::string& path) {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(fds.c_str());
    if (!dir) return false;
    bool found = false;
    while (const dirent* entry = readdir(dir)) {
        char target[4096];
        const ssize_t n = readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == path) found = true;
    }
    closedir(dir);
    return found;
}

// Waits up to a generous bound for a condition that a working program meets at once.
template <typename F> bool WaitFor(F done) {
    for (int i = 0; i < 3000; ++i) {
        if (done()) return true;
        usleep(10000);
    }
    return done();
}

// Two serving processes asking at once: the second run starts after the first has ended. The first
// run is held open until the second process stands at its turn.
TEST_F(UpdateScriptTest, RunsTakeTurns) {
    const std::string gate = dir / "gate";
    ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
    WriteScript("d=$(dirname \"$0\")\n"
                "echo start >> \"$d/runs\"\n"
                "if [ ! -e \"$d/first\" ]; then : > \"$d/first\"; read x < \"$d/gate\"; fi\n"
                "echo end >> \"$d/runs\"\n");
    const pid_t first = fork();
    if (first == 0) _exit(RunUpdateScriptOnce() == 0 ? 0 : 1);
    ASSERT_TRUE(WaitFor([&] { return ReadText(dir / "runs") == "start\n"; }));
    const pid_t second = fork();
    if (second == 0) _exit(RunUpdateScriptOnce() == 0 ? 0 : 1);
    ASSERT_TRUE(WaitFor([&] { return HasOpen(second, script); })) << "the second process at its turn";
    // Without turns the second run would start now; a generous moment for it to show.
    usleep(1000000);
    EXPECT_EQ(ReadText(dir / "runs"), "start\n");
    {
        std::ofstream open(gate);
        open << "go\n";
    }
    EXPECT_EQ(WaitPeer(first), 0);
    EXPECT_EQ(WaitPeer(second), 0);
    EXPECT_EQ(ReadText(dir / "runs"), "start\nend\nstart\nend\n");
}

// A script that does not end is killed with all it started, and the answer says so; a daemon that
// is stopping starts none; a process waiting for its turn gives up when its client goes.
TEST_F(UpdateScriptTest, HangingScriptIsKilledWithItsGroup) {
    WriteScript("d=$(dirname \"$0\")\n"
                "sleep 300 &\n"
                "echo $! > \"$d/helper\"\n"
                "wait\n");
    const uint32_t savedLimit = UpdateScriptLimitSeconds;
    UpdateScriptLimitSeconds = 1;
    const uint32_t status = RunUpdateScriptOnce();
    UpdateScriptLimitSeconds = savedLimit;
    EXPECT_TRUE(WIFSIGNALED(static_cast<int>(status)) && WTERMSIG(static_cast<int>(status)) == SIGKILL)
        << status;
    const pid_t helper = static_cast<pid_t>(std::atoi(ReadText(dir / "helper").c_str()));
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(WaitFor([&] {
        const char state = ProcessState(helper);
        return state == 0 || state == 'Z';
    })) << "what the script started goes with it";
}

TEST_F(UpdateScriptTest, NoRunOnceStoppingOrWithoutClient) {
    WriteScript("touch \"$(dirname \"$0\")/ran\"\n");
    StopPending = 1;
    EXPECT_EQ(RunUpdateScriptOnce(), 1u) << "nothing started";
    StopPending = 0;
    EXPECT_NE(access((dir / "ran").c_str(), F_OK), 0);

    // Another process has the turn; the client of this one goes while it waits.
    const int holder = open(script.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    SocketPair pair;
    const pid_t server = fork();
    if (server == 0) {
        close(pair.theirs);
        _exit(RunUpdateScriptOnce(pair.ours) == 1 ? 0 : 1);
    }
    ASSERT_TRUE(WaitFor([&] { return HasOpen(server, script); }));
    pair.CloseTheirs();
    EXPECT_EQ(WaitPeer(server), 0);
    close(holder);
    EXPECT_NE(access((dir / "ran").c_str(), F_OK), 0) << "the script did not run for nobody";
}

} // namespace
