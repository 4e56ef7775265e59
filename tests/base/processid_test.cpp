#include "base/processid.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(OwnPid, IsTheCallersAlsoInAChildMadeAfterItWasKept) {
    ASSERT_EQ(OwnPid(), getpid());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(OwnPid() == getpid() && OwnPid() != getppid() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(OwnPid(), getpid());
}

} // namespace
