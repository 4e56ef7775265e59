#include "mail/mime/generators.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <unistd.h>

namespace {

// Returns the process to the system's facts after each test.
class ProcessFactsTest : public ::testing::Test {
protected:
    void TearDown() override { SetProcessFacts({}); }
};

TEST_F(ProcessFactsTest, StandInsReplaceTheSystem) {
    DwProcessFacts facts;
    facts.now = 255;
    facts.processId = 42;
    facts.hostName = "mail";
    SetProcessFacts(facts);
    EXPECT_EQ(CurrentTime(), 255);
    EXPECT_EQ(ProcessId(), 42);
    char host[80];
    EXPECT_EQ(HostName(host, sizeof host), 0);
    EXPECT_STREQ(host, "mail");

    facts.hostName = std::string(60, 'h');
    SetProcessFacts(facts);
    char cut[56];
    memset(cut, 'x', sizeof cut);
    EXPECT_EQ(HostName(cut, sizeof cut), 0);
    EXPECT_EQ(std::string(cut), std::string(55, 'h'));

    SetProcessFacts({});
    EXPECT_EQ(ProcessId(), static_cast<int>(getpid()));
    DwTime before = time(nullptr);
    DwTime now = CurrentTime();
    EXPECT_GE(now, before);
    EXPECT_LE(now, static_cast<DwTime>(time(nullptr)));
}

TEST_F(ProcessFactsTest, SystemHostNameIsAlwaysTerminated) {
    char full[256];
    ASSERT_EQ(HostName(full, sizeof full), 0);
    ASSERT_LT(strlen(full), sizeof full);
    for (size_t size : {size_t(1), size_t(2), size_t(4)}) {
        char buffer[8];
        memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(HostName(buffer, size), 0) << size;
        EXPECT_EQ(buffer[size - 1], '\0');
        EXPECT_EQ(std::string(buffer), std::string(full).substr(0, size - 1));
        EXPECT_EQ(buffer[size], 'x'); // nothing written past the size
    }
    char untouched = 'x';
    EXPECT_EQ(HostName(&untouched, 0), -1);
    EXPECT_EQ(untouched, 'x');
}

TEST(Serial, CountsFromWhereItWasRestarted) {
    RestartSerial(0);
    EXPECT_EQ(NextSerial(), 1u);
    EXPECT_EQ(NextSerial(), 2u);
    EXPECT_EQ(NextSerial(), 3u);
    RestartSerial(0xFFFFFFFFu);
    EXPECT_EQ(NextSerial(), 0u);
    RestartSerial(0);
}

TEST(ParkMiller, MatchesTheModularFormula) {
    // Park and Miller's own check: the 10000th value from seed 1.
    uint32_t seed = 1;
    for (int i = 0; i < 10000; ++i) ParkMillerNext(seed);
    EXPECT_EQ(seed, 1043618065u);

    std::mt19937 rng(16807);
    std::vector<uint32_t> seeds = {1, 2, 16807, 0x7FFFFFFEu, 0x10000, 0xFFFF, 0x7FFF0000u};
    for (int i = 0; i < 20000; ++i) seeds.push_back(1 + rng() % 0x7FFFFFFEu);
    for (uint32_t s : seeds) {
        uint32_t next = s;
        EXPECT_EQ(ParkMillerNext(next), static_cast<uint32_t>(uint64_t(s) * 16807u % 0x7FFFFFFFu)) << s;
        EXPECT_EQ(next, static_cast<uint32_t>(uint64_t(s) * 16807u % 0x7FFFFFFFu));
    }
    uint32_t zero = 0;
    EXPECT_EQ(ParkMillerNext(zero), 0u);
}

} // namespace
