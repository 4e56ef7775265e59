#include "unix/daemon/signals.h"

#include <gtest/gtest.h>

#include "unix/config/daemonsettings.h"
#include "unix/pool/processpool.h"
#include "unix/protocol/protocolsettings.h"
#include "unix/protocol/signalflags.h"

namespace {

// The handlers called directly, in the roles that the fork marker gives a process.
class SignalFlagsTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedMarker_ = ForkMarker;
        savedFile_ = FileTimeout;
        savedSocket_ = SocketTimeout;
        sigaction(SIGHUP, nullptr, &savedHup_);
        StopFlag = ReloadFlag = ExitFlag = 0;
        ShutdownSignal = 0;
        FileTimeout = 30;
        SocketTimeout = 10;
        ResetTerminateGuard();
    }
    void TearDown() override {
        ForkMarker = savedMarker_;
        FileTimeout = savedFile_;
        SocketTimeout = savedSocket_;
        sigaction(SIGHUP, &savedHup_, nullptr);
        StopFlag = ReloadFlag = ExitFlag = 0;
        ShutdownSignal = 0;
        ResetTerminateGuard();
    }
    static bool HupIgnored() {
        struct sigaction now {};
        sigaction(SIGHUP, nullptr, &now);
        return now.sa_handler == SIG_IGN;
    }

    sig_atomic_t savedMarker_ = 0;
    int savedFile_ = 0, savedSocket_ = 0;
    struct sigaction savedHup_ {};
};

TEST_F(SignalFlagsTest, TerminateInTheMasterOnceAndForAll) {
    ForkMarker = 1234;
    OnTerminateSignal(SIGINT);
    EXPECT_EQ(StopFlag, 1);
    EXPECT_EQ(ReloadFlag, 0);
    EXPECT_EQ(ShutdownSignal, SIGINT);
    EXPECT_EQ(FileTimeout, 1);
    EXPECT_EQ(SocketTimeout, 1);
    EXPECT_TRUE(HupIgnored());
    // A second stop signal changes nothing, and a reload can no longer cancel the shutdown.
    OnTerminateSignal(SIGTERM);
    EXPECT_EQ(ShutdownSignal, SIGINT);
}

TEST_F(SignalFlagsTest, TerminateInAChildOnlyStopsIt) {
    ForkMarker = 0;
    ReloadFlag = 1;
    OnTerminateSignal(SIGTERM);
    EXPECT_EQ(StopFlag, 1);
    EXPECT_EQ(ReloadFlag, 0);
    EXPECT_EQ(ShutdownSignal, 0);
    EXPECT_EQ(FileTimeout, 1);
    EXPECT_FALSE(HupIgnored());
}

TEST_F(SignalFlagsTest, ReloadOnlyInTheMaster) {
    ForkMarker = 0;
    OnReloadSignal(SIGHUP);
    EXPECT_EQ(ReloadFlag, 0);
    ForkMarker = 1234;
    StopFlag = 1;
    OnReloadSignal(SIGHUP);
    EXPECT_EQ(ReloadFlag, 1);
    EXPECT_EQ(StopFlag, 0);
}

TEST_F(SignalFlagsTest, HandlersAreInstalledWithThePoolMaskAndWithoutRestart) {
    struct sigaction saved {};
    sigaction(SIGUSR2, nullptr, &saved);
    ASSERT_EQ(SetSignalHandler(SIGUSR2, OnReloadSignal, 0), 1);
    struct sigaction now {};
    sigaction(SIGUSR2, nullptr, &now);
    EXPECT_EQ(now.sa_handler, OnReloadSignal);
    EXPECT_EQ(now.sa_flags & SA_RESTART, 0);
    for (int s : {SIGUSR1, SIGHUP, SIGCHLD, SIGALRM}) EXPECT_TRUE(sigismember(&now.sa_mask, s)) << s;
    EXPECT_FALSE(sigismember(&now.sa_mask, SIGTERM));
    EXPECT_EQ(SetSignalHandler(99999, OnReloadSignal, 0), 0);
    sigaction(SIGUSR2, &saved, nullptr);
}

TEST_F(SignalFlagsTest, BlockAndUnblockOneSignal) {
    sigset_t before;
    sigprocmask(SIG_SETMASK, nullptr, &before);
    ASSERT_EQ(BlockSignal(SIGUSR2), 1);
    sigset_t now;
    sigprocmask(SIG_SETMASK, nullptr, &now);
    EXPECT_TRUE(sigismember(&now, SIGUSR2));
    ASSERT_EQ(UnblockSignal(SIGUSR2), 1);
    sigprocmask(SIG_SETMASK, nullptr, &now);
    EXPECT_FALSE(sigismember(&now, SIGUSR2));
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

} // namespace
