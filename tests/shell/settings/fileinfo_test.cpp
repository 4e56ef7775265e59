#include "shell/settings/fileinfo.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "base/filelayer.h"
#include "base/scratch_dir.h"

namespace {

TEST(GetFileSize64, ReadsSizesPastFourGigabytes) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_TRUE(dir.Sparse("big", 5ll << 30));
    ASSERT_TRUE(dir.Write("small", "abc"));
    EXPECT_EQ(5ull << 30, GetFileSize64((dir / "big").c_str()));
    EXPECT_EQ(3u, GetFileSize64((dir / "small").c_str()));
    EXPECT_EQ(0u, GetFileSize64((dir / "missing").c_str()));
    EXPECT_EQ(0u, GetFileSize64(nullptr));
}

// Keeps the process's descriptor limit and the budget as they were.
class OpenFileLimitTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
        savedLimit = OpenFileLimit;
        savedReserve = OpenFileReserve;
    }
    void TearDown() override {
        setrlimit(RLIMIT_NOFILE, &saved);
        OpenFileLimit = savedLimit;
        OpenFileReserve = savedReserve;
    }
    struct rlimit saved {};
    int32_t savedLimit = 0, savedReserve = 0;
};

TEST_F(OpenFileLimitTest, ReadsTheProcessSoftLimit) {
    struct rlimit low = saved;
    low.rlim_cur = 10;
    if (low.rlim_max != RLIM_INFINITY && low.rlim_max < 10) GTEST_SKIP() << "hard limit below 10";
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
    InitOpenFileLimit();
    EXPECT_EQ(9, OpenFileReserve);
    EXPECT_EQ(1, OpenFileLimit);
}

} // namespace
