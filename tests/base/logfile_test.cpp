#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/filelayer.h"
#include "base/filelock.h"
#include "base/logwriter.h"
#include "log_fixture.h"
#include "waiting_probe.h"

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Holds a whole-file write lock from another process until released.
class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2];
        if (pipe(ready) != 0 || pipe(release_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release_[1]);
            int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
            struct flock lock = {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            char ok = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
            if (write(ready[1], &ok, 1) != 1) _exit(1);
            char c;
            while (read(release_[0], &c, 1) < 0) {
            }
            _exit(0);
        }
        close(ready[1]);
        char ok = 'n';
        held_ = pid_ > 0 && read(ready[0], &ok, 1) == 1 && ok == 'y';
        close(ready[0]);
        close(release_[0]);
    }
    ~LockHolder() { Release(); }
    void Release() {
        if (pid_ <= 0) return;
        close(release_[1]);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    bool held() const { return held_; }

private:
    pid_t pid_ = -1;
    int release_[2] = {-1, -1};
    bool held_ = false;
};

using LogFileTest = LogTest;

// Rotation and deletion at start-up.

struct RotateCase {
    const char* name;
    const char* file; // below the scratch folder
    long long size;
    int maxKb;
    const char* backup; // "" when the log must stay
};

void PrintTo(const RotateCase& c, std::ostream* os) {
    *os << c.name;
}

class RotateTest : public LogTest, public ::testing::WithParamInterface<RotateCase> {};

