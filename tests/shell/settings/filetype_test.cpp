#include "shell/settings/filetype.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/filelayer.h"
#include "base/pathutil.h"
#include "tests/shell/log_capture.h"
#include "base/scratch_dir.h"
#include "shell/scan/nameformat.h"
#include "shell/host/objectaccess.h"

namespace {

class FileTypeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        savedFollow = FollowLinks;
        savedAccess = ShellObjectAccess;
        savedProgram = ProgramPath();
        FollowLinks = 0;
        ASSERT_TRUE(dir.Write("data", "content"));
        ASSERT_TRUE(dir.Write("empty", ""));
        ASSERT_EQ(0, mkdir((dir / "sub").c_str(), 0700));
        ASSERT_EQ(0, mkfifo((dir / "fifo").c_str(), 0600));
        ASSERT_EQ(0, symlink("data", (dir / "link").c_str()));
        ASSERT_EQ(0, symlink("fifo", (dir / "fifolink").c_str()));
        ASSERT_EQ(0, symlink("nowhere", (dir / "dangling").c_str()));
    }
    void TearDown() override {
        FollowLinks = savedFollow;
        ShellObjectAccess = savedAccess;
        SetProgramPath(savedProgram.c_str());
    }
    FileTypeVerdict Check(const std::string& name, uint64_t size = 0) {
        return ClassifyFileType((dir / name).c_str(), size);
    }

    ScratchDir dir;
    int savedFollow = 0;
    ObjectAccess savedAccess{};
    std::string savedProgram;
};

struct TypeCase {
    const char* name;
    int follow;
    int skip;
    uint32_t message;
    uint32_t flags;
};

void PrintTo(const TypeCase& c, std::ostream* os) {
    *os << c.name << (c.follow ? ", links followed" : "");
}

class FileTypeTable : public FileTypeTest, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(FileTypeTable, ScansOrSkipsWithItsMessage) {
    const TypeCase& c = GetParam();
    FollowLinks = c.follow;
    FileTypeVerdict v = Check(c.name);
    EXPECT_EQ(c.skip, v.skip) << c.name;
    EXPECT_EQ(c.message, v.message) << c.name;
    EXPECT_EQ(c.flags, v.flags) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileTypeTable,
    ::testing::Values(TypeCase{"data", 0, 0, 0, 0}, TypeCase{"empty", 0, 1, 184, 0},
                      TypeCase{"sub", 0, 1, 130, 0x800}, TypeCase{"fifo", 0, 1, 132, 0x800},
                      TypeCase{"link", 0, 1, 128, 0x400}, TypeCase{"link", 1, 0, 0, 0},
                      TypeCase{"fifolink", 0, 1, 128, 0x400}, TypeCase{"fifolink", 1, 1, 132, 0x800},
                      TypeCase{"dangling", 0, 1, 128, 0x400}, TypeCase{"dangling", 1, 0, 183, 0x1},
                      TypeCase{"missing", 0, 0, 183, 0x1}));

TEST_F(FileTypeTest, DevicesAndSocketsAreSkipped) {
    FileTypeVerdict v = ClassifyFileType("/dev/null", 0);
    EXPECT_EQ(1, v.skip);
    EXPECT_EQ(133u, v.message);
    EXPECT_EQ(0x800u, v.flags);

    std::string sockPath = dir / "sock";
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(sockPath.size(), sizeof(addr.sun_path));
    sockPath.copy(addr.sun_path, sockPath.size());
    ASSERT_EQ(0, bind(s, reinterpret_cast<struct sockaddr*>(&addr), sizeof(addr)));
    v = Check("sock");
    close(s);
    EXPECT_EQ(1, v.skip);
    EXPECT_EQ(131u, v.message);
    EXPECT_EQ(0x800u, v.flags);
}

TEST_F(FileTypeTest, AGivenSizeCountsForAnEmptyFile) {
    EXPECT_EQ(0, Check("empty", 10).skip);
}

