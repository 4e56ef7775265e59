#include "mail/walk/writeback.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <grp.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/base/scratch_dir.h"
#include "unix/config/daemonsettings.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

TEST(MailWriteBack, ReplacesThroughARenameKeepingTheMode) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Write("mail", "old text"));
    ASSERT_EQ(0, chmod((dir / "mail").c_str(), 0640));
    struct stat before {};
    ASSERT_EQ(0, stat((dir / "mail").c_str(), &before));
    ASSERT_EQ(0, ReplaceFileContents((dir / "mail").c_str(), "new text, longer"));
    EXPECT_EQ("new text, longer", ReadAll(dir / "mail"));
    struct stat after {};
    ASSERT_EQ(0, stat((dir / "mail").c_str(), &after));
    EXPECT_EQ(0640u, after.st_mode & 07777);
    EXPECT_NE(before.st_ino, after.st_ino); // a new file, never the old one cut down
    EXPECT_EQ(std::vector<std::string>{"mail"}, Names(dir.path()));
}

TEST(MailWriteBack, AWriteOverTheFileSizeLimitLeavesTheOriginalWhole) {
    ScratchDir dir;
    const std::string original(10000, 'o');
    ASSERT_TRUE(dir.Write("mail", original));
    const pid_t child = fork();
    if (child == 0) {
        snprintf(TempPath, kSettingPathSize, "%s", dir.path().c_str());
        UseDiskForSwap = 1;
        struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string path;
        const int replaced = ReplaceFileContents((dir / "mail").c_str(), std::string(20000, 'n'));
        const int temporary = WriteTemporaryObject(std::string(20000, 'n'), path);
        std::string small;
        const int fits = WriteTemporaryObject("fits", small); // the temporary files do get made
        _exit(replaced == -1 && temporary == -1 && path.empty() && fits == 0 && !small.empty() &&
                      unlink(small.c_str()) == 0
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ(original, ReadAll(dir / "mail"));
    EXPECT_EQ(std::vector<std::string>{"mail"}, Names(dir.path()));
}

// A daemon that is not root cannot give a new file away: a mail file whose owner or group would
// change is left as it was, one it may keep as it is gets rewritten with owner, group and mode kept.
TEST(MailWriteBack, TheOwnerOfARewrittenFileIsKept) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to write as another user";
    constexpr uid_t kWriter = 65534; // the user the write runs as
    constexpr uid_t kOther = 4242;   // neither that user nor any of its groups
    const struct {
        const char* what;
        uid_t owner;
        gid_t group;
        mode_t mode;
        bool rewritten;
    } cases[] = {
        {"another user's mailbox", kOther, kOther, 0666, false},
        {"the writer's file in a group it is not in", kWriter, kOther, 0660, false},
        {"the writer's own file", kWriter, kWriter, 0640, true},
    };
    ScratchDir dir;
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0711));
    const std::string box = dir / "box";
    ASSERT_EQ(0, mkdir(box.c_str(), 0700));
    ASSERT_EQ(0, chmod(box.c_str(), 0777));
    const std::string mail = box + "/mail";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(dir.Write("box/mail", "old text"));
        ASSERT_EQ(0, chown(mail.c_str(), c.owner, c.group));
        ASSERT_EQ(0, chmod(mail.c_str(), c.mode));
        const pid_t child = fork();
        if (child == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(kWriter) != 0 || setuid(kWriter) != 0) _exit(3);
            _exit(ReplaceFileContents(mail.c_str(), "new text") == 0 ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(c.rewritten ? 0 : 1, WEXITSTATUS(status));
        EXPECT_EQ(c.rewritten ? "new text" : "old text", ReadAll(mail));
        struct stat st {};
        ASSERT_EQ(0, stat(mail.c_str(), &st));
        EXPECT_EQ(c.owner, st.st_uid);
        EXPECT_EQ(c.group, st.st_gid);
        EXPECT_EQ(c.mode, st.st_mode & 07777);
        EXPECT_EQ(std::vector<std::string>{"mail"}, Names(box));
    }
}

TEST(MailWriteBack, ASymlinkIsNotReplaced) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Write("target", "keep"));
    ASSERT_EQ(0, symlink((dir / "target").c_str(), (dir / "mail").c_str()));
    EXPECT_EQ(-1, ReplaceFileContents((dir / "mail").c_str(), "x"));
    EXPECT_EQ("keep", ReadAll(dir / "target"));
}

TEST(MailWriteBack, BackupsNeverOverwriteEachOther) {
    ScratchDir dir;
    ASSERT_EQ(0, mkdir((dir / "backup").c_str(), 0700));
    ASSERT_TRUE(dir.Write("mail", "first"));
    std::string first, second;
    ASSERT_EQ(0, CreateBackupCopy((dir / "mail").c_str(), (dir / "backup").c_str(), first));
    ASSERT_TRUE(dir.Write("mail", "second"));
    ASSERT_EQ(0, CreateBackupCopy((dir / "mail").c_str(), (dir / "backup").c_str(), second));
    const std::string base = dir / "backup" + "/mail." + std::to_string(getpid());
    EXPECT_EQ(base, first);
    EXPECT_EQ(base + ".1", second);
    EXPECT_EQ("first", ReadAll(first));
    EXPECT_EQ("second", ReadAll(second));
    // A symlink planted at the next name is not followed.
    ASSERT_EQ(0, symlink((dir / "mail").c_str(), (base + ".2").c_str()));
    std::string third;
    ASSERT_EQ(0, CreateBackupCopy((dir / "mail").c_str(), (dir / "backup").c_str(), third));
    EXPECT_EQ(base + ".3", third);
    EXPECT_EQ("second", ReadAll(dir / "mail"));
}

TEST(MailWriteBack, AFailedBackupLeavesNothing) {
    ScratchDir dir;
    std::string backup = "x";
    ASSERT_TRUE(dir.Write("mail", "m"));
    EXPECT_EQ(-1, CreateBackupCopy((dir / "mail").c_str(), (dir / "missing").c_str(), backup));
    EXPECT_TRUE(backup.empty());
    EXPECT_EQ(-1, CreateBackupCopy((dir / "nomail").c_str(), dir.path().c_str(), backup));
    EXPECT_EQ(std::vector<std::string>{"mail"}, Names(dir.path()));
}

} // namespace