TEST_P(RotateTest, RotatesOnceTheLimitIsReached) {
    const RotateCase& c = GetParam();
    ASSERT_EQ(mkdir((dir_ / "a.d").c_str(), 0700), 0);
    ASSERT_TRUE(dir_.Sparse(c.file, c.size));
    SetLogPath(dir_ / c.file);
    LimitLog = 1;
    MaxLogSize = c.maxKb;
    RotateLogFile();
    if (c.backup[0]) {
        EXPECT_FALSE(Exists(dir_ / c.file));
        struct stat st;
        ASSERT_EQ(stat((dir_ / c.backup).c_str(), &st), 0);
        EXPECT_EQ(st.st_size, c.size);
    } else {
        EXPECT_TRUE(Exists(dir_ / c.file));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RotateTest,
    ::testing::Values(RotateCase{"AtTheLimit", "tarvo.log", 524288, 512, "tarvo.bak"},
                      RotateCase{"OneByteShort", "tarvo.log", 524287, 512, ""},
                      RotateCase{"NoExtension", "tarvolog", 2048, 2, "tarvolog.bak"},
                      RotateCase{"DottedFolder", "a.d/log", 1024, 1, "a.d/log.bak"},
                      RotateCase{"TwoDots", "x.y.log", 1024, 1, "x.y.bak"},
                      RotateCase{"HugeFile", "big.log", 4608LL * 1024 * 1024, 4194304, "big.bak"},
                      RotateCase{"HugeFileBelow", "big.log", 4608LL * 1024 * 1024, 4718593, ""}),
    [](const ::testing::TestParamInfo<RotateCase>& info) { return info.param.name; });

TEST(LogBackupNameTest, ReplacesTheExtensionOfTheLastComponent) {
    const struct {
        const char* path;
        const char* backup;
    } cases[] = {
        {"/var/log/tarvo.log", "/var/log/tarvo.bak"},
        {"/var/log.d/tarvo", "/var/log.d/tarvo.bak"},
        {"c:tarvo", "c:tarvo.bak"},
        {"a.b:c", "a.b:c.bak"},
        {"/var/log/.log", "/var/log/.bak"},
        {"tarvo.", "tarvo.bak"},
    };
    for (const auto& c : cases) {
        char out[64];
        ASSERT_EQ(LogBackupName(c.path, out, sizeof out), 0) << c.path;
        EXPECT_STREQ(out, c.backup) << c.path;
    }
    char small[9];
    EXPECT_EQ(LogBackupName("abcd.log", small, sizeof small), 0);
    EXPECT_STREQ(small, "abcd.bak");
    EXPECT_EQ(LogBackupName("abcde.log", small, sizeof small), -1);
}

TEST_F(LogFileTest, RotationReplacesAnOldBackupFileButNothingElse) {
    ASSERT_TRUE(dir_.Write("tarvo.log", std::string(2048, 'n')));
    ASSERT_TRUE(dir_.Write("tarvo.bak", "old"));
    LimitLog = 1;
    MaxLogSize = 2;
    RotateLogFile();
    EXPECT_FALSE(Exists(LogPath()));
    EXPECT_EQ(ReadFile(dir_ / "tarvo.bak"), std::string(2048, 'n'));

    ASSERT_TRUE(dir_.Write("tarvo.log", std::string(2048, 'n')));
    ASSERT_EQ(unlink((dir_ / "tarvo.bak").c_str()), 0);
    ASSERT_EQ(mkdir((dir_ / "tarvo.bak").c_str(), 0700), 0);
    RotateLogFile();
    EXPECT_TRUE(Exists(LogPath()));
    EXPECT_TRUE(Exists(dir_ / "tarvo.bak"));
}

TEST_F(LogFileTest, NoRotationWithoutLimitOrInSyslogMode) {
    ASSERT_TRUE(dir_.Write("tarvo.log", std::string(2048, 'n')));
    MaxLogSize = 1;
    RotateLogFile();
    EXPECT_TRUE(Exists(LogPath()));
    LimitLog = 1;
    LogToSyslog = 1;
    RotateLogFile();
    EXPECT_TRUE(Exists(LogPath()));
    EXPECT_FALSE(Exists(dir_ / "tarvo.bak"));
}

TEST_F(LogFileTest, RotationFlushesThePendingLogLineFirst) {
    ASSERT_TRUE(dir_.Write("tarvo.log", std::string(1023, 'n')));
    LimitLog = 1;
    MaxLogSize = 1;
    LogPutText("x\n");
    RotateLogFile();
    EXPECT_EQ(ReadFile(dir_ / "tarvo.bak"), std::string(1023, 'n') + "x\n");
}

TEST_F(LogFileTest, DeleteRemovesOnlyARegularLogFile) {
    ASSERT_TRUE(dir_.Write("tarvo.log", "old\n"));
    LogToSyslog = 1;
    DeleteLogFile();
    EXPECT_TRUE(Exists(LogPath()));
    LogToSyslog = 0;
    DeleteLogFile();
    EXPECT_FALSE(Exists(LogPath()));

    ASSERT_EQ(mkdir(LogPath().c_str(), 0700), 0);
    DeleteLogFile();
    EXPECT_TRUE(Exists(LogPath()));
}

// Writing the file.

TEST_F(LogFileTest, RemovedLogIsCreatedAgainWithMode0600) {
    PrintMessage("one\n");
    EndMessageLine(0);
    ASSERT_EQ(unlink(LogPath().c_str()), 0);
    PrintMessage("two\n");
    EndMessageLine(0);
    EXPECT_EQ(Log(), "two\n");
    struct stat st;
    ASSERT_EQ(stat(LogPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LogFileTest, LogIsWrittenWhenTheBudgetIsUsedUp) {
    const int32_t savedLimit = OpenFileLimit;
    OpenFileLimit = OpenFileCount;
    PrintMessage("budget\n");
    EndMessageLine(0);
    EXPECT_EQ(OpenFileLimit, OpenFileCount);
    const int32_t count = OpenFileCount;
    OpenFileLimit = savedLimit;
    EXPECT_EQ(Log(), "budget\n");
    EXPECT_EQ(OpenFileCount, count) << "the log descriptor was not given back";
}

TEST_F(LogFileTest, EmptyLogPathWritesNothing) {
    SetLogPath("");
    PrintMessage("nowhere\n");
    EndMessageLine(0);
    EXPECT_FALSE(Exists(LogPath()));
}

TEST_F(LogFileTest, LockIsTakenAndReleased) {
    int fd = open(LogPath().c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(LockFileWait(fd, 0), 0);
    {
        // Another process cannot take it meanwhile.
        pid_t pid = fork();
        if (pid == 0) _exit(LockFileWait(open(LogPath().c_str(), O_RDWR), 0) == -1 ? 0 : 1);
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ASSERT_EQ(UnlockFile(fd), 0);
    pid_t pid = fork();
    if (pid == 0) _exit(LockFileWait(open(LogPath().c_str(), O_RDWR), 0) == 0 ? 0 : 1);
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(fd);
    EXPECT_EQ(LockFileWait(-1, 0), -1);
}

TEST_F(LogFileTest, HeldLockDelaysTheLineWithoutBurningTheProcessorThenItIsWrittenAnyway) {
    LockHolder holder(LogPath());
    ASSERT_TRUE(holder.held());
    LogLockWaitSeconds = 1;
    const WaitSamples samples = SampleWhileWaiting(nullptr, [] {
        PrintMessage("written anyway\n");
        EndMessageLine(0);
        return 0;
    });
    holder.Release();
    EXPECT_EQ(samples.exitStatus, 0);
    EXPECT_EQ(Log(), "written anyway\n");
    // A busy retry loop is never found asleep.
    EXPECT_GT(samples.taken, 0);
    EXPECT_GE(samples.asleep * 4, samples.taken) << samples.asleep << " of " << samples.taken << " asleep";
}

// Pool processes appending to one log.

constexpr int kLinesPerWriter = 2000;

void WriteLines(int writer) {
    for (int i = 0; i < kLinesPerWriter; ++i) {
        PrintMessage("writer %d line %04d ", writer, i);
        PrintMessage("%s", std::string(60, static_cast<char>('a' + writer)).c_str());
        EndMessageLine(0);
    }
}

// Every line whole and present once, each writer's in its own order.
void ExpectIntactLines(const std::string& log, int writers) {
    std::vector<std::string> lines = Lines(log);
    ASSERT_EQ(lines.size(), static_cast<size_t>(writers * kLinesPerWriter));
    std::map<int, int> next;
    for (const std::string& line : lines) {
        int writer = -1, number = -1, used = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "writer %d line %d %n", &writer, &number, &used), 2) << line;
        ASSERT_TRUE(writer >= 0 && writer < writers) << line;
        EXPECT_EQ(number, next[writer]++) << line;
        EXPECT_EQ(line.substr(static_cast<size_t>(used)), std::string(60, static_cast<char>('a' + writer)))
            << line;
    }
}

void RunWriters(int writers) {
    std::vector<pid_t> pids;
    for (int w = 0; w < writers; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            WriteLines(w);
            _exit(0);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

TEST_F(LogFileTest, TwoProcessesLeaveEveryLineIntact) {
    RunWriters(2);
    ExpectIntactLines(Log(), 2);
}

TEST_F(LogFileTest, ProcessesWhoseLockTimedOutStillAppend) {
    // The lock is never to be had: every write goes ahead without it.
    LockHolder holder(LogPath());
    ASSERT_TRUE(holder.held());
    LogLockWaitSeconds = 0;
    RunWriters(2);
    holder.Release();
    ExpectIntactLines(Log(), 2);
}

} // namespace
