#include "base/filelayer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/findfile.h"
#include "scratch_dir.h"

namespace {

// Keeps the process-wide budget and switches as they were before the test.
class FileBudgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        savedCount = OpenFileCount;
        savedLimit = OpenFileLimit;
        savedReserve = OpenFileReserve;
        savedFollow = FollowLinks;
    }
    void TearDown() override {
        OpenFileCount = savedCount;
        OpenFileLimit = savedLimit;
        OpenFileReserve = savedReserve;
        FollowLinks = savedFollow;
    }
    ScratchDir dir;
    int32_t savedCount = 0, savedLimit = 0, savedReserve = 0;
    int savedFollow = 0;
};

TEST_F(FileBudgetTest, RefusesAtTheLimitAndOpensAgainAfterAClose) {
    ASSERT_TRUE(dir.Write("f", "x"));
    const std::string f = dir / "f";
    OpenFileLimit = OpenFileCount + 3;
    int fds[3];
    for (int& fd : fds) {
        fd = FileOpen(f.c_str(), O_RDONLY, 0);
        ASSERT_GE(fd, 0);
    }
    EXPECT_EQ(OpenFileLimit, OpenFileCount);

    errno = 0;
    EXPECT_EQ(-1, FileOpen(f.c_str(), O_RDONLY, 0));
    EXPECT_EQ(EMFILE, errno);
    FindRecord* rec = nullptr;
    errno = 0;
    EXPECT_EQ(-1, FindFirst((dir.path() + "/*").c_str(), &rec));
    EXPECT_EQ(EMFILE, errno);
    EXPECT_EQ(nullptr, rec);

    EXPECT_EQ(0, FileClose(fds[0]));
    EXPECT_EQ(savedCount + 2, OpenFileCount);
    fds[0] = FileOpen(f.c_str(), O_RDONLY, 0);
    EXPECT_GE(fds[0], 0);
    for (int fd : fds) EXPECT_EQ(0, FileClose(fd));
    EXPECT_EQ(savedCount, OpenFileCount);
}

TEST_F(FileBudgetTest, OnlyCountedDescriptorsLowerTheCount) {
    ASSERT_TRUE(dir.Write("f", "x"));
    int counted = FileOpen((dir / "f").c_str(), O_RDONLY, 0);
    ASSERT_GE(counted, 0);
    const int32_t withOne = OpenFileCount;

    EXPECT_EQ(-1, FileClose(-1));
    EXPECT_EQ(withOne, OpenFileCount);

    int foreign = ::open((dir / "f").c_str(), O_RDONLY);
    ASSERT_GE(foreign, 0);
    EXPECT_EQ(0, FileClose(foreign));
    EXPECT_EQ(withOne, OpenFileCount);

    EXPECT_EQ(0, FileClose(counted));
    EXPECT_EQ(withOne - 1, OpenFileCount);
    // Closed twice: the second close neither succeeds nor counts.
    EXPECT_EQ(-1, FileClose(counted));
    EXPECT_EQ(withOne - 1, OpenFileCount);
}

TEST_F(FileBudgetTest, CreatedFilesAreMode0600) {
    mode_t oldMask = ::umask(022);
    int fd = FileOpen((dir / "new").c_str(), O_CREAT | O_TRUNC | O_RDWR, 0);
    ::umask(oldMask);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(3, FileWrite(fd, "abc", 3));
    EXPECT_EQ(0, FileSeek(fd, 0, SEEK_SET));
    char buf[4] = {};
    EXPECT_EQ(3, FileRead(fd, buf, 3));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(3, FileSize(fd));
    EXPECT_EQ(0, FileClose(fd));
    int mode = GetFileMode((dir / "new").c_str());
    EXPECT_EQ(S_IFREG | 0600, mode);
    EXPECT_EQ(-1, FileRead(-1, buf, 1));
    EXPECT_EQ(-1, FileWrite(-1, buf, 1));
    EXPECT_EQ(-1, FileSeek(-1, 0, SEEK_SET));
}

TEST_F(FileBudgetTest, SizesBeyondFourGigabytes) {
    const long long size = 4831838208LL; // 4.5 GiB: its low 32 bits say 512 MiB
    if (!dir.Sparse("big", size)) GTEST_SKIP() << "no sparse files here";
    int fd = FileOpen((dir / "big").c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(size, FileSize(fd));
    EXPECT_EQ(size - 1, FileSeek(fd, size - 1, SEEK_SET));
    EXPECT_EQ(0, FileClose(fd));
}

TEST_F(FileBudgetTest, ModesOfFilesDirectoriesAndLinks) {
    ASSERT_TRUE(dir.Write("f", "x"));
    ASSERT_EQ(0, ::mkdir((dir / "d").c_str(), 0700));
    ASSERT_EQ(0, ::symlink("d", (dir / "to-d").c_str()));
    ASSERT_EQ(0, ::symlink("missing", (dir / "dangling").c_str()));

    EXPECT_TRUE(S_ISREG(GetFileMode((dir / "f").c_str())));
    EXPECT_EQ(1, IsDirectoryMode(GetFileMode((dir / "d").c_str())));
    FollowLinks = 0;
    EXPECT_TRUE(S_ISLNK(GetFileMode((dir / "to-d").c_str())));
    EXPECT_TRUE(S_ISLNK(GetFileMode((dir / "dangling").c_str())));
    FollowLinks = 1;
    EXPECT_EQ(1, IsDirectoryMode(GetFileMode((dir / "to-d").c_str())));
    EXPECT_EQ(-1, GetFileMode((dir / "dangling").c_str()));

    EXPECT_EQ(-1, GetFileMode((dir / "nothing").c_str()));
    EXPECT_EQ(-1, GetFileMode(""));
    EXPECT_EQ(-1, GetFileMode(nullptr));
    EXPECT_EQ(0, IsDirectoryMode(-1));
    EXPECT_EQ(0, IsDirectoryMode(GetFileMode((dir / "f").c_str())));
}

TEST_F(FileBudgetTest, LimitFromTheSoftLimit) {
    struct Case {
        int64_t soft;
        int32_t reserve, limit;
    } cases[] = {
        {10, 9, 1}, {4096, 16, 4080}, {17, 16, 1},    {16, 15, 1},
        {1, 0, 1},  {0, 0, 0},        {-1, 16, 1024}, {INT64_C(1) << 40, 16, INT32_MAX - 16},
    };
    for (const Case& c : cases) {
        InitOpenFileLimitFor(c.soft);
        EXPECT_EQ(c.reserve, OpenFileReserve) << c.soft;
        EXPECT_EQ(c.limit, OpenFileLimit) << c.soft;
    }
    InitOpenFileLimit();
    EXPECT_GT(OpenFileLimit, 0);
}

TEST(FileLayerMisc, StrToULAndCopyHook) {
    char* end = nullptr;
    EXPECT_EQ(255ul, StrToUL("ff!", &end, 16));
    EXPECT_STREQ("!", end);
    EXPECT_EQ(0, FinishFileCopy("x", 1));
}

} // namespace
