#include "mail/walk/writeback.h"

#include <gtest/gtest.h>

#include <dirent.h>
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
