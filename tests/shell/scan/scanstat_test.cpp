#include "shell/scan/scanstat.h"

#include <gtest/gtest.h>

#include <cstring>

#include "shell/scan/requestoption.h"
#include "shell/scan/scancounters.h"

namespace {

struct SpeedCase {
    uint64_t bytes;
    uint64_t paused;
    uint64_t elapsed;
    uint64_t speed;
};

void PrintTo(const SpeedCase& c, std::ostream* os) {
    *os << c.bytes << " bytes in " << c.elapsed << " s, " << c.paused << " s paused";
}

class SpeedTable : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SpeedTable, GivesKilobytesPerSecond) {
    ScanStat s;
    s.bytesScanned = GetParam().bytes;
    s.pausedSeconds = GetParam().paused;
    EXPECT_EQ(GetParam().speed, s.SpeedKBps(GetParam().elapsed));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpeedTable,
    ::testing::Values(SpeedCase{0, 0, 0, 0}, SpeedCase{0, 0, 10, 0}, SpeedCase{5000, 0, 0, 4},
                      SpeedCase{500, 0, 0, 1}, SpeedCase{1023, 0, 0, 1}, SpeedCase{1024, 0, 0, 1},
                      SpeedCase{10240, 0, 2, 5}, SpeedCase{10240, 3, 5, 5}, SpeedCase{10240, 5, 5, 10},
                      // More paused than elapsed: the pause is not subtracted.
                      SpeedCase{10240, 9, 5, 2}, SpeedCase{100, 0, 50, 1},
                      // Past 4 GiB the bytes are not cut to 32 bits.
                      SpeedCase{6ull << 30, 0, 2, 3ull << 20}, SpeedCase{6ull << 30, 0, 0, 6ull << 20}));

struct ExitCase {
    const char* counter;
    uint32_t ScanStat::*field;
    int code;
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.counter;
}

class ExitCodeTable : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitCodeTable, IsTwelveWhenAnythingWasFound) {
    ScanStat s;
    EXPECT_EQ(3, s.ExitCode());
    s.*(GetParam().field) = 1;
    EXPECT_EQ(GetParam().code, s.ExitCode());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExitCodeTable,
    ::testing::Values(ExitCase{"infected", &ScanStat::infected, 12},
                      ExitCase{"suspicious", &ScanStat::suspicious, 12},
                      ExitCase{"modifications", &ScanStat::modifications, 12},
                      ExitCase{"adware", &ScanStat::adware, 12}, ExitCase{"dialers", &ScanStat::dialers, 12},
                      ExitCase{"jokes", &ScanStat::jokes, 12}, ExitCase{"riskware", &ScanStat::riskware, 12},
                      ExitCase{"hacktools", &ScanStat::hacktools, 12}, ExitCase{"cured", &ScanStat::cured, 3},
                      ExitCase{"deleted", &ScanStat::deleted, 3},
                      ExitCase{"readErrors", &ScanStat::readErrors, 3},
                      ExitCase{"leftInfected", &ScanStat::leftInfected, 3},
                      ExitCase{"infectedNested", &ScanStat::infectedNested, 3}));

TEST(ScanStat, ResetClearsEveryCounterAndRestartsTheClock) {
    ScanStat s;
    s.infected = 4;
    s.bytesScanned = 1;
    s.counterBlock[10][20] = 5;
    s.pausedSeconds = 3;
    s.startTime = 1;
    s.Reset();
    EXPECT_EQ(0u, s.infected);
    EXPECT_EQ(0u, s.bytesScanned);
    EXPECT_EQ(0u, s.counterBlock[10][20]);
    EXPECT_EQ(0u, s.pausedSeconds);
    EXPECT_GE(s.startTime, time(nullptr) - 5);
}

TEST(ScanStat, ElapsedSplitsIntoHoursMinutesSeconds) {
    ScanStat s;
    s.startTime = time(nullptr) - (2 * 3600 + 3 * 60 + 4);
    uint32_t h = 0, m = 0, sec = 0;
    time_t d = s.Elapsed(&h, &m, &sec);
    // A second may pass between the two clock reads.
    ASSERT_GE(d, 2 * 3600 + 3 * 60 + 4);
    ASSERT_LE(d, 2 * 3600 + 3 * 60 + 6);
    EXPECT_EQ(2u, h);
    EXPECT_EQ(3u, m);
    EXPECT_EQ(static_cast<uint32_t>(d % 60), sec);
}

class Counting : public ::testing::Test {
protected:
    void SetUp() override { saved = RequestOptionWord; }
    void TearDown() override { RequestOptionWord = saved; }
    ScanTaskCounters c;
    uint32_t saved = 0;
};

TEST_F(Counting, CountsInTheTaskAndTheTotalAndMarksTheTask) {
    EXPECT_FALSE(c.IsCounted());
    c.CountInfected(0);
    EXPECT_TRUE(c.IsCounted());
    EXPECT_EQ(1u, c.TaskStat().infected);
    EXPECT_EQ(1u, c.TotalStat().infected);
    EXPECT_EQ(0u, c.TaskStat().infectedNested);
    c.CountInfected(2);
    EXPECT_EQ(2u, c.TaskStat().infected);
    EXPECT_EQ(1u, c.TaskStat().infectedNested);
    EXPECT_EQ(1u, c.TotalStat().infectedNested);
}

