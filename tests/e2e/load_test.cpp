// The daemon under clients that keep their connections: reloads that come again and again while
// they work, and a shutdown while a request is under way.
#include "daemon_process.h"
#include "request_loop.h"

namespace e2e {
namespace {

// The test process drives the clients itself, one after the other: the sanitizers cannot run
// threads of a 32-bit program under the emulator.
TEST(ReloadUnderLoadTest, EveryReplyRightNoConnectionDroppedDescriptorsStable) {
    Daemon d;
    ASSERT_TRUE(d.StartDaemon());
    ASSERT_TRUE(WaitFor([&] { return d.Pool().size() == 2; }));
    const int baseline = d.KeptDescriptors(d.Master());

    // One client that stays silent through every reload.
    WireClient idle;
    ASSERT_TRUE(idle.Connect(d.SocketPath()));
    ASSERT_TRUE(idle.SendWord(2));
    ASSERT_EQ(idle.ReadWord().value_or(0), 600u);

    std::vector<WireClient> clients(4);
    for (auto& c : clients) ASSERT_TRUE(c.Connect(d.SocketPath()));
    int n = 0;
    for (int round = 1; round <= 5; ++round) {
        for (int step = 0; step < 6; ++step, ++n) {
            for (auto& c : clients) ASSERT_TRUE(SendRequest(c, n)) << "round " << round;
            // The reload comes while every client has a request under way.
            if (step == 2) kill(d.Master(), SIGHUP);
            for (size_t i = 0; i < clients.size(); ++i)
                ASSERT_TRUE(CheckReply(clients[i], n))
                    << "client " << i << ", round " << round << ", step " << step;
        }
        ASSERT_TRUE(
            WaitFor([&] { return Count(d.Log(), "SIGHUP received, reloading...") == size_t(round); }));
    }
    // Served after the last reload too, over the connections they had.
    for (int step = 0; step < 2; ++step, ++n) {
        for (auto& c : clients) ASSERT_TRUE(SendRequest(c, n));
        for (auto& c : clients) EXPECT_TRUE(CheckReply(c, n));
    }
    EXPECT_TRUE(idle.SendWord(2));
    EXPECT_EQ(idle.ReadWord().value_or(0), 600u) << "the idle connection was dropped";
    clients.clear();
    idle.Close();

    // Without clients the pool shrinks back to its minimum and the master holds what it held.
    EXPECT_TRUE(
        WaitFor([&] { return d.Pool().size() == 2 && d.KeptDescriptors(d.Master()) == baseline; }, 90))
        << d.KeptDescriptors(d.Master()) << " descriptors, " << baseline << " before; " << d.Pool().size()
        << " children";
    EXPECT_EQ(d.PidFromFile(), d.Master());
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_EQ(d.Leftovers(), 0);
}

TEST(ShutdownUnderLoadTest, RequestUnderWayIsAnsweredThenEverythingEnds) {
    Daemon d;
    ASSERT_TRUE(d.StartForeground());
    const std::string data(2 * 1024 * 1024, 'a');
    const size_t half = data.size() / 2;
    WireClient c;
    ASSERT_TRUE(c.Connect(d.SocketPath()));
    ASSERT_TRUE(c.SendWords({1, 0}) && c.SendName("big.txt") &&
                c.SendWord(static_cast<uint32_t>(data.size())));
    ASSERT_TRUE(c.SendBytes(data.data(), half));
    pid_t serving = 0;
    ASSERT_TRUE(WaitFor([&] {
        for (pid_t p : d.Pool())
            if (Exists(d.Path("tarvod.bsy." + std::to_string(p)))) serving = p;
        return serving != 0;
    }));
    kill(d.Master(), SIGTERM);
    ASSERT_TRUE(
        WaitFor([&] { return d.Log().find("Shutting down daemon (signal 15") != std::string::npos; }));
    // The master waits for the child that serves the request.
    EXPECT_TRUE(Alive(d.Master()));
    EXPECT_TRUE(Exists(d.PidPath()));
    ASSERT_TRUE(c.SendBytes(data.data() + half, data.size() - half));
    const auto result = c.ReadWord();
    ASSERT_TRUE(result.has_value()) << d.Log();
    EXPECT_EQ(*result, kNothingFoundBit);
    EXPECT_TRUE(c.ClosedByPeer());
    EXPECT_EQ(d.WaitMaster(), 0) << d.Log();
    EXPECT_FALSE(Exists(d.PidPath()));
    EXPECT_FALSE(Exists(d.SocketPath()));
    EXPECT_FALSE(Alive(serving));
    EXPECT_EQ(d.Leftovers(), 0);
}

} // namespace
} // namespace e2e
