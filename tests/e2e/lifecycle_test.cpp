// The daemon's life after the start: served connections, signals, reload and shutdown.
#include <sys/socket.h>

#include "daemon_process.h"
#include "tests/unix/reserved_port.h"
#include "wire_client.h"

namespace e2e {
namespace {

constexpr uint32_t kUnknownCommand = 6;
constexpr uint32_t kUnknownCommandReply = 0x00008000;

// One request that every pool answers: an unknown command gets its reply word and the connection
// is closed.
::testing::AssertionResult Answers(const Daemon& d) {
    WireClient client;
    if (!client.Connect(d.SocketPath())) return ::testing::AssertionFailure() << "cannot connect";
    if (!client.SendWord(kUnknownCommand)) return ::testing::AssertionFailure() << "cannot send";
    const auto reply = client.ReadWord();
    if (!reply) return ::testing::AssertionFailure() << "no reply";
    if (*reply != kUnknownCommandReply)
        return ::testing::AssertionFailure() << "reply " << std::hex << *reply;
    if (!client.ClosedByPeer()) return ::testing::AssertionFailure() << "connection left open";
    return ::testing::AssertionSuccess();
}

// The log from the last line that holds mark on.
std::string LogSince(const Daemon& d, const std::string& mark) {
    const std::string log = d.Log();
    const size_t at = log.rfind(mark);
    return at == std::string::npos ? std::string() : log.substr(at);
}

TEST(ShutdownTest, EachStopSignalEndsTheForegroundMasterCleanly) {
    for (int sig : {SIGTERM, SIGINT, SIGABRT}) {
        Daemon d;
        ASSERT_TRUE(d.StartForeground());
        EXPECT_EQ(ReadFile(d.PidPath()), std::to_string(d.Master()) + "\n" + d.SocketPath() + "\n");
        EXPECT_TRUE(Answers(d));
        ASSERT_TRUE(WaitFor([&] { return d.Pool().size() >= 2; })) << "pool of two";
        const std::vector<pid_t> pool = d.Pool();
        kill(d.Master(), sig);
        ExpectStoppedBySignal(d, sig);
        for (pid_t child : pool) EXPECT_FALSE(Alive(child)) << child;
        EXPECT_EQ(d.Leftovers(), 0);
    }
}

TEST(ShutdownTest, SecondSigtermChangesNothing) {
    Daemon d;
    ASSERT_TRUE(d.StartForeground());
    kill(d.Master(), SIGTERM);
    kill(d.Master(), SIGTERM);
    EXPECT_EQ(d.WaitMaster(), 0);
    EXPECT_EQ(Count(d.Log(), "Shutting down daemon (signal"), 1u) << d.Log();
    EXPECT_EQ(d.Leftovers(), 0);
}

TEST(ShutdownTest, DetachedDaemonLeavesNothingBehind) {
    Daemon d;
    ASSERT_TRUE(d.StartDaemon());
    ASSERT_TRUE(Answers(d));
    ASSERT_TRUE(WaitFor([&] { return d.Pool().size() >= 2; }));
    const std::vector<pid_t> pool = d.Pool();
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_FALSE(Exists(d.PidPath()));
    EXPECT_FALSE(Exists(d.SocketPath()));
    for (pid_t child : pool) EXPECT_FALSE(Alive(child)) << child;
    EXPECT_EQ(d.Leftovers(), 0);
}

TEST(StartTest, TcpListenerInThePidFileAndServing) {
    Daemon d;
    ReservedPort reserved;
    const int port = reserved.port();
    ASSERT_GT(port, 0);
    d.Set("Socket", "inet:" + std::to_string(port) + "@127.0.0.1, local:" + d.SocketPath());
    ASSERT_TRUE(d.StartDaemon());
    EXPECT_EQ(ReadFile(d.PidPath()), std::to_string(d.Master()) + "\n" + d.SocketPath() +
                                         "\n127.0.0.1:" + std::to_string(port) + "\n");
    EXPECT_NE(d.StartOutput().find("  127.0.0.1:" + std::to_string(port) + "\n"), std::string::npos)
        << d.StartOutput();
    WireClient tcp;
    ASSERT_TRUE(tcp.ConnectInet(port));
    ASSERT_TRUE(tcp.SendWord(2));
    EXPECT_EQ(tcp.ReadWord().value_or(0), 600u);
    tcp.Close();
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_EQ(d.Leftovers(), 0);
}

TEST(StartTest, StaleBusyFilesGoOthersStay) {
    Daemon d;
    for (const char* name : {"tarvod.bsy.123", "tarvod.bsy.99999", "tarvod.bsy.keep", "tarvod.bsyx.1"})
        ASSERT_TRUE(WriteFile(d.Path(name), "x"));
    ASSERT_TRUE(d.StartDaemon());
    EXPECT_FALSE(Exists(d.Path("tarvod.bsy.123")));
    EXPECT_FALSE(Exists(d.Path("tarvod.bsy.99999")));
    EXPECT_TRUE(Exists(d.Path("tarvod.bsy.keep")));
    EXPECT_TRUE(Exists(d.Path("tarvod.bsyx.1")));
    EXPECT_TRUE(Exists(d.PidPath()));
    EXPECT_EQ(d.Stop(), 0);
}

TEST(ReloadTest, SighupReplacesThePoolAndKeepsTheMaster) {
    Daemon d;
    ASSERT_TRUE(d.StartDaemon());
    ASSERT_TRUE(WaitFor([&] { return d.Pool().size() >= 2; }));
    const std::vector<pid_t> before = d.Pool();
    const int descriptors = d.KeptDescriptors(d.Master());
    for (int round = 1; round <= 3; ++round) {
        kill(d.Master(), SIGHUP);
        ASSERT_TRUE(WaitFor([&] { return Count(d.Log(), "SIGHUP received, reloading...") == size_t(round); }))
            << d.Log();
        ASSERT_TRUE(WaitFor([&] {
            const auto now = d.Pool();
            if (now.size() < 2) return false;
            for (pid_t p : now)
                for (pid_t q : before)
                    if (p == q) return false;
            return true;
        })) << d.Log();
        EXPECT_TRUE(Answers(d)) << "round " << round;
    }
    EXPECT_TRUE(Alive(d.Master()));
    EXPECT_EQ(d.PidFromFile(), d.Master());
    for (pid_t child : before) EXPECT_FALSE(Alive(child));
    // The engine was kept: no base was loaded again.
    EXPECT_EQ(Count(d.Log(), "Loading "), 2u) << d.Log();
    EXPECT_TRUE(WaitFor([&] { return d.KeptDescriptors(d.Master()) == descriptors; }))
        << d.KeptDescriptors(d.Master()) << " descriptors, " << descriptors << " before";
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_EQ(d.Leftovers(), 0);
}

TEST(ReloadTest, ReplacedEngineFileIsLoadedAgain) {
    Daemon d;
    const std::string engine = d.Path("tarvo32.dll");
    ASSERT_TRUE(WriteFile(engine, ReadFile(TARVO_ENGINE_DLL)));
    d.Set("EnginePath", engine);
    ASSERT_TRUE(d.StartDaemon());
    // A new file in its place: another inode.
    ASSERT_TRUE(WriteFile(engine + ".new", ReadFile(TARVO_ENGINE_DLL)));
    ASSERT_EQ(rename((engine + ".new").c_str(), engine.c_str()), 0);
    kill(d.Master(), SIGHUP);
    ASSERT_TRUE(WaitFor([&] {
        return LogSince(d, "SIGHUP received").find("Total virus records") != std::string::npos &&
               Count(d.Log(), "Loading ") == 4;
    })) << d.Log();
    EXPECT_TRUE(WaitFor([&] { return Answers(d); }));
    EXPECT_EQ(d.Stop(), 0);
}

TEST(ReloadTest, ConfigurationThatNoLongerLoadsEndsTheMasterWithOne) {
    Daemon d;
    ASSERT_TRUE(d.StartForeground());
    ASSERT_TRUE(WaitFor([&] { return d.Pool().size() >= 2; }));
    ASSERT_EQ(unlink(d.IniPath().c_str()), 0);
    kill(d.Master(), SIGHUP);
    EXPECT_EQ(d.WaitMaster(), 1) << d.Log();
    EXPECT_NE(d.Log().find("Shutting down daemon...\n"), std::string::npos) << d.Log();
    EXPECT_FALSE(Exists(d.PidPath()));
    EXPECT_FALSE(Exists(d.SocketPath()));
    EXPECT_EQ(d.Leftovers(), 0);
}

TEST(StatisticsTest, Sigusr1LogsThePoolOnlyWithStatisticsOn) {
    for (const bool on : {false, true}) {
        Daemon d;
        d.Set("ProcessesPool", on ? "2-8, timeout=10, stat=yes" : "2-8, timeout=10");
        ASSERT_TRUE(d.StartDaemon());
        kill(d.Master(), SIGUSR1);
        // A reload afterwards: its line shows that the signal before it was handled.
        kill(d.Master(), SIGHUP);
        ASSERT_TRUE(WaitFor([&] { return d.Log().find("SIGHUP received") != std::string::npos; }));
        const std::string before = d.Log().substr(0, d.Log().find("SIGHUP received"));
        EXPECT_EQ(before.find("processes pool statistics: ") != std::string::npos, on) << d.Log();
        EXPECT_TRUE(Alive(d.Master()));
        EXPECT_EQ(d.Stop(), 0);
    }
}

TEST(PoolTest, KilledServingChildIsReplacedAndTheDaemonServes) {
    Daemon d;
    ASSERT_TRUE(d.StartDaemon());
    ASSERT_TRUE(WaitFor([&] { return d.Pool().size() >= 2; }));
    // A client that has begun a command: its child is busy with it.
    WireClient client;
    ASSERT_TRUE(client.Connect(d.SocketPath()));
    const uint8_t half[2] = {0, 0};
    ASSERT_TRUE(client.SendBytes(half, sizeof half));
    pid_t serving = 0;
    ASSERT_TRUE(WaitFor([&] {
        for (pid_t p : d.Pool())
            if (Exists(d.Path("tarvod.bsy." + std::to_string(p)))) serving = p;
        return serving != 0;
    })) << "no busy file";
    kill(serving, SIGKILL);
    EXPECT_TRUE(client.ClosedByPeer());
    EXPECT_TRUE(WaitFor([&] {
        const auto pool = d.Pool();
        bool gone = true;
        for (pid_t p : pool) gone = gone && p != serving;
        return gone && pool.size() >= 2;
    }));
    EXPECT_TRUE(Answers(d));
    EXPECT_TRUE(Alive(d.Master()));
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_EQ(d.Leftovers(), 0);
}

} // namespace
} // namespace e2e
