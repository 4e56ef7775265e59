#include "base/filelock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "scratch_dir.h"

namespace {

// A child process that holds the write lock on path until told to let go.
class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2], release[2];
        if (pipe(ready) != 0) return;
        if (pipe(release) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            int fd = ::open(path.c_str(), O_RDWR);
            char c = LockFileWait(fd, 1) == 0 ? 'y' : 'n';
            if (write(ready[1], &c, 1) != 1) _exit(1);
            if (read(release[0], &c, 1) < 0) _exit(1);
            _exit(UnlockFile(fd) == 0 ? 0 : 1);
        }
        close(ready[1]);
        close(release[0]);
        releaseFd_ = release[1];
        char c = 0;
        locked_ = read(ready[0], &c, 1) == 1 && c == 'y';
        close(ready[0]);
    }
    ~LockHolder() { Release(); }
    bool locked() const { return locked_; }
    // 0 when the child let go of the lock cleanly.
    int Release() {
        if (pid_ <= 0) return -1;
        char c = 'x';
        if (write(releaseFd_, &c, 1) != 1) {
        }
        close(releaseFd_);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool locked_ = false;
};

TEST(LockFileWait, WaitsOutAnotherHolderThenGivesUp) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Write("log", "line\n"));
    const std::string path = dir / "log";
    int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    {
        LockHolder holder(path);
        ASSERT_TRUE(holder.locked());
        EXPECT_EQ(-1, LockFileWait(fd, 0));
        EXPECT_EQ(-1, LockFileWait(fd, 1));
        EXPECT_EQ(0, holder.Release());
    }
    EXPECT_EQ(0, LockFileWait(fd, 1));
    {
        LockHolder other(path);
        EXPECT_FALSE(other.locked());
    }
    EXPECT_EQ(0, UnlockFile(fd));
    close(fd);
}

TEST(LockFileWait, RefusesABadDescriptor) {
    EXPECT_EQ(-1, LockFileWait(-1, 1));
    EXPECT_EQ(-1, UnlockFile(-1));
}

} // namespace
