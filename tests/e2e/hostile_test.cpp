// The daemon against clients that misbehave: they stop reading, stall half-way, announce sizes they
// never send, hang up mid-request, crowd the pool or send noise. A well-behaved client keeps being
// served throughout, and afterwards the pool, the descriptors, the temporary folder and the memory
// are as they were.
#include <sys/socket.h>

#include <functional>
#include <map>
#include <memory>
#include <random>

#include "daemon_process.h"
#include "samples.h"
#include "wire_client.h"

namespace e2e {
namespace {

using ::testing::AssertionFailure;
using ::testing::AssertionResult;
using ::testing::AssertionSuccess;

constexpr uint32_t kFoundListBit = 1u << 0;
constexpr uint32_t kCureBit = 1u << 6;
constexpr int kSocketTimeout = 2;
constexpr int kPoolMin = 2;
constexpr int kPoolMax = 4;
// Long enough for every stalled client to be dropped and the queue behind it served.
constexpr int kServedWithin = 30;

void Configure(Daemon& d) {
    d.Set("SocketTimeout", std::to_string(kSocketTimeout));
    d.Set("ProcessesPool", std::to_string(kPoolMin) + "-" + std::to_string(kPoolMax) + ", timeout=1");
    ASSERT_EQ(mkdir(d.Path("tmp").c_str(), 0700), 0);
}

bool SendScanHead(WireClient& c, uint32_t opt1, const std::string& name, uint32_t size) {
    return c.SendWords({1, opt1}) && c.SendName(name) && c.SendWord(size);
}

bool SendScan(WireClient& c, uint32_t opt1, const std::string& name, const std::string& data) {
    return SendScanHead(c, opt1, name, static_cast<uint32_t>(data.size())) &&
           c.SendBytes(data.data(), data.size());
}

// A clean sample, then EICAR, each on a connection of its own and answered within the bound; one
// after the other, so that the client alone never makes the pool grow.
AssertionResult WellBehavedClientServed(const Daemon& d) {
    WireClient clean;
    if (!clean.Connect(d.SocketPath()) || !SendScan(clean, 0, "clean.txt", CleanText()))
        return AssertionFailure() << "clean sample not sent";
    const auto word = clean.ReadWord(kServedWithin);
    if (!word || *word != kNothingFoundBit)
        return AssertionFailure() << "clean sample answered " << std::hex << (word ? *word : 0);
    // A connection left open keeps its child busy.
    clean.Close();
    WireClient eicar;
    if (!eicar.Connect(d.SocketPath()) || !SendScan(eicar, kFoundListBit, "eicar.com", Eicar()))
        return AssertionFailure() << "EICAR not sent";
    const auto infected = eicar.ReadWord(kServedWithin);
    if (!infected || !(*infected & kInfectedBit))
        return AssertionFailure() << "EICAR answered " << std::hex << (infected ? *infected : 0);
    const auto found = eicar.ReadList(kServedWithin);
    if (!found || found->size() != 1 || (*found)[0].find("EICAR-Test-File") == std::string::npos)
        return AssertionFailure() << "EICAR's found list";
    return AssertionSuccess();
}

// True when the daemon closed its end within the seconds given, whether or not what it sent
// before was read.
bool DroppedWithin(WireClient& c, int seconds) {
    const int64_t end = NowMillis() + static_cast<int64_t>(seconds) * 1000;
    for (;;) {
        const int64_t left = end - NowMillis();
        if (left <= 0) return false;
        pollfd wait{c.Fd(), POLLRDHUP, 0};
        const int r = poll(&wait, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        if (wait.revents & (POLLRDHUP | POLLHUP | POLLERR)) return true;
    }
}

// Reads what the daemon sent up to its end (into bytes when given): the byte count, or -1 when the
// end did not come within the seconds given.
long long ReadToEnd(WireClient& c, int seconds, std::string* bytes = nullptr) {
    char buffer[65536];
    long long total = 0;
    const int64_t end = NowMillis() + static_cast<int64_t>(seconds) * 1000;
    for (;;) {
        const int64_t left = end - NowMillis();
        if (left <= 0) return -1;
        pollfd wait{c.Fd(), POLLIN, 0};
        const int r = poll(&wait, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return -1;
        const ssize_t n = read(c.Fd(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return total;
        if (n < 0) return -1;
        if (bytes) bytes->append(buffer, static_cast<size_t>(n));
        total += n;
    }
}

std::string WireWord(uint32_t word) {
    const uint32_t wire = htonl(word);
    return std::string(reinterpret_cast<const char*>(&wire), sizeof wire);
}

// The reply to one service command (2, 3, 4 or 10) as the bytes that came, or "" when it did not
// come whole.
std::string ServiceReply(WireClient& c, uint32_t command) {
    if (!c.SendWord(command)) return "";
    std::string bytes;
    const auto word = [&] {
        const auto w = c.ReadWord(kServedWithin);
        if (w) bytes += WireWord(*w);
        return w;
    };
    const auto text = [&] {
        const auto t = c.ReadString(kServedWithin);
        if (t) bytes += WireWord(static_cast<uint32_t>(t->size() + 1)) + *t + std::string(1, '\0');
        return t.has_value();
    };
    if (command == 2) return word() ? bytes : "";
    if (command == 4) return text() ? bytes : "";
    const auto count = word();
    if (!count) return "";
    for (uint32_t i = 0; i < *count; ++i)
        if (!text() || !word() || (command == 10 && !word())) return "";
    return bytes;
}

std::string Curable(size_t size) {
    std::string data = "TARVO-TEST-CURABLE";
    data.resize(size, 'x');
    return data;
}

constexpr size_t kBigObject = 1024 * 1024;
constexpr uint32_t kEnvelopeBit = 1u << 24;

// What a hostile client sends before it stalls, keeping the connection open, or hangs up.
struct Attack {
    const char* name;
    std::function<bool(WireClient&)> send;
    bool hangUp;
};

// The two that send much come first: each is taken by a child at once, before the pool is crowded.
const std::vector<Attack>& Attacks() {
    static const std::vector<Attack> attacks = {
        {"stops reading its cured object",
         [](WireClient& c) { return SendScan(c, kCureBit, "big.bin", Curable(kBigObject)); }, false},
        {"endless empty envelope recipients",
         [](WireClient& c) {
             if (!c.SendWords({1, kEnvelopeBit, 1}) || !c.SendBytes("a", 1) || !c.SendWord(0xFFFFFFFFu))
                 return false;
             // The daemon gives up on the envelope part-way: the rest may not go.
             const std::string zeros(2 * 1024 * 1024, '\0');
             c.SendBytes(zeros.data(), zeros.size());
             return true;
         },
         false},
        {"half a command word", [](WireClient& c) { return c.SendBytes("\0\0", 2); }, false},
        {"half a name length",
         [](WireClient& c) {
             return c.SendWords({1, 0}) && c.SendBytes("\0", 1);
         },
         false},
        {"name length 0xFFFFFFFF",
         [](WireClient& c) {
             return c.SendWords({1, 0, 0xFFFFFFFFu});
         },
         false},
        {"name length 0x7FFFFFFF",
         [](WireClient& c) {
             return c.SendWords({1, 0, 0x7FFFFFFFu});
         },
         false},
        {"name length 5000",
         [](WireClient& c) {
             return c.SendWords({1, 0, 5000});
         },
         false},
        {"name shorter than announced",
         [](WireClient& c) {
             return c.SendWords({1, 0, 200}) && c.SendBytes("ab", 2);
         },
         false},
        {"data size 0xFFFFFFFF", [](WireClient& c) { return SendScanHead(c, 0, "x", 0xFFFFFFFFu); }, false},
        {"data size 0x7FFFFFFF, then a little",
         [](WireClient& c) {
             return SendScanHead(c, 0, "x", 0x7FFFFFFFu) && c.SendBytes(Curable(5000).data(), 5000);
         },
         false},
        {"data larger than sent",
         [](WireClient& c) {
             return SendScanHead(c, 0, "x", 100000) && c.SendBytes(Curable(5000).data(), 5000);
         },
         false},
        {"hangs up after the command word", [](WireClient& c) { return c.SendWord(1); }, true},
        {"hangs up after the name",
         [](WireClient& c) {
             return c.SendWords({1, 0}) && c.SendName("x");
         },
         true},
        {"hangs up halfway through the data",
         [](WireClient& c) {
             return SendScanHead(c, 0, "x", 100000) && c.SendBytes(Curable(50000).data(), 50000);
         },
         true},
        {"hangs up halfway through data for a temporary file",
         [](WireClient& c) {
             return SendScanHead(c, 0, "x", 0x7FFFFFFFu) && c.SendBytes(Curable(50000).data(), 50000);
         },
         true},
    };
    return attacks;
}

// Noise from a fixed seed: a scan command or a word of noise, then noise; the end written closed
// so that the daemon sees all of it at once.
bool SendNoise(WireClient& c, std::mt19937& random) {
    std::string bytes(4 + random() % 300, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    const uint32_t pick = random() % 3;
    if (pick < 2) {
        const uint32_t command = htonl(pick == 0 ? 1u : 5u);
        memcpy(&bytes[0], &command, sizeof command);
    }
    return c.SendBytes(bytes.data(), bytes.size()) && shutdown(c.Fd(), SHUT_WR) == 0;
}

// Requests that end at once, without the socket time-out: the ones used in bulk.
bool QuickHostileRequest(const Daemon& d, int n, std::mt19937& random) {
    WireClient c;
    if (!c.Connect(d.SocketPath())) return false;
    bool sent = false;
    switch (n % 5) {
    case 0:
        sent = c.SendWords({1, 0, 0xFFFFFFFFu}); // refused with a reply
        break;
    case 1:
        sent = SendScanHead(c, 0, "x", 0xFFFFFFFFu);
        break;
    case 2:
        sent = SendScanHead(c, 0, "x", 100000) && c.SendBytes(Curable(50000).data(), 50000);
        c.Close();
        return sent;
    case 3:
        sent = SendScanHead(c, 0, "x", 0x7FFFFFFFu) && c.SendBytes(Curable(20000).data(), 20000);
        c.Close();
        return sent;
    default:
        sent = SendNoise(c, random);
        break;
    }
    return sent && ReadToEnd(c, kServedWithin) >= 0;
}

long RssKiB(pid_t pid) {
    const std::string status = ReadProcFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : atol(status.c_str() + at + 6);
}

std::map<pid_t, long> PoolRss(const Daemon& d) {
    std::map<pid_t, long> rss{{d.Master(), RssKiB(d.Master())}};
    for (pid_t child : d.Pool()) rss[child] = RssKiB(child);
    return rss;
}

// The processes whose parent is pid, those that ended and are not reaped yet too.
size_t ChildProcessCount(pid_t parent) {
    size_t count = 0;
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    while (const dirent* e = readdir(proc)) {
        ProcStat st;
        if (e->d_name[0] >= '0' && e->d_name[0] <= '9' && ReadProcStat(atoi(e->d_name), &st) &&
            st.parent == parent)
            ++count;
    }
    closedir(proc);
    return count;
}

// The descriptors of each child: all alike while they idle.
std::set<int> ChildDescriptorCounts(const Daemon& d) {
    std::set<int> counts;
    for (pid_t child : d.Pool()) counts.insert(d.KeptDescriptors(child));
    return counts;
}

std::vector<std::string> TempFiles(const Daemon& d) {
    std::vector<std::string> names;
    DIR* dir = opendir(d.Path("tmp").c_str());
    if (!dir) return {"(no temporary folder)"};
    while (const dirent* e = readdir(dir))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    closedir(dir);
    return names;
}

// Under the address sanitizer freed memory waits in a quarantine before it is used again, which
// looks like growth: a daemon started while this lives runs without it.
class WithoutQuarantine {
public:
    WithoutQuarantine() {
#ifdef __SANITIZE_ADDRESS__
        const char* before = getenv("ASAN_OPTIONS");
        had_ = before != nullptr;
        if (had_) saved_ = before;
        setenv("ASAN_OPTIONS", (saved_ + (saved_.empty() ? "" : ":") + "quarantine_size_mb=0").c_str(), 1);
#endif
    }
    ~WithoutQuarantine() {
#ifdef __SANITIZE_ADDRESS__
        if (had_)
            setenv("ASAN_OPTIONS", saved_.c_str(), 1);
        else
            unsetenv("ASAN_OPTIONS");
#endif
    }
    WithoutQuarantine(const WithoutQuarantine&) = delete;
    WithoutQuarantine& operator=(const WithoutQuarantine&) = delete;

private:
    bool had_ = false;
    std::string saved_;
};

class HostileClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        Configure(d);
        {
            std::unique_ptr<WithoutQuarantine> guard;
            if (measuresMemory) guard = std::make_unique<WithoutQuarantine>();
            ASSERT_TRUE(d.StartDaemon());
        }
        ASSERT_TRUE(WaitFor([&] { return d.Pool().size() == size_t(kPoolMin); }));
        ASSERT_TRUE(WellBehavedClientServed(d));
    }
    void TearDown() override {
        EXPECT_EQ(d.Log().find("not responding"), std::string::npos) << d.Log();
        EXPECT_EQ(d.Stop(), 0);
        EXPECT_EQ(d.Leftovers(), 0);
    }
    // The descriptors with the pool at its minimum and no child on its way out: one that has ended
    // but is not reaped yet still has its pipes in the master. Two reads running must agree: a child
    // that has just answered may still hold a descriptor of its work for a moment.
    bool TakeBaseline() {
        int lastMaster = -1;
        std::set<int> lastChildren;
        return WaitFor([&] {
            if (ChildProcessCount(d.Master()) != size_t(kPoolMin)) return false;
            const int master = d.KeptDescriptors(d.Master());
            const std::set<int> counts = ChildDescriptorCounts(d);
            const bool steady = master == lastMaster && counts == lastChildren;
            lastMaster = master;
            lastChildren = counts;
            if (!steady || counts.size() != 1 || ChildProcessCount(d.Master()) != size_t(kPoolMin))
                return false;
            masterBaseline = master;
            childBaseline = *counts.begin();
            return true;
        });
    }
    // Back to the minimum of children, each of them idle with the same descriptors as a fresh one,
    // the master with what it had.
    AssertionResult Settled() {
        const bool settled = WaitFor(
            [&] {
                return d.Pool().size() == size_t(kPoolMin) &&
                       d.KeptDescriptors(d.Master()) == masterBaseline &&
                       ChildDescriptorCounts(d) == std::set<int>{childBaseline};
            },
            60);
        if (settled) return AssertionSuccess();
        AssertionResult failure = AssertionFailure();
        failure << d.Pool().size() << " children; master " << d.KeptDescriptors(d.Master())
                << " descriptors (" << masterBaseline << " before); children";
        for (int n : ChildDescriptorCounts(d)) failure << " " << n;
        return failure << " (" << childBaseline << " before)";
    }

    Daemon d;
    bool measuresMemory = false;
    int masterBaseline = -1;
    int childBaseline = -1;
};

class HostileBurstTest : public HostileClientTest {
protected:
    void SetUp() override {
        measuresMemory = true;
        HostileClientTest::SetUp();
    }
};

TEST_F(HostileClientTest, StalledAndTruncatedClientsAreDroppedWhileOthersAreServed) {
    ASSERT_TRUE(TakeBaseline());

    // Every attack at once: more of them than the pool has children.
    std::vector<WireClient> hostile(Attacks().size());
    for (size_t i = 0; i < hostile.size(); ++i) {
        SCOPED_TRACE(Attacks()[i].name);
        ASSERT_TRUE(hostile[i].Connect(d.SocketPath()));
        ASSERT_TRUE(Attacks()[i].send(hostile[i]));
        if (Attacks()[i].hangUp) hostile[i].Close();
    }
    EXPECT_TRUE(WellBehavedClientServed(d));
    // Each stalled client is dropped without reading a byte of what it was sent.
    for (size_t i = 0; i < hostile.size(); ++i) {
        SCOPED_TRACE(Attacks()[i].name);
        if (hostile[i].Fd() < 0) continue;
        EXPECT_TRUE(DroppedWithin(hostile[i], kServedWithin));
        const long long got = ReadToEnd(hostile[i], kServedWithin);
        EXPECT_GE(got, 0);
        if (i == 0) {
            EXPECT_LT(got, static_cast<long long>(kBigObject)) << "the whole object went out";
        }
    }
    EXPECT_TRUE(WellBehavedClientServed(d));
    EXPECT_LE(d.Pool().size(), size_t(kPoolMax));
    hostile.clear();

    EXPECT_TRUE(Settled());
    EXPECT_TRUE(WellBehavedClientServed(d));
    EXPECT_EQ(TempFiles(d), std::vector<std::string>());
}

// A client that sends service commands ahead and stops reading: once a reply cannot be written whole
// the connection ends, and what the client then reads is the replies in their order, the last one
// perhaps cut short, never the rest of one reply followed by another.
TEST_F(HostileClientTest, PipeliningClientThatStopsReadingLosesItsConnectionNeverAReply) {
    ASSERT_TRUE(TakeBaseline());
    const uint32_t commands[] = {2, 3, 4, 10};
    std::map<uint32_t, std::string> reply;
    {
        WireClient c;
        ASSERT_TRUE(c.Connect(d.SocketPath()));
        for (uint32_t command : commands) {
            reply[command] = ServiceReply(c, command);
            ASSERT_FALSE(reply[command].empty()) << "command " << command;
        }
    }
    // Far more than the socket buffers hold.
    std::string requests;
    std::string expected;
    for (int round = 0; round < 2000; ++round) {
        for (uint32_t command : commands) {
            requests += WireWord(command);
            expected += reply[command];
        }
    }
    WireClient c;
    ASSERT_TRUE(c.Connect(d.SocketPath()));
    ASSERT_TRUE(c.SendBytes(requests.data(), requests.size()));
    EXPECT_TRUE(DroppedWithin(c, kServedWithin)) << "the connection stayed open";
    std::string got;
    ASSERT_GE(ReadToEnd(c, kServedWithin, &got), 0);
    EXPECT_LT(got.size(), expected.size()) << "every reply was written";
    size_t same = 0;
    while (same < got.size() && same < expected.size() && got[same] == expected[same]) ++same;
    EXPECT_EQ(same, got.size()) << "a misplaced reply at byte " << same << " of " << got.size();
    EXPECT_NE(d.Log().find("Error writing to socket (timeout)!"), std::string::npos) << d.Log();

    EXPECT_TRUE(WellBehavedClientServed(d));
    EXPECT_TRUE(Settled());
}

TEST_F(HostileClientTest, CrowdBeyondThePoolMaximumIsServedInTurn) {
    ASSERT_TRUE(TakeBaseline());

    // Twice the maximum, each holding its child with half a word.
    std::vector<WireClient> crowd(2 * kPoolMax);
    for (auto& c : crowd) {
        ASSERT_TRUE(c.Connect(d.SocketPath()));
        ASSERT_TRUE(c.SendBytes("\0", 1));
    }
    size_t most = 0;
    WaitFor(
        [&] {
            most = std::max(most, d.Pool().size());
            return most == size_t(kPoolMax);
        },
        10);
    EXPECT_TRUE(WellBehavedClientServed(d));
    for (auto& c : crowd) {
        most = std::max(most, d.Pool().size());
        EXPECT_TRUE(DroppedWithin(c, kServedWithin));
    }
    EXPECT_EQ(most, size_t(kPoolMax));
    crowd.clear();

    EXPECT_TRUE(Settled());
    EXPECT_TRUE(WellBehavedClientServed(d));
}

TEST_F(HostileBurstTest, LeavesNoMemoryDescriptorsOrFilesBehind) {
    ASSERT_TRUE(TakeBaseline());

    std::mt19937 random(20261210);
    int n = 0;
    const auto burst = [&](int count) {
        for (int end = n + count; n < end; ++n) {
            ASSERT_TRUE(QuickHostileRequest(d, n, random)) << "request " << n;
            if (n % 25 == 0) {
                ASSERT_TRUE(WellBehavedClientServed(d)) << "after request " << n;
            }
        }
    };
    // Until each child has met every kind of request a few times, it grows once per new path: under
    // the emulator its translated code and the sanitizers' allocator regions come in steps of megabytes.
    burst(300);
    const std::map<pid_t, long> early = PoolRss(d);
    burst(250);
    const std::map<pid_t, long> late = PoolRss(d);
    EXPECT_TRUE(WellBehavedClientServed(d));

    // No growth per request: a request that kept what it received (tens of KiB) would add megabytes
    // over 250 of them; the bound leaves room for the allocator's ups and downs.
    size_t compared = 0;
    for (const auto& [pid, before] : early) {
        const auto after = late.find(pid);
        if (after == late.end() || before <= 0 || after->second <= 0) continue;
        ++compared;
        EXPECT_LE(after->second - before, 4096)
            << "VmRSS of " << (pid == d.Master() ? "the master " : "child ") << pid << ": " << before
            << " KiB, then " << after->second;
    }
    EXPECT_GE(compared, 2u); // the master and at least one child lived through it

    EXPECT_TRUE(Settled());
    EXPECT_EQ(TempFiles(d), std::vector<std::string>());
}

} // namespace
} // namespace e2e