TEST_F(FileTypeTest, ReportsWhyAttributesCouldNotBeRead) {
    FileTypeVerdict v = Check("missing");
    EXPECT_EQ(0, v.skip);
    EXPECT_EQ(ENOENT, v.error);
}

TEST_F(FileTypeTest, TheProgramsOwnPathIsFollowedThroughALink) {
    ASSERT_EQ(0, SetProgramPath((dir / "link").c_str()));
    EXPECT_EQ(0, Check("link").skip);
    EXPECT_EQ(1, Check("fifolink").skip);
}

bool AllInMemory(const char*) {
    return true;
}

TEST_F(FileTypeTest, AnInMemoryObjectIsScanned) {
    ShellObjectAccess.isMemoryObject = AllInMemory;
    FileTypeVerdict v = Check("sub");
    EXPECT_EQ(0, v.skip);
    EXPECT_EQ(0u, v.flags);
}

} // namespace

namespace {

class FileTypeReport : public LogCaptureTest {
protected:
    void SetUp() override {
        LogCaptureTest::SetUp();
        ASSERT_FALSE(dir.path().empty());
        ASSERT_EQ(0, mkdir((dir / "sub").c_str(), 0700));
        ASSERT_TRUE(dir.Write("empty", ""));
        ASSERT_TRUE(dir.Write("new\nline", ""));
        savedOn = RecodeNonprintable;
        RecodeNonprintable = 1;
    }
    void TearDown() override {
        RecodeNonprintable = savedOn;
        LogCaptureTest::TearDown();
    }
    ScratchDir dir;
    int savedOn = 0;
};

TEST_F(FileTypeReport, ReportsSkipsOnTheCurrentLine) {
    uint32_t flags = 0x2000;
    EXPECT_EQ(1, CheckFileType((dir / "sub").c_str(), 0, 0, 0, &flags));
    EXPECT_EQ(0x2800u, flags);
    EXPECT_EQ(1, CheckFileType((dir / "sub").c_str(), 0, 0, 1, &flags));
    flags = 0;
    EXPECT_EQ(1, CheckFileType((dir / "empty").c_str(), 0, 0, 0, &flags));
    EXPECT_EQ(0u, flags);
    ASSERT_EQ(3u, Lines().size());
    EXPECT_EQ(" - is a directory, skipped\n", Lines()[0]);
    EXPECT_EQ(dir / "sub" + " - is a directory, skipped\n", Lines()[1]);
    EXPECT_EQ(" - the size of the file is equal to zero, skipped\n", Lines()[2]);
}

TEST_F(FileTypeReport, QuietReportsNothing) {
    uint32_t flags = 0;
    EXPECT_EQ(1, CheckFileType((dir / "sub").c_str(), 0, 1, 1, &flags));
    EXPECT_EQ(0, CheckFileType((dir / "missing").c_str(), 0, 1, 1, &flags));
    EXPECT_EQ(0x801u, flags);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(FileTypeReport, UnreadableAttributesAreReportedWithTheNameAndScanned) {
    uint32_t flags = 0;
    EXPECT_EQ(0, CheckFileType((dir / "missing").c_str(), 0, 0, 0, &flags));
    EXPECT_EQ(0x1u, flags);
    ASSERT_EQ(1u, Lines().size());
    EXPECT_EQ(dir / "missing" + " - cannot get file attributes with error: No such file or directory\n",
              Lines()[0]);
}

TEST_F(FileTypeReport, ANewlineInTheNameCannotStartALogLine) {
    EXPECT_EQ(1, CheckFileType((dir / "new\nline").c_str(), 0, 0, 1, nullptr));
    ASSERT_EQ(1u, Lines().size());
    EXPECT_EQ(dir / "new=0Aline" + " - the size of the file is equal to zero, skipped\n", Lines()[0]);
}

} // namespace
