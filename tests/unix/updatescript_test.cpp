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
#include <unistd.h>

#include "tests/base/scratch_dir.h"
#include "tests/unix/logcapture.h"
#include "tests/unix/peer.h"
#include "unix/tvdispatch.h"
#include "unix/tvprotosettings.h"
#include "unix/updatescript.h"

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

// Two serving processes asking at once: the second run starts after the first has ended.
TEST_F(UpdateScriptTest, RunsTakeTurns) {
    WriteScript("d=$(dirname \"$0\")\n"
                "echo start >> \"$d/runs\"\n"
                "sleep 1\n"
                "echo end >> \"$d/runs\"\n");
    pid_t servers[2];
    for (pid_t& server : servers) {
        server = fork();
        if (server == 0) _exit(RunUpdateScriptOnce() == 0 ? 0 : 1);
    }
    for (pid_t server : servers) EXPECT_EQ(WaitPeer(server), 0);
    EXPECT_EQ(ReadText(dir / "runs"), "start\nend\nstart\nend\n");
}

} // namespace
