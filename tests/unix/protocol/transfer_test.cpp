// The timed reader and writer and the wire units of the client protocol.

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/base/waiting_probe.h"
#include "tests/unix/logcapture.h"
#include "tests/unix/peer.h"
#include "unix/protocol/budget.h"
#include "unix/protocol/processprefix.h"
#include "unix/protocol/signalflags.h"
#include "unix/protocol/transfer.h"
#include "unix/protocol/wire.h"

namespace {

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override { StopFlag = ReloadFlag = ExitFlag = 0; }
    void TearDown() override { StopFlag = ReloadFlag = ExitFlag = 0; }
    using Lines = std::vector<std::string>;
    LogCapture log;
    SocketPair pair;
};

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST(BudgetTest, SecondsBecomeMillisecondsWithoutOverflow) {
    EXPECT_EQ(BudgetFromSeconds(10), 10000);
    EXPECT_EQ(BudgetFromSeconds(3000000), INT64_C(3000000000));
    EXPECT_EQ(BudgetFromSeconds(INT32_MAX), INT64_C(2147483647000));
    EXPECT_EQ(BudgetFromSeconds(0), kUnlimitedBudget);
}

TEST(BudgetTest, PollEndsOnTheStopFlagWhenUnlimited) {
    SocketPair pair;
    pollfd pfd{pair.ours, POLLIN, 0};
    StopFlag = 1;
    EXPECT_EQ(PollWithTimeout(&pfd, 1, -1), 0);
    StopFlag = 0;
    EXPECT_EQ(PollWithTimeout(&pfd, 1, 0), 0);
    ASSERT_EQ(write(pair.theirs, "x", 1), 1);
    EXPECT_EQ(PollWithTimeout(&pfd, 1, -1), 1);
}

TEST_F(TransferTest, ReadGathersPiecesThatArriveSlowly) {
    const std::string data = Pattern(70000);
    const pid_t peer = StartPeer(pair, [&](int fd) {
        size_t done = 0;
        for (size_t step = 1; done < data.size(); step = step * 3 + 1) {
            const size_t n = std::min(step, data.size() - done);
            if (!PeerWrite(fd, data.substr(done, n))) return 1;
            done += n;
            usleep(2000);
        }
        return 0;
    });
    std::vector<char> got(data.size());
    TimeBudget budget = 20000;
    ASSERT_EQ(ReadFull(pair.ours, got.size(), got.data(), budget, true), 0);
    EXPECT_EQ(std::string(got.data(), got.size()), data);
    EXPECT_GE(budget, 0);
    EXPECT_LT(budget, 20000);
    EXPECT_EQ(WaitPeer(peer), 0);
}

TEST_F(TransferTest, EndOfStreamInTheMiddleOfAWord) {
    const pid_t peer =
        StartPeer(pair, [](int fd) { return PeerWrite(fd, std::string("\x00\x01", 2)) ? 0 : 1; });
    char word[4];
    TimeBudget budget = 60000;
    const TransferResult r = ReadExact(pair.ours, word, sizeof word, budget, true);
    EXPECT_EQ(r.end, TransferEnd::kClosed);
    EXPECT_EQ(r.done, 2u);
    EXPECT_GT(budget, 0); // ended by the end of the stream, not by the clock
    TimeBudget again = 60000;
    EXPECT_EQ(ReadFull(pair.ours, sizeof word, word, again, true), -1);
    EXPECT_EQ(WaitPeer(peer), 0);
}

TEST_F(TransferTest, HalfAWordThenSilenceTimesOut) {
    ASSERT_EQ(write(pair.theirs, "\x00\x00", 2), 2);
    char word[4];
    TimeBudget budget = 300;
    const TransferResult r = ReadExact(pair.ours, word, sizeof word, budget, true);
    EXPECT_EQ(r.end, TransferEnd::kTimedOut);
    EXPECT_EQ(r.done, 2u);
    EXPECT_EQ(budget, 0);
    // A spent budget ends the next transfer before it waits.
    EXPECT_EQ(ReadExact(pair.ours, word, sizeof word, budget, true).end, TransferEnd::kTimedOut);
    EXPECT_EQ(log.Lines(), Lines{});
}

