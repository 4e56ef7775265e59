// Reloads that come close together, under load, or with a stop signal in the middle: no connection
// handed back is lost, and a stop is never swallowed by the reload it met.
#include "daemon_process.h"
#include "request_loop.h"

namespace e2e {
namespace {

constexpr char kReloadLine[] = "SIGHUP received, reloading...";

// Clients that each hold a child: one request answered on every connection.
::testing::AssertionResult Connected(const Daemon& d, std::vector<WireClient>& clients) {
    for (size_t i = 0; i < clients.size(); ++i) {
        if (!clients[i].Connect(d.SocketPath())) return ::testing::AssertionFailure() << "connect " << i;
        if (!clients[i].SendWord(2) || clients[i].ReadWord().value_or(0) != 600)
            return ::testing::AssertionFailure() << "first request of client " << i;
    }
    return ::testing::AssertionSuccess();
}

// A SIGHUP to the master, and the wait until it has loaded the bases a second time.
::testing::AssertionResult ReloadedOnce(const Daemon& d) {
    kill(d.Master(), SIGHUP);
    if (WaitFor([&] { return Count(d.Log(), "Total virus records") == 2; }))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << d.Log();
}

// A daemon with room for more children than clients, and eight clients that each hold one.
class ReloadStormTest : public ::testing::Test {
protected:
    void SetUp() override {
        d.Set("ProcessesPool", "2-16, timeout=10");
        ASSERT_TRUE(d.StartDaemon());
        clients.resize(8);
        ASSERT_TRUE(Connected(d, clients));
    }

