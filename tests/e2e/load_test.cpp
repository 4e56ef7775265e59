// The daemon under clients that keep their connections: reloads that come again and again while
// they work, and a shutdown while a request is under way.
#include <atomic>
#include <mutex>
#include <thread>

#include "daemon_process.h"
#include "samples.h"
#include "wire_client.h"

namespace e2e {
namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A client that loops on commands over one connection and checks every reply.
class BusyClient {
public:
    explicit BusyClient(const std::string& socketPath) : path_(socketPath) {}
    ~BusyClient() { Join(); }

    void Start() {
        thread_ = std::thread([this] { Run(); });
    }
    void Join() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int Replies() const { return replies_; }
    std::string Failure() {
        std::lock_guard<std::mutex> lock(mutex_);
        return failure_;
    }

private:
    void Fail(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failure_.empty()) failure_ = what + " after " + std::to_string(replies_) + " replies";
        stop_ = true;
    }
    void Run() {
        WireClient c;
        if (!c.Connect(path_)) return Fail("connect");
        for (uint32_t i = 0; !stop_; ++i) {
            if (i % 2 == 0) {
                if (!c.SendWord(2)) return Fail("send command 2");
                const auto w = c.ReadWord();
                if (!w || *w != 600) return Fail("command 2");
            } else {
                const std::string data = Eicar();
                if (!(c.SendWords({1, 0x1}) && c.SendName("eicar.com") &&
                      c.SendWord(static_cast<uint32_t>(data.size())) &&
                      c.SendBytes(data.data(), data.size())))
                    return Fail("send scan");
                const auto w = c.ReadWord();
                if (!w || !(*w & kInfectedBit)) return Fail("scan result");
                const auto found = c.ReadList();
                if (!found || found->size() != 1) return Fail("found list");
            }
            ++replies_;
        }
    }

    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> replies_{0};
    std::mutex mutex_;
    std::string failure_;
};

TEST(ReloadUnderLoadTest, EveryReplyRightNoConnectionDroppedDescriptorsStable) {
    Daemon d;
    ASSERT_TRUE(d.StartDaemon());
    ASSERT_TRUE(WaitFor([&] { return d.Pool().size() == 2; }));
    const int baseline = DescriptorCount(d.Master());

    // One client that stays silent through every reload.
    WireClient idle;
    ASSERT_TRUE(idle.Connect(d.SocketPath()));
    ASSERT_TRUE(idle.SendWord(2));
    ASSERT_EQ(idle.ReadWord().value_or(0), 600u);

    std::vector<std::unique_ptr<BusyClient>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(std::make_unique<BusyClient>(d.SocketPath()));
        clients.back()->Start();
    }
    for (int round = 1; round <= 5; ++round) {
        std::vector<int> before;
        for (auto& c : clients) before.push_back(c->Replies());
        kill(d.Master(), SIGHUP);
        ASSERT_TRUE(
            WaitFor([&] { return Count(d.Log(), "SIGHUP received, reloading...") == size_t(round); }));
        // Each client is served again after the reload, over the connection it had.
        ASSERT_TRUE(WaitFor([&] {
            for (size_t i = 0; i < clients.size(); ++i)
                if (clients[i]->Replies() < before[i] + 3 || !clients[i]->Failure().empty()) return false;
            return true;
        })) << "round "
            << round;
    }
    for (auto& c : clients) {
        c->Join();
        EXPECT_EQ(c->Failure(), "");
        EXPECT_GT(c->Replies(), 10);
    }
    EXPECT_TRUE(idle.SendWord(2));
    EXPECT_EQ(idle.ReadWord().value_or(0), 600u) << "the idle connection was dropped";
    clients.clear();
    idle.Close();

    // Without clients the pool shrinks back to its minimum and the master holds what it held.
    EXPECT_TRUE(WaitFor([&] { return d.Pool().size() == 2 && DescriptorCount(d.Master()) == baseline; }, 90))
        << DescriptorCount(d.Master()) << " descriptors, " << baseline << " before; " << d.Pool().size()
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