TEST_F(Counting, ScannedBytesPassFourGigabytes) {
    c.CountScanned(3ull << 30, false);
    c.CountScanned(3ull << 30, true);
    EXPECT_EQ(6ull << 30, c.TaskStat().bytesScanned);
    EXPECT_EQ(6ull << 30, c.TotalStat().bytesScanned);
    EXPECT_EQ(2u, c.TaskStat().scanned);
    EXPECT_EQ(1u, c.TaskStat().scannedNested);
}

TEST_F(Counting, ExtendedClassCountsAsInfectedUnlessTheRequestAsksForClasses) {
    using CountFn = void (ScanTaskCounters::*)(uint32_t);
    struct Row {
        CountFn fn;
        uint32_t ScanStat::*field;
        uint32_t ScanStat::*nested;
    };
    const Row rows[] = {
        {&ScanTaskCounters::CountAdware, &ScanStat::adware, &ScanStat::adwareNested},
        {&ScanTaskCounters::CountDialer, &ScanStat::dialers, &ScanStat::dialersNested},
        {&ScanTaskCounters::CountJoke, &ScanStat::jokes, &ScanStat::jokesNested},
        {&ScanTaskCounters::CountRiskware, &ScanStat::riskware, &ScanStat::riskwareNested},
        {&ScanTaskCounters::CountHacktool, &ScanStat::hacktools, &ScanStat::hacktoolsNested},
    };
    for (const Row& row : rows) {
        ScanTaskCounters plain, classed;
        RequestOptionWord = 0x7FFFFFFF;
        (plain.*row.fn)(1);
        EXPECT_EQ(1u, plain.TaskStat().*row.field);
        EXPECT_EQ(1u, plain.TaskStat().*row.nested);
        EXPECT_EQ(1u, plain.TaskStat().infected);
        EXPECT_EQ(1u, plain.TotalStat().infectedNested);
        EXPECT_EQ(0u, plain.TaskStat().extendedFindings);

        RequestOptionWord = 0x80000000u;
        (classed.*row.fn)(0);
        EXPECT_EQ(1u, classed.TaskStat().*row.field);
        EXPECT_EQ(0u, classed.TaskStat().*row.nested);
        EXPECT_EQ(0u, classed.TaskStat().infected);
        EXPECT_EQ(1u, classed.TaskStat().extendedFindings);
        EXPECT_EQ(1u, classed.TotalStat().extendedFindings);
    }
}

TEST_F(Counting, EachPlainCountingOperationHasItsOwnField) {
    using CountFn = void (ScanTaskCounters::*)();
    struct Row {
        CountFn fn;
        uint32_t ScanStat::*field;
    };
    const Row rows[] = {
        {&ScanTaskCounters::CountCured, &ScanStat::cured},
        {&ScanTaskCounters::CountDeleted, &ScanStat::deleted},
        {&ScanTaskCounters::CountMoved, &ScanStat::moved},
        {&ScanTaskCounters::CountRenamed, &ScanStat::renamed},
        {&ScanTaskCounters::CountIgnored, &ScanStat::ignored},
        {&ScanTaskCounters::CountTooLarge, &ScanStat::tooLarge},
        {&ScanTaskCounters::CountNestingLimit, &ScanStat::nestingLimit},
        {&ScanTaskCounters::CountCompressionRatio, &ScanStat::compressionRatio},
        {&ScanTaskCounters::CountUnused200, &ScanStat::spare1},
        {&ScanTaskCounters::CountUnused204, &ScanStat::spare2},
        {&ScanTaskCounters::CountTimeout, &ScanStat::timeouts},
        {&ScanTaskCounters::CountReadError, &ScanStat::readErrors},
        {&ScanTaskCounters::CountWriteError, &ScanStat::writeErrors},
        {&ScanTaskCounters::CountUnused224, &ScanStat::spare3},
        {&ScanTaskCounters::CountCrcError, &ScanStat::crcErrors},
        {&ScanTaskCounters::CountNoMemory, &ScanStat::noMemory},
        {&ScanTaskCounters::CountInputError, &ScanStat::inputErrors},
        {&ScanTaskCounters::CountSkipped, &ScanStat::skipped},
        {&ScanTaskCounters::CountSkippedNested, &ScanStat::skippedNested},
        {&ScanTaskCounters::CountDecompressionError, &ScanStat::decompressionErrors},
        {&ScanTaskCounters::CountSkippedProtected, &ScanStat::skippedProtected},
        {&ScanTaskCounters::CountSplitFile, &ScanStat::splitFiles},
        {&ScanTaskCounters::CountRejected, &ScanStat::rejected},
    };
    for (const Row& row : rows) {
        ScanTaskCounters one;
        (one.*row.fn)();
        EXPECT_EQ(1u, one.TaskStat().*row.field);
        EXPECT_EQ(1u, one.TotalStat().*row.field);
        EXPECT_TRUE(one.IsCounted());
        ScanStat zero;
        zero.*row.field = 1;
        zero.startTime = one.TaskStat().startTime;
        EXPECT_EQ(0, std::memcmp(&zero, &one.TaskStat(), sizeof(zero))) << "only its own field changes";
    }
}

TEST_F(Counting, ElapsedWithoutATimerAddsNothing) {
    c.AddElapsed();
    EXPECT_EQ(0u, c.TaskStat().pausedSeconds);
    c.StartTimer();
    c.AddElapsed();
    EXPECT_LE(c.TaskStat().pausedSeconds, 1u);
    EXPECT_EQ(c.TaskStat().pausedSeconds, c.TotalStat().pausedSeconds);
}

} // namespace
