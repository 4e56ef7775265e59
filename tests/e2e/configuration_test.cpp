// What the configuration says holds in the running daemon: a key edited before a reload, the scan
// time-out, and what the start does with the log file.
#include "daemon_process.h"
#include "samples.h"
#include "tests/shell/archive_maker.h"
#include "wire_client.h"

namespace e2e {
namespace {

constexpr uint32_t kStatistics = 0x4;
constexpr uint32_t kTimeoutBit = 0x200;

bool SendScan(WireClient& c, uint32_t opt1, const std::string& name, const std::string& data) {
    return c.SendWords({1, opt1}) && c.SendName(name) && c.SendWord(static_cast<uint32_t>(data.size())) &&
           c.SendBytes(data.data(), data.size());
}

// A clean object sent as data: the reply word, or 0.
uint32_t ScanClean(const Daemon& d, const std::string& name) {
    WireClient c;
    if (!c.Connect(d.SocketPath()) || !SendScan(c, 0, name, CleanText())) return 0;
    return c.ReadWord().value_or(0);
}

TEST(ReloadTest, EditedKeyHoldsForTheNextRequest) {
    Daemon d;
    d.Set("LogScanned", "No");
    ASSERT_TRUE(d.StartDaemon());
    EXPECT_EQ(ScanClean(d, "before.txt"), kNothingFoundBit);
    d.Set("LogScanned", "Yes");
    ASSERT_TRUE(d.WriteConfig());
    kill(d.Master(), SIGHUP);
    ASSERT_TRUE(WaitFor([&] { return d.Log().find("SIGHUP received, reloading...") != std::string::npos; }))
        << d.Log();
    // The next request after the reload is served by the new pool, with the new value.
    ASSERT_TRUE(WaitFor([&] {
        return ScanClean(d, "after.txt") == kNothingFoundBit &&
               d.Log().find("after.txt - Ok\n") != std::string::npos;
    })) << d.Log();
    EXPECT_EQ(d.Log().find("before.txt - Ok"), std::string::npos) << d.Log();
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_EQ(d.Leftovers(), 0);
}

TEST(ScanTimeoutTest, FileTimeoutEndsAScanThatWouldNotEnd) {
    Daemon d;
    d.Set("FileTimeout", "1");
    ASSERT_TRUE(d.StartDaemon());
    const std::string path = d.Path("endless.tar");
    ASSERT_TRUE(WriteFile(path, MakeTar({{"m", "TARVO-TEST-MARKER-ENDLESS"}})));
    WireClient c;
    ASSERT_TRUE(c.Connect(d.SocketPath()));
    ASSERT_TRUE(c.SendWords({1, kStatistics}) && c.SendName(path) && c.SendWord(0));
    const auto reply = c.ReadWord(120);
    ASSERT_TRUE(reply.has_value()) << d.Log();
    EXPECT_TRUE(*reply & kTimeoutBit) << std::hex << *reply << "\n" << d.Log();
    const std::string log = d.Log();
    const size_t line = log.find(" - timeout!\n");
    ASSERT_NE(line, std::string::npos) << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
    EXPECT_NE(log.rfind(path, line), std::string::npos) << "the line names the object";
    c.Close();
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_EQ(d.Leftovers(), 0);
}

TEST(LogStartTest, LogThatReachedItsLimitBecomesTheBackup) {
    Daemon d;
    d.Set("LimitLog", "Yes");
    d.Set("MaxLogSize", "1");
    const std::string old(2048, 'o');
    ASSERT_TRUE(WriteFile(d.Path("tarvod.log"), old));
    ASSERT_TRUE(WriteFile(d.Path("tarvod.bak"), "older backup"));
    ASSERT_TRUE(d.StartDaemon());
    EXPECT_EQ(ReadFile(d.Path("tarvod.bak")), old);
    EXPECT_EQ(d.Log().find('o' + std::string(100, 'o')), std::string::npos) << "a fresh log";
    EXPECT_NE(d.Log().find("Daemon is installed"), std::string::npos) << d.Log();
    EXPECT_EQ(d.Stop(), 0);

    // Below the limit the log goes on.
    Daemon small;
    small.Set("LimitLog", "Yes");
    small.Set("MaxLogSize", "4");
    ASSERT_TRUE(WriteFile(small.Path("tarvod.log"), old));
    ASSERT_TRUE(small.StartDaemon());
    EXPECT_EQ(small.Log().rfind(old, 0), 0u);
    EXPECT_FALSE(Exists(small.Path("tarvod.bak")));
    EXPECT_EQ(small.Stop(), 0);
}

// OverwriteLog: the start that goes on to serve begins a new log; a start that fails because the
// daemon already runs leaves that daemon's log alone.
TEST(LogStartTest, OverwriteLogOnlyByTheStartThatServes) {
    Daemon d;
    d.Set("OverwriteLog", "Yes");
    ASSERT_TRUE(WriteFile(d.Path("tarvod.log"), "a line of an earlier run\n"));
    ASSERT_TRUE(d.StartDaemon());
    EXPECT_EQ(d.Log().find("earlier run"), std::string::npos) << d.Log();
    EXPECT_NE(d.Log().find("Daemon is installed"), std::string::npos) << d.Log();
    ASSERT_EQ(ScanClean(d, "first.txt"), kNothingFoundBit);
    const std::string running = d.Log();

    const RunResult second = d.Run({});
    EXPECT_NE(second.status, 0) << second.output;
    EXPECT_EQ(d.Log().rfind(running, 0), 0u) << "the running daemon's log is kept\n" << d.Log();
    EXPECT_TRUE(Alive(d.Master()));
    EXPECT_EQ(ScanClean(d, "second.txt"), kNothingFoundBit);
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_EQ(d.Leftovers(), 0);
}

} // namespace
} // namespace e2e
