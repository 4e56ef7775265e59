// A reply gathered into one write, and a field read together with the one after it: the same bytes
// as unit by unit, never more than the request.

#include <arpa/inet.h>
#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <vector>

#include "tests/unix/logcapture.h"
#include "tests/unix/peer.h"
#include "unix/protocol/signalflags.h"
#include "unix/protocol/wire.h"

namespace {

class GatherTest : public ::testing::Test {
protected:
    void SetUp() override { StopFlag = 0; }
    void TearDown() override { StopFlag = 0; }
    using Lines = std::vector<std::string>;
    LogCapture log;
    SocketPair pair;
    TimeBudget budget = 5000;

    // What the peer's end holds now, without waiting.
    std::string Pending() {
        std::string bytes;
        char piece[4096];
        ssize_t n;
        while ((n = recv(pair.theirs, piece, sizeof piece, MSG_DONTWAIT)) > 0)
            bytes.append(piece, static_cast<size_t>(n));
        return bytes;
    }
};

// The units of a found-list reply, as dScanFile sends them.
void SendReply(int fd, TimeBudget& budget) {
    SendWord(htonl(0x100000), fd, budget, true, true);
    const char* const found[] = {"EICAR-Test", ""};
    SendStringList(found, 2, fd, budget, false);
    SendStatistic(1, 1, 7, fd, budget);
}

TEST_F(GatherTest, AReplyLeavesAtTheFlushByteForByteAsUnitByUnit) {
    SendReply(pair.ours, budget);
    const std::string plain = Pending();
    ASSERT_FALSE(plain.empty());
    {
        GatheredWrites reply(pair.ours, budget);
        SendReply(pair.ours, budget);
        EXPECT_EQ(Pending(), "");
        EXPECT_EQ(reply.Flush(), 0);
        EXPECT_EQ(Pending(), plain);
    }
    // Gone with the collection: the next write leaves at once.
    ASSERT_EQ(SendWord(htonl(3), pair.ours, budget, false, false), 0);
    EXPECT_EQ(Pending(), Word(3));
}

TEST_F(GatherTest, OnlyItsOwnDescriptorIsCollectedAndOnlyOneCollectionAtATime) {
    SocketPair other;
    GatheredWrites reply(pair.ours, budget);
    GatheredWrites inner(other.ours, budget);
    ASSERT_EQ(SendWord(htonl(1), other.ours, budget, false, false), 0);
    EXPECT_EQ(PeerRead(other.theirs, 4), Word(1));
    ASSERT_EQ(SendWord(htonl(2), pair.ours, budget, false, false), 0);
    EXPECT_EQ(inner.Flush(), 0);
    EXPECT_EQ(Pending(), "");
    EXPECT_EQ(reply.Flush(), 0);
    EXPECT_EQ(Pending(), Word(2));
}

TEST_F(GatherTest, UnitsBiggerThanTheBufferKeepTheirPlaceInTheStream) {
    std::string big(40000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13);
    const pid_t peer = StartPeer(pair, [&](int fd) {
        const std::string want = Word(1) + big + Word(2) + std::string(9000, 'a') + std::string(9000, 'b');
        return PeerRead(fd, want.size()) == want ? 0 : 1;
    });
    GatheredWrites reply(pair.ours, budget);
    ASSERT_EQ(SendWord(htonl(1), pair.ours, budget, false, true), 0);
    ASSERT_EQ(WriteFull(big.data(), big.size(), pair.ours, budget, false, true), 0);
    ASSERT_EQ(SendWord(htonl(2), pair.ours, budget, false, true), 0);
    ASSERT_EQ(WriteFull(std::string(9000, 'a').data(), 9000, pair.ours, budget, false, true), 0);
    ASSERT_EQ(WriteFull(std::string(9000, 'b').data(), 9000, pair.ours, budget, false, true), 0);
    EXPECT_EQ(reply.Flush(), 0);
    EXPECT_EQ(WaitPeer(peer), 0);
}

TEST_F(GatherTest, AUnitThatFindsTheStopFlagIsRefusedAndWhatCameBeforeStillLeaves) {
    GatheredWrites reply(pair.ours, budget);
    ASSERT_EQ(SendWord(htonl(5), pair.ours, budget, true, true), 0);
    StopFlag = 1;
    EXPECT_EQ(SendWord(htonl(6), pair.ours, budget, false, true), kWriteStopped);
    StopFlag = 0;
    EXPECT_EQ(reply.Flush(), 0);
    EXPECT_EQ(Pending(), Word(5));
}

TEST_F(GatherTest, AFailedFlushSpeaksAsTheUnitInWhichItFailed) {
    signal(SIGPIPE, SIG_DFL);
    pair.CloseTheirs();
    {
        GatheredWrites reply(pair.ours, budget);
        SendWord(htonl(1), pair.ours, budget, true, true);
        SendWord(htonl(2), pair.ours, budget, false, true);
        EXPECT_EQ(reply.Flush(), kWriteError);
    }
    EXPECT_EQ(log.Lines(), Lines{}); // the first unit was quiet
    {
        GatheredWrites reply(pair.ours, budget);
        SendWord(htonl(1), pair.ours, budget, false, true);
        EXPECT_EQ(reply.Flush(), kWriteError);
    }
    EXPECT_EQ(log.Lines(), Lines{"Error writing to socket (Broken pipe)!\n"});
}

TEST_F(GatherTest, AFieldAndTheOneAfterItInOneReadNeverMoreAndNeverWaitingForTheSecond) {
    const std::string name("clean.txt", 10);
    // Both there: both taken.
    ASSERT_TRUE(PeerWrite(pair.theirs, name + Word(1024) + "next request"));
    char buffer[64] = {};
    size_t got = 0;
    ASSERT_EQ(ReadFullAndMore(pair.ours, name.size(), 4, buffer, budget, true, &got), 0);
    EXPECT_EQ(got, name.size() + 4);
    EXPECT_EQ(std::string(buffer, got), name + Word(1024));
    char rest[64] = {};
    ASSERT_EQ(ReadFull(pair.ours, 12, rest, budget, true), 0);
    EXPECT_EQ(std::string(rest, 12), "next request");

    // Only the first there: it is enough, whatever the budget.
    ASSERT_TRUE(PeerWrite(pair.theirs, name + std::string("\0\0", 2)));
    TimeBudget unlimited = kUnlimitedBudget;
    ASSERT_EQ(ReadFullAndMore(pair.ours, name.size(), 4, buffer, unlimited, true, &got), 0);
    EXPECT_EQ(std::string(buffer, got), name + std::string("\0\0", 2));

    // The first cut short: a failure that tells how much came.
    ASSERT_TRUE(PeerWrite(pair.theirs, "abc"));
    pair.CloseTheirs();
    EXPECT_EQ(ReadFullAndMore(pair.ours, name.size(), 4, buffer, budget, true, &got), -1);
    EXPECT_EQ(got, 3u);
}

} // namespace