    Daemon d;
    std::vector<WireClient> clients;
};

TEST(ReloadStopTest, SigintDuringAReloadHeldOpenBySlowClientStopsTheDaemon) {
    for (int sig : {SIGINT, SIGABRT}) {
        Daemon d;
        ASSERT_TRUE(d.StartForeground());
        const std::string data(64 * 1024, 'a');
        WireClient slow;
        ASSERT_TRUE(slow.Connect(d.SocketPath()));
        ASSERT_TRUE(slow.SendWords({1, 0}) && slow.SendName("big.txt") &&
                    slow.SendWord(static_cast<uint32_t>(data.size())));
        ASSERT_TRUE(slow.SendBytes(data.data(), 100));
        pid_t serving = 0;
        ASSERT_TRUE(WaitFor([&] {
            for (pid_t p : d.Pool())
                if (Exists(d.Path("tarvod.bsy." + std::to_string(p)))) serving = p;
            return serving != 0;
        }));
        // The reload waits for the child that is still receiving the request.
        ASSERT_TRUE(ReloadedOnce(d));
        kill(d.Master(), sig);
        poll(nullptr, 0, 200);
        ASSERT_TRUE(slow.SendBytes(data.data() + 100, data.size() - 100));
        EXPECT_EQ(slow.ReadWord().value_or(0), kNothingFoundBit) << d.Log();
        ExpectStoppedBySignal(d, sig);
        EXPECT_EQ(d.Leftovers(), 0);
    }
}

// Two signals that come before the master has taken the first are one by design: the second is sent
// once the first reload has begun.
TEST_F(ReloadStormTest, TwoReloadsCloseTogetherKeepEveryIdleConnection) {
    for (int round = 1; round <= 3; ++round) {
        kill(d.Master(), SIGHUP);
        ASSERT_TRUE(WaitFor([&] { return Count(d.Log(), kReloadLine) == size_t(2 * round - 1); }, 60))
            << d.Log();
        kill(d.Master(), SIGHUP);
        ASSERT_TRUE(WaitFor([&] { return Count(d.Log(), kReloadLine) == size_t(2 * round); }, 60)) << d.Log();
        for (size_t i = 0; i < clients.size(); ++i) {
            ASSERT_TRUE(clients[i].SendWord(2)) << "client " << i << ", round " << round;
            EXPECT_EQ(clients[i].ReadWord().value_or(0), 600u)
                << "client " << i << ", round " << round << " lost its connection";
        }
    }
    clients.clear();
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_EQ(d.Leftovers(), 0);
}

// Twenty reloads while eight clients have requests under way, in pairs: the second of a pair is
// sent as soon as the first has begun, so that it reaches children that the first has just started.
TEST_F(ReloadStormTest, TwentyReloadsUnderLoadDropNothing) {
    int n = 0;
    size_t reloads = 0;
    const auto reload = [&] {
        kill(d.Master(), SIGHUP);
        ++reloads;
        return WaitFor([&] { return Count(d.Log(), kReloadLine) == reloads; }, 60);
    };
    for (int round = 1; round <= 10; ++round) {
        for (int step = 0; step < 4; ++step, ++n) {
            for (size_t i = 0; i < clients.size(); ++i)
                ASSERT_TRUE(SendRequest(clients[i], n)) << "client " << i << ", round " << round;
            if (step == 1 || step == 2) {
                ASSERT_TRUE(reload()) << d.Log();
            }
            for (size_t i = 0; i < clients.size(); ++i)
                ASSERT_TRUE(CheckReply(clients[i], n))
                    << "client " << i << ", round " << round << ", step " << step << "\n"
                    << d.Log();
        }
    }
    EXPECT_EQ(reloads, 20u);
    for (int step = 0; step < 2; ++step, ++n) {
        for (auto& c : clients) ASSERT_TRUE(SendRequest(c, n));
        for (auto& c : clients) EXPECT_TRUE(CheckReply(c, n));
    }
    clients.clear();
    EXPECT_TRUE(Alive(d.Master()));
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_EQ(d.Leftovers(), 0);
}

// The last line of text that holds what, or "".
std::string LineWith(const std::string& text, const std::string& what) {
    const size_t at = text.rfind(what);
    if (at == std::string::npos) return std::string();
    const size_t begin = text.rfind('\n', at);
    const size_t end = text.find('\n', at);
    return text.substr(begin == std::string::npos ? 0 : begin + 1,
                       end == std::string::npos ? std::string::npos
                                                : end - (begin == std::string::npos ? 0 : begin + 1));
}

TEST(DamagedBaseTest, NamedInTheLogAtReloadAndByCheckOnly) {
    Daemon d;
    ASSERT_EQ(mkdir(d.Path("bases").c_str(), 0700), 0);
    for (const char* name : {"tarvodemo.vdb", "trvtoday.vdb"})
        ASSERT_TRUE(WriteFile(d.Path(std::string("bases/") + name),
                              ReadFile(std::string(TARVO_DEMO_BASE_DIR "/") + name)));
    d.Set("VirusBase", d.Path("bases") + "/*.vdb");
    ASSERT_TRUE(d.StartDaemon());
    EXPECT_EQ(d.Log().find("error!"), std::string::npos) << d.Log();

    const std::string damaged = d.Path("bases/tarvodemo.vdb");
    ASSERT_TRUE(WriteFile(damaged, std::string(4096, 'x')));
    ASSERT_TRUE(ReloadedOnce(d));
    const std::string line = LineWith(d.Log(), "Loading " + damaged);
    EXPECT_NE(line.find("error!"), std::string::npos) << d.Log();
    EXPECT_EQ(d.Stop(), 0);

    const RunResult check = d.Run({"--check-only"});
    EXPECT_EQ(check.status, 0);
    EXPECT_NE(LineWith(check.output, "Loading " + damaged).find("error!"), std::string::npos) << check.output;
}

// "-ini=" with a relative path: the file under the folder the daemon was started in, at the start
// and again at a reload.
TEST(RelativeIniTest, FileOfTheStartFolderAlsoAtAReload) {
    Daemon d;
    ASSERT_EQ(mkdir(d.Path("cfg").c_str(), 0700), 0);
    ASSERT_TRUE(d.WriteConfig());
    ASSERT_EQ(rename(d.IniPath().c_str(), d.Path("cfg/a.ini").c_str()), 0);
    d.StartIn(d.Dir());
    ASSERT_TRUE(d.StartForeground({"-ini=cfg/a.ini"}, false)) << d.Output();
    ASSERT_TRUE(ReloadedOnce(d));
    WireClient c;
    ASSERT_TRUE(WaitFor([&] {
        return c.Connect(d.SocketPath()) && c.SendWord(2) && c.ReadWord().value_or(0) == 600;
    })) << d.Log();
    EXPECT_EQ(d.Log().find("Error reading"), std::string::npos) << d.Log();
    kill(d.Master(), SIGTERM);
    EXPECT_EQ(d.WaitMaster(), 0) << d.Log();
}

} // namespace
} // namespace e2e
