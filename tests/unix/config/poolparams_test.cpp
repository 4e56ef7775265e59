#include <gtest/gtest.h>

#include <string>

#include "tests/unix/config_fixture.h"
#include "unix/config/poolparams.h"

namespace {

using ProcessesPool = ConfigTest;

struct PoolCase {
    const char* value;
    bool bad;
    ProcessPoolParameters expected;
    uint32_t engineLimit;
};

TEST_F(ProcessesPool, Table) {
    const ProcessPoolParameters def = {1, 1024, 120, 0, 1, 25};
    const PoolCase cases[] = {
        {"2-8, timeout=60, stop_timeout=5, stat=yes", false, {2, 8, 60, 1, 5, 13}, 8},
        {"5", false, {5, 1024, 120, 0, 1, 25}, 16},
        {"5-", false, {5, 1024, 120, 0, 1, 25}, 16},
        {"1-4-9", false, {1, 9, 120, 0, 1, 25}, 9},
        {"auto, timeout=10", false, {1, 1024, 10, 0, 1, 5}, 16},
        {"3-3, stat=no, stat=YES", false, {3, 3, 120, 0, 1, 25}, 3},
        {"1-100000, timeout=2147483646", false, {1, 100000, 2147483646, 0, 1, 429496730}, 16},
        {"8-2", true, def, 16},
        {"0-4", true, def, 16},
        {"-4", true, def, 16},
        {"x", true, def, 16},
        {"2-x", true, def, 16},
        {"1-4, timeout = 60", true, def, 16},
        {"1-4, timeout=0", true, def, 16},
        {"1-4, timeout", true, def, 16},
        {"1-4, stop_timeout=-1", true, def, 16},
        {"1-4, Timeout=5", true, def, 16},
        {"1-4, size=5", true, def, 16},
        {"99999999999", true, def, 16},
    };
    for (const PoolCase& c : cases) {
        SCOPED_TRACE(c.value);
        RestoreKeptValues();
        EXPECT_EQ(Load(std::string("[Daemon]\nProcessesPool = ") + c.value + "\n"), c.bad ? 1 : 0);
        EXPECT_EQ(PoolParameters.minChildren, c.expected.minChildren);
        EXPECT_EQ(PoolParameters.maxChildren, c.expected.maxChildren);
        EXPECT_EQ(PoolParameters.idleTimeout, c.expected.idleTimeout);
        EXPECT_EQ(PoolParameters.statistics, c.expected.statistics);
        EXPECT_EQ(PoolParameters.stopTimeout, c.expected.stopTimeout);
        EXPECT_EQ(PoolParameters.timerPeriod, c.expected.timerPeriod);
        EXPECT_EQ(EngineInstanceLimit, c.engineLimit);
    }
}

TEST_F(ProcessesPool, FailedLineKeepsThePreviousPoolAcrossReloads) {
    Load("[Daemon]\nProcessesPool = 2-8, timeout=60\n");
    Load("[Daemon]\nProcessesPool = 8-2\n");
    EXPECT_EQ(PoolParameters.minChildren, 2);
    EXPECT_EQ(PoolParameters.maxChildren, 8);
    EXPECT_EQ(PoolReport.minChildren, 2);
    EXPECT_EQ(PoolReport.idlePlusStop, 61);
    // "auto" is kept even by a line that fails later on.
    Load("[Daemon]\nProcessesPool = auto, bogus\n");
    EXPECT_EQ(PoolAutoFlag, 1);
    EXPECT_EQ(PoolParameters.maxChildren, 8);
    Load("[Daemon]\nProcessesPool = 4\n");
    EXPECT_EQ(PoolAutoFlag, 1);
}

TEST(SplitNameValue, FirstAndLastDelimiter) {
    std::string name, value = "old";
    SplitNameValue("a=b=c", name, value, "=");
    EXPECT_EQ(name, "a");
    EXPECT_EQ(value, "c");
    value = "old";
    SplitNameValue("plain", name, value, "=");
    EXPECT_EQ(name, "plain");
    EXPECT_EQ(value, "old");
    SplitNameValue("x-", name, value, "-");
    EXPECT_EQ(name, "x");
    EXPECT_EQ(value, "");
}

} // namespace