// Which failures of the reader are logged, and how.
TEST_F(TransferTest, ReadFailureMessages) {
    struct Case {
        const char* name;
        std::function<int(SocketPair&)> prepare; // returns the descriptor to read
        volatile sig_atomic_t* flag;             // set for the read when not null
        Lines log;
    };
    const std::vector<Case> cases = {
        {"silence",
         [](SocketPair& p) { return p.ours; },
         nullptr,
         {"Error reading from socket (timeout)! (2)\n"}},
        {"silence while the child is told to exit", [](SocketPair& p) { return p.ours; }, &ExitFlag, {}},
        {"end of stream",
         [](SocketPair& p) {
             p.CloseTheirs();
             return p.ours;
         },
         nullptr,
         {}},
        {"connection reset",
         [](SocketPair& p) {
             (void)!write(p.ours, "x", 1); // unread by the peer, so its close resets the connection
             p.CloseTheirs();
             return p.ours;
         },
         nullptr,
         {"Error reading from socket (Connection reset by peer)! (2)\n"}},
        {"connection reset during a reload",
         [](SocketPair& p) {
             (void)!write(p.ours, "x", 1);
             p.CloseTheirs();
             return p.ours;
         },
         &ReloadFlag,
         {}},
        {"closed descriptor",
         [](SocketPair& p) {
             const int fd = p.ours;
             p.CloseOurs();
             return fd;
         },
         nullptr,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SocketPair p;
        CapturedLogLines().clear();
        const int fd = c.prepare(p);
        if (c.flag) *c.flag = 1;
        char word[4];
        TimeBudget budget = 200;
        EXPECT_EQ(ReadFull(fd, sizeof word, word, budget, true), -1);
        ExitFlag = ReloadFlag = 0;
        EXPECT_EQ(log.Lines(), c.log);
    }
}

TEST_F(TransferTest, UnlimitedBudgetStaysUnlimited) {
    ASSERT_EQ(write(pair.theirs, "abcd", 4), 4);
    char word[4];
    TimeBudget budget = kUnlimitedBudget;
    ASSERT_EQ(ReadFull(pair.ours, sizeof word, word, budget, true), 0);
    EXPECT_EQ(budget, kUnlimitedBudget);
}

TEST_F(TransferTest, StopFlagEndsOnlyTransfersThatHonourIt) {
    ASSERT_EQ(write(pair.theirs, "abcd", 4), 4);
    StopFlag = 1;
    char word[4];
    TimeBudget budget = 5000;
    EXPECT_EQ(ReadExact(pair.ours, word, sizeof word, budget, true).end, TransferEnd::kStopped);
    EXPECT_EQ(ReadFull(pair.ours, sizeof word, word, budget, false), 0);
    EXPECT_EQ(WriteFull("x", 1, pair.ours, budget, true, true), kWriteStopped);
    EXPECT_EQ(WriteFull("x", 1, pair.ours, budget, true, false), 0);
}

TEST_F(TransferTest, ZeroBytesNeedNoPeer) {
    TimeBudget budget = 0;
    EXPECT_EQ(ReadFull(pair.ours, 0, nullptr, budget, true), 0);
    EXPECT_EQ(WriteFull(nullptr, 0, pair.ours, budget, true, true), 0);
}

TEST_F(TransferTest, WriteWaitsForASlowReader) {
    int small = 4096;
    setsockopt(pair.ours, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const std::string data = Pattern(1 << 20);
    const pid_t peer = StartPeer(pair, [&](int fd) {
        std::string got;
        char piece[3000];
        ssize_t n;
        while ((n = read(fd, piece, sizeof piece)) > 0) {
            got.append(piece, static_cast<size_t>(n));
            if (got.size() % 7 == 0) usleep(100);
        }
        return got == data ? 0 : 1;
    });
    TimeBudget budget = 60000;
    EXPECT_EQ(WriteFull(data.data(), data.size(), pair.ours, budget, false, true), 0);
    pair.CloseOurs();
    EXPECT_EQ(WaitPeer(peer), 0);
}

TEST_F(TransferTest, PeerThatStopsReadingTimesTheWriteOutWithoutSpinning) {
    const std::string data = Pattern(4 << 20);
    const int ours = pair.ours;
    const WaitSamples samples = SampleWhileWaiting(nullptr, [this, &data, ours] {
        TimeBudget budget = 1500;
        const int result = WriteFull(data.data(), data.size(), ours, budget, true, true);
        return result == kWriteTimeout && budget == 0 && log.Lines().empty() ? 0 : 1;
    });
    EXPECT_EQ(samples.exitStatus, 0) << "the write timed out quietly and used up its budget";
    // Waiting in poll is found asleep; retrying at once never is.
    EXPECT_GT(samples.taken, 0);
    EXPECT_GE(samples.asleep * 4, samples.taken) << samples.asleep << " of " << samples.taken << " asleep";
}

TEST_F(TransferTest, WriteToAClosedPeerFailsInsteadOfRaisingSigpipe) {
    signal(SIGPIPE, SIG_DFL);
    pair.CloseTheirs();
    TimeBudget budget = 5000;
    EXPECT_EQ(WriteFull("abcd", 4, pair.ours, budget, true, true), kWriteError);
    EXPECT_EQ(errno, EPIPE);
    EXPECT_EQ(SendWord(1, pair.ours, budget, true, false), kWriteError);
    EXPECT_EQ(log.Lines(), Lines{});
    EXPECT_EQ(SendWord(1, pair.ours, budget, false, false), kWriteError);
    EXPECT_EQ(log.Lines(), Lines{"Error writing to socket (Broken pipe)!\n"});
}

TEST_F(TransferTest, WriteTimeOutIsLoggedUnlessQuiet) {
    const std::string data = Pattern(4 << 20);
    TimeBudget budget = 200;
    EXPECT_EQ(WriteFull(data.data(), data.size(), pair.ours, budget, false, true), kWriteTimeout);
    EXPECT_EQ(log.Lines(), Lines{"Error writing to socket (timeout)!\n"});
}

TEST_F(TransferTest, ProcessPrefix) {
    char prefix[kProcessPrefixSize];
    const std::string pid = "[" + std::to_string(getpid()) + "] ";
    LogProcessInfo = 1;
    ClientPeerAddress[0] = '\0';
    FormatProcessPrefix(prefix, sizeof prefix);
    EXPECT_EQ(std::string(prefix), pid);
    snprintf(ClientPeerAddress, sizeof ClientPeerAddress, "%s", std::string(256, 'a').c_str());
    FormatProcessPrefix(prefix, sizeof prefix);
    EXPECT_EQ(std::string(prefix), std::string(256, 'a') + " " + pid);
    FormatProcessPrefix(prefix, 8); // cut, still terminated
    EXPECT_EQ(std::string(prefix), "aaaaaaa");
    LogProcessInfo = 0;
    FormatProcessPrefix(prefix, sizeof prefix);
    EXPECT_EQ(std::string(prefix), "");
    ClientPeerAddress[0] = '\0';
}

TEST_F(TransferTest, WriteFullAlsoWritesPipes) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    TimeBudget budget = 5000;
    EXPECT_EQ(SendWord(2, fds[1], budget, false, false), 0); // host order on the pool's pipes
    uint32_t word = 0;
    EXPECT_EQ(ReadFull(fds[0], sizeof word, &word, budget, false), 0);
    EXPECT_EQ(word, 2u);
    close(fds[0]);
    close(fds[1]);
}

// The wire units: what each sender puts on the connection.
struct UnitCase {
    const char* name;
    std::function<int(int fd, TimeBudget& budget)> send;
    int result;
    std::string bytes;
};

class TempFile {
public:
    explicit TempFile(const std::string& content) {
        char dirTemplate[] = "/tmp/tarvo-wire-XXXXXX";
        dir_ = mkdtemp(dirTemplate);
        path_ = dir_ + "/object";
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() {
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }
    const char* Path() const { return path_.c_str(); }

private:
    std::string dir_;
    std::string path_;
};

TEST_F(TransferTest, WireUnits) {
    const std::string fileData = Pattern(40000); // three pieces
    const TempFile file(fileData);
    const TempFile empty("");
    const char* list[] = {"abc", "", nullptr};
    const std::vector<UnitCase> cases = {
        {"word already in wire order",
         [](int fd, TimeBudget& b) { return SendWord(htonl(0x01020304), fd, b, false, true); }, 0,
         Word(0x01020304)},
        {"string carries and counts its NUL",
         [](int fd, TimeBudget& b) { return SendString("abc", fd, b, false); }, 0,
         Word(4) + std::string("abc\0", 4)},
        {"empty string is length 1", [](int fd, TimeBudget& b) { return SendString("", fd, b, false); }, 0,
         Word(1) + std::string(1, '\0')},
        {"list", [&](int fd, TimeBudget& b) { return SendStringList(list, 3, fd, b, false); }, 0,
         Word(3) + Word(4) + std::string("abc\0", 4) + Word(1) + std::string(1, '\0') + Word(1) +
             std::string(1, '\0')},
        {"statistic whose bits are all set",
         [](int fd, TimeBudget& b) { return SendStatistic(0x100021, 0x100000, 1, fd, b); }, 0,
         Word(0x100000) + Word(1)},
        {"statistic missing one bit",
         [](int fd, TimeBudget& b) { return SendStatistic(0x20, 0x60, 9, fd, b); }, 0, ""},
        {"statistic while stopping",
         [](int fd, TimeBudget& b) {
             StopFlag = 1;
             const int r = SendStatistic(0x20, 0x20, 9, fd, b);
             StopFlag = 0;
             return r;
         },
         0, ""},
        {"file in pieces", [&](int fd, TimeBudget& b) { return SendFile(file.Path(), fd, b); }, 0,
         Word(40000) + fileData},
        {"empty file", [&](int fd, TimeBudget& b) { return SendFile(empty.Path(), fd, b); }, 0, Word(0)},
        {"missing file sends nothing",
         [](int fd, TimeBudget& b) { return SendFile("/nonexistent/x", fd, b); }, -1, ""},
    };
    for (const UnitCase& c : cases) {
        SCOPED_TRACE(c.name);
        SocketPair p;
        const pid_t peer = StartPeer(p, [](int fd) {
            const std::string got = PeerReadAll(fd);
            return PeerWrite(fd, got) ? 0 : 1; // echo back for the parent to compare
        });
        TimeBudget budget = 10000;
        EXPECT_EQ(c.send(p.ours, budget), c.result);
        shutdown(p.ours, SHUT_WR);
        std::vector<char> echoed(1 << 16);
        TimeBudget readBudget = 10000;
        const TransferResult r = ReadExact(p.ours, echoed.data(), echoed.size(), readBudget, false);
        EXPECT_EQ(r.end, TransferEnd::kClosed);
        echoed.resize(r.done);
        EXPECT_EQ(std::string(echoed.begin(), echoed.end()), c.bytes);
        EXPECT_EQ(WaitPeer(peer), 0);
    }
}

} // namespace
