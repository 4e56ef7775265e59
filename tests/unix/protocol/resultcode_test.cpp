// The result word from a task's statistics, and the statistics pairs of a reply.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <string>

#include "shell/scan/requestoption.h"
#include "tests/unix/peer.h"
#include "unix/protocol/resultcode.h"
#include "unix/protocol/signalflags.h"

namespace {

class ResultCodeTest : public ::testing::Test {
protected:
    void SetUp() override { RequestOptionWord = 0; }
    void TearDown() override { RequestOptionWord = 0; }
    ScanTaskCounters task;
};

TEST_F(ResultCodeTest, CleanScanIsNothingFound) {
    EXPECT_EQ(MakeResultCode(0, 0, &task), 0x100000u);
    task.CountScanned(100, false);
    task.CountClean(0);
    EXPECT_EQ(MakeResultCode(0, 0, &task), 0x100000u);
}

TEST_F(ResultCodeTest, ErrorCodeMakesTheWord) {
    task.CountInfected(0);
    for (uint32_t code : {1u, 2u, 4u, 16u}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(MakeResultCode(0, code, &task), code);
        EXPECT_EQ(MakeResultCode(0xFFFFFFFF, code, &task), code | 0x200000u);
    }
}

TEST_F(ResultCodeTest, EachCounterItsBit) {
    using Count = void (ScanTaskCounters::*)();
    const struct {
        const char* name;
        Count count;
        uint32_t bits;
    } cases[] = {
        {"read error", &ScanTaskCounters::CountReadError, 0x1 | 0x100000},
        {"write error", &ScanTaskCounters::CountWriteError, 0x2 | 0x100000},
        {"no memory", &ScanTaskCounters::CountNoMemory, 0x4 | 0x100000},
        {"crc error", &ScanTaskCounters::CountCrcError, 0x8 | 0x100000},
        {"input error", &ScanTaskCounters::CountInputError, 0x10 | 0x100000},
        {"cured", &ScanTaskCounters::CountCured, 0x100 | 0x100000},
        {"deleted", &ScanTaskCounters::CountDeleted, 0x100 | 0x80000 | 0x100000},
        {"moved", &ScanTaskCounters::CountMoved, 0x100 | 0x80000 | 0x100000},
        {"renamed", &ScanTaskCounters::CountRenamed, 0x100000},
        {"time-out", &ScanTaskCounters::CountTimeout, 0x200 | 0x100000},
        {"spare 200", &ScanTaskCounters::CountUnused200, 0x400 | 0x100000},
        {"skipped", &ScanTaskCounters::CountSkipped, 0x1000 | 0x100000},
        {"too large", &ScanTaskCounters::CountTooLarge, 0x2000 | 0x100000},
        {"compression ratio", &ScanTaskCounters::CountCompressionRatio, 0x4000 | 0x100000},
        {"rejected", &ScanTaskCounters::CountRejected, 0x20000},
        {"nesting limit", &ScanTaskCounters::CountNestingLimit, 0x40000 | 0x100000},
        {"skipped nested", &ScanTaskCounters::CountSkippedNested, 0x10000000 | 0x100000},
        {"decompression error", &ScanTaskCounters::CountDecompressionError, 0x20000000 | 0x100000},
        {"skipped protected", &ScanTaskCounters::CountSkippedProtected, 0x40000000 | 0x100000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScanTaskCounters t;
        (t.*c.count)();
        EXPECT_EQ(MakeResultCode(0, 0, &t), c.bits);
    }
}

TEST_F(ResultCodeTest, FindingsLeftAndExtendedClasses) {
    task.CountInfected(0);
    task.TaskStat().leftInfected = 1;
    EXPECT_EQ(MakeResultCode(0, 0, &task), 0x20u);
    task.CountSuspicious(0);
    task.CountModification(0);
    EXPECT_EQ(MakeResultCode(0x200000, 0, &task), 0x20u | 0x40 | 0x80 | 0x200000);

    // Adware: as an infection too unless the request asks for its own class.
    ScanTaskCounters adware;
    adware.CountAdware(0);
    EXPECT_EQ(MakeResultCode(0, 0, &adware), 0x20u | 0x100000);
    RequestOptionWord = 0x80000000u;
    ScanTaskCounters own;
    own.CountAdware(0);
    own.CountDialer(0);
    own.CountJoke(0);
    own.CountRiskware(0);
    own.CountHacktool(0);
    EXPECT_EQ(MakeResultCode(0, 0, &own), 0x400000u | 0x800000 | 0x1000000 | 0x2000000 | 0x4000000);
}

// The words that SendStatisticPairs writes, as big-endian bytes.
std::string PairsOf(uint32_t resultWord, const ScanTaskCounters& task) {
    SocketPair pair;
    TimeBudget budget = 5000;
    EXPECT_EQ(SendStatisticPairs(resultWord, &task, pair.ours, budget), 0);
    pair.CloseOurs();
    return PeerReadAll(pair.theirs);
}

TEST_F(ResultCodeTest, PairsFollowTheirCount) {
    EXPECT_EQ(PairsOf(0x100000, task), Word(1) + Word(0x100000) + Word(1));

    task.CountInfected(0);
    task.CountInfected(0);
    task.CountCured();
    task.CountDeleted();
    task.CountMoved();
    const uint32_t word = MakeResultCode(0x200000, 0, &task);
    EXPECT_EQ(word, 0x20u | 0x100 | 0x80000 | 0x100000 | 0x200000);
    // Treated objects are deleted + cured; removed ones the deleted count.
    EXPECT_EQ(PairsOf(word, task), Word(5) + Word(0x20) + Word(2) + Word(0x100) + Word(2) + Word(0x80000) +
                                       Word(1) + Word(0x100000) + Word(1) + Word(0x200000) + Word(1));
}

TEST_F(ResultCodeTest, ExtendedPairsOnlyWhenAsked) {
    RequestOptionWord = 0x80000000u;
    task.CountJoke(0);
    const uint32_t word = MakeResultCode(0, 0, &task);
    EXPECT_EQ(PairsOf(word, task), Word(1) + Word(0x1000000) + Word(1));
    // Without the request's bit no such pair goes out, and K does not count it.
    RequestOptionWord = 0;
    EXPECT_EQ(PairsOf(0x1000000 | 0x100000, task), Word(1) + Word(0x100000) + Word(1));
}

TEST_F(ResultCodeTest, BitsWithoutPairsAreNotCounted) {
    EXPECT_EQ(PairsOf(0x80010000, task), Word(0));
}

} // namespace
