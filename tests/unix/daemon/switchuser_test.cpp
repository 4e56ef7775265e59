#include "unix/daemon/switchuser.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "tests/unix/logcapture.h"
#include "tests/base/scratch_dir.h"
#include "unix/config/daemonsettings.h"
#include "unix/daemon/temppath.h"

namespace {

// The switch against recorded calls: which were made, in order, and which fail.
struct FakeSystem {
    std::vector<std::string> calls;
    bool knownUser = true;
    int chownResult = 0, setgidResult = 0, initgroupsResult = 0, setuidResult = 0;
    uid_t realUid = 0, effectiveUid = 0;
    passwd entry{};
    char name[16] = "scanner";
};
FakeSystem* Fake = nullptr;

int Fail(int result) {
    if (result != 0) errno = EPERM;
    return result;
}

const SwitchUserCalls kFakeCalls = {
    [](const char* user) -> passwd* {
        Fake->calls.push_back(std::string("getpwnam ") + user);
        if (!Fake->knownUser) return nullptr;
        Fake->entry.pw_name = Fake->name;
        Fake->entry.pw_uid = 1234;
        Fake->entry.pw_gid = 567;
        return &Fake->entry;
    },
    [](const char* path, uid_t uid, gid_t gid) {
        Fake->calls.push_back("chown " + std::string(path) + " " + std::to_string(uid) + " " +
                              std::to_string(gid));
        return Fail(Fake->chownResult);
    },
    [](gid_t gid) {
        Fake->calls.push_back("setgid " + std::to_string(gid));
        return Fail(Fake->setgidResult);
    },
    [](const char* user, gid_t gid) {
        Fake->calls.push_back("initgroups " + std::string(user) + " " + std::to_string(gid));
        return Fail(Fake->initgroupsResult);
    },
    [](uid_t uid) {
        Fake->calls.push_back("setuid " + std::to_string(uid));
        return Fail(Fake->setuidResult);
    },
    []() { return Fake->realUid; },
    []() { return Fake->effectiveUid; },
};

class SwitchUserTest : public ::testing::Test {
protected:
    void SetUp() override {
        Fake = &fake_;
        UserSwitchCalls = kFakeCalls;
        memcpy(savedUser_, User, sizeof savedUser_);
        memcpy(savedLog_, LogFileName, sizeof savedLog_);
        snprintf(User, sizeof User, "scanner");
        snprintf(LogFileName, sizeof LogFileName, "/var/log/t.log");
        memcpy(savedTemp_, TempPath, sizeof savedTemp_);
        memcpy(savedSpool_, SpoolPath, sizeof savedSpool_);
        ForgetCreatedTempFolders();
    }
    void TearDown() override {
        UserSwitchCalls = kSystemUserSwitchCalls;
        Fake = nullptr;
        memcpy(User, savedUser_, sizeof savedUser_);
        memcpy(LogFileName, savedLog_, sizeof savedLog_);
        ForgetCreatedTempFolders();
        memcpy(TempPath, savedTemp_, sizeof savedTemp_);
        memcpy(SpoolPath, savedSpool_, sizeof savedSpool_);
    }
    // A temporary folder that exists already: nothing was created by the start.
    static void ForgetCreatedTempFolders() {
        snprintf(TempPath, sizeof TempPath, "/");
        ApplyTempPath();
    }
    bool Logged(const std::string& text) const {
        for (const auto& line : log_.Lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    FakeSystem fake_;
    LogCapture log_;
    char savedUser_[sizeof User];
    char savedLog_[sizeof LogFileName];
    char savedTemp_[sizeof TempPath];
    char savedSpool_[sizeof SpoolPath];
};

TEST_F(SwitchUserTest, GroupThenGroupsThenUser) {
    const int savedSyslog = LogToSyslog;
    LogToSyslog = 0;
    EXPECT_EQ(SwitchUser(0), 1);
    LogToSyslog = savedSyslog;
    EXPECT_EQ(fake_.calls, (std::vector<std::string>{"getpwnam scanner", "chown /var/log/t.log 1234 567",
                                                     "setgid 567", "initgroups scanner 567", "setuid 1234"}));
}

TEST_F(SwitchUserTest, LogFileKeptWithSyslogOrInACheck) {
    EXPECT_EQ(SwitchUser(0), 1); // the capture logs to syslog
    EXPECT_EQ(fake_.calls[1], "setgid 567");
    fake_.calls.clear();
    LogToSyslog = 0;
    EXPECT_EQ(SwitchUser(1), 1);
    LogToSyslog = 1;
    EXPECT_EQ(fake_.calls[1], "setgid 567");
}

TEST_F(SwitchUserTest, FailingInitgroupsIsFatal) {
    fake_.initgroupsResult = -1;
    EXPECT_EQ(SwitchUser(0), 0);
    EXPECT_EQ(fake_.calls.back(), "initgroups scanner 567");
    EXPECT_TRUE(Logged("initgroups(): Can not set group ID (")) << testing::PrintToString(log_.Lines());
}

TEST_F(SwitchUserTest, WithoutPrivilegeGroupsAreNotTouched) {
    fake_.realUid = fake_.effectiveUid = 1000;
    EXPECT_EQ(SwitchUser(0), 1);
    EXPECT_EQ(fake_.calls, (std::vector<std::string>{"getpwnam scanner", "setgid 567", "setuid 1234"}));
}

TEST_F(SwitchUserTest, Failures) {
    struct Case {
        const char* what;
        void (*arrange)(FakeSystem&, char* user);
        const char* logged;
        size_t calls;
    } const cases[] = {
        {"empty User", [](FakeSystem&, char* user) { user[0] = '\0'; }, "the User key is empty", 0},
        {"unknown user", [](FakeSystem& f, char*) { f.knownUser = false; },
         "Can not get information about user 'scanner'!", 1},
        {"setgid", [](FakeSystem& f, char*) { f.setgidResult = -1; }, "setgid(): Can not set group ID (", 2},
        {"setuid", [](FakeSystem& f, char*) { f.setuidResult = -1; }, "setuid(): Can not set user ID (", 4},
    };
    for (const auto& c : cases) {
        fake_ = FakeSystem{};
        snprintf(User, sizeof User, "scanner");
        CapturedLogLines().clear();
        c.arrange(fake_, User);
        EXPECT_EQ(SwitchUser(0), 0) << c.what;
        EXPECT_EQ(fake_.calls.size(), c.calls) << c.what;
        EXPECT_TRUE(Logged(c.logged)) << c.what << ": " << testing::PrintToString(log_.Lines());
    }
}

TEST_F(SwitchUserTest, ChownFailureIsReportedAndTheSwitchGoesOn) {
    fake_.chownResult = -1;
    LogToSyslog = 0;
    const int result = SwitchUser(0);
    LogToSyslog = 1;
    EXPECT_EQ(result, 1);
    EXPECT_EQ(fake_.calls.back(), "setuid 1234");
}

// The temporary folder the start makes (as root, before the switch) is the daemon's: the user it runs
// as can write it. A folder it is given and cannot write is reported.
TEST_F(SwitchUserTest, TemporaryFolderBelongsToTheUserItRunsAs) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);
    UserSwitchCalls = kSystemUserSwitchCalls;
    snprintf(User, sizeof User, "nobody");
    snprintf(LogFileName, sizeof LogFileName, "%s", (dir / "t.log").c_str());
    LogToSyslog = 0;
    const pid_t made = fork();
    if (made == 0) {
        snprintf(TempPath, sizeof TempPath, "%s", (dir / "spool/tmp").c_str());
        if (ApplyTempPath() != 1 || SwitchUser(0) != 1) _exit(2);
        _exit(CheckTempPathWritable() == 1 ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(made, &status, 0), made);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    struct stat st;
    ASSERT_EQ(stat((dir / "spool").c_str(), &st), 0);
    EXPECT_NE(st.st_uid, 0u) << "the parent made with it is the user's too";

    // Given a folder of root's that the user cannot write: said at start-up.
    ASSERT_EQ(mkdir((dir / "roots").c_str(), 0700), 0);
    LogToSyslog = 1;
    const pid_t given = fork();
    if (given == 0) {
        snprintf(TempPath, sizeof TempPath, "%s", (dir / "roots").c_str());
        if (ApplyTempPath() != 1 || SwitchUser(0) != 1) _exit(2);
        const int writable = CheckTempPathWritable();
        _exit(writable == 0 && Logged("cannot be written") ? 0 : 1);
    }
    ASSERT_EQ(waitpid(given, &status, 0), given);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
