#include "base/findfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <set>
#include <string>

#include "base/filelayer.h"
#include "scratch_dir.h"

namespace {

class FindFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        savedCount = OpenFileCount;
        savedLimit = OpenFileLimit;
        savedFollow = FollowLinks;
    }
    void TearDown() override {
        EXPECT_EQ(savedCount, OpenFileCount) << "a search kept its descriptor";
        OpenFileCount = savedCount;
        OpenFileLimit = savedLimit;
        FollowLinks = savedFollow;
    }
    // Every name the search yields, walking it to its end.
    std::set<std::string> Names(const std::string& path) {
        std::set<std::string> names;
        FindRecord* rec = nullptr;
        FindHandle h = FindFirst(path.c_str(), &rec);
        if (h == -1) {
            EXPECT_EQ(nullptr, rec);
            return names;
        }
        do {
            EXPECT_TRUE(names.insert(FindFileName(rec)).second) << "repeated " << FindFileName(rec);
        } while (FindNext(h, rec) == 0);
        EXPECT_EQ(nullptr, rec);
        EXPECT_EQ(0, FindClose(h, rec)); // after the end: nothing left to free
        return names;
    }
    ScratchDir dir;
    int32_t savedCount = 0, savedLimit = 0;
    int savedFollow = 0;
};

TEST_F(FindFileTest, MaskMatchesNamesWithALeadingDotToo) {
    for (const char* n : {"a.vdb", "b.vdb", ".x.vdb", "c.txt", "vdb", "d.VDB"}) ASSERT_TRUE(dir.Write(n, ""));
    EXPECT_EQ((std::set<std::string>{".x.vdb", "a.vdb", "b.vdb"}), Names(dir / "*.vdb"));
    EXPECT_EQ((std::set<std::string>{"a.vdb"}), Names(dir / "a.vdb"));
    // A backslash is an ordinary character.
    ASSERT_TRUE(dir.Write("e\\*", ""));
    EXPECT_EQ((std::set<std::string>{"e\\*"}), Names(dir / "e\\*"));
}

TEST_F(FindFileTest, DotEntriesAreNeverReturned) {
    ASSERT_TRUE(dir.Write(".hidden", ""));
    ASSERT_EQ(0, ::mkdir((dir / "sub").c_str(), 0700));
    EXPECT_EQ((std::set<std::string>{".hidden", "sub"}), Names(dir / "*"));
    EXPECT_EQ((std::set<std::string>{".hidden"}), Names(dir / ".*"));
}

TEST_F(FindFileTest, NothingMatchingOrNoFolder) {
    ASSERT_TRUE(dir.Write("a.txt", ""));
    FindRecord* rec = nullptr;
    errno = 0;
    EXPECT_EQ(-1, FindFirst((dir / "*.vdb").c_str(), &rec));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ(nullptr, rec);
    errno = 0;
    EXPECT_EQ(-1, FindFirst((dir / "none/*").c_str(), &rec));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ(-1, FindFirst((dir / "*").c_str(), nullptr));
    EXPECT_EQ(-1, FindFirst(nullptr, &rec));
    EXPECT_EQ(nullptr, FindFileName(nullptr));
    EXPECT_EQ(-1, FindFileMode(nullptr));
    EXPECT_EQ(-1, FindNext(-1, rec));
}

TEST_F(FindFileTest, PatternWithoutASlashSearchesTheCurrentFolder) {
    ASSERT_TRUE(dir.Write("here.vdb", ""));
    char cwd[PATH_MAX];
    ASSERT_NE(nullptr, ::getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, ::chdir(dir.path().c_str()));
    std::set<std::string> names = Names("*.vdb");
    FindRecord* rec = nullptr;
    FindHandle h = FindFirst("*.vdb", &rec);
    ASSERT_NE(-1, h);
    EXPECT_TRUE(S_ISREG(FindFileMode(rec)));
    FindClose(h, rec);
    ASSERT_EQ(0, ::chdir(cwd));
    EXPECT_EQ((std::set<std::string>{"here.vdb"}), names);
}

TEST_F(FindFileTest, SearchStoppedEarlyGivesItsDescriptorBack) {
    for (const char* n : {"1", "2", "3"}) ASSERT_TRUE(dir.Write(n, ""));
    OpenFileLimit = OpenFileCount + 1;
    for (int round = 0; round < 3; ++round) {
        FindRecord* rec = nullptr;
        FindHandle h = FindFirst((dir / "*").c_str(), &rec);
        ASSERT_NE(-1, h) << "round " << round;
        EXPECT_EQ(savedCount + 1, OpenFileCount);
        EXPECT_EQ(0, FindClose(h, rec));
        EXPECT_EQ(nullptr, rec);
        EXPECT_EQ(savedCount, OpenFileCount);
        EXPECT_EQ(0, FindClose(h, rec)); // a second close does nothing
    }
}

TEST_F(FindFileTest, ModesOfEntriesAndLinks) {
    ASSERT_TRUE(dir.Write("f", "12345"));
    ASSERT_EQ(0, ::mkdir((dir / "d").c_str(), 0700));
    ASSERT_EQ(0, ::symlink("d", (dir / "ld").c_str()));
    ASSERT_EQ(0, ::symlink("gone", (dir / "lx").c_str()));
    struct Case {
        const char* name;
        int follow;
        int isDir; // 1 directory, 0 not, -1 mode not available
        int isLink;
    } cases[] = {
        {"f", 0, 0, 0}, {"d", 0, 1, 0}, {"ld", 0, 0, 1}, {"ld", 1, 1, 1}, {"lx", 0, 0, 1}, {"lx", 1, -1, 1},
    };
    for (const Case& c : cases) {
        FollowLinks = c.follow;
        FindRecord* rec = nullptr;
        FindHandle h = FindFirst((dir / c.name).c_str(), &rec);
        ASSERT_NE(-1, h) << c.name;
        int mode = FindFileMode(rec);
        if (c.isDir < 0)
            EXPECT_EQ(-1, mode) << c.name;
        else
            EXPECT_EQ(c.isDir, IsDirectoryMode(mode)) << c.name << " follow " << c.follow;
        EXPECT_EQ(c.isLink, rec->isLink) << c.name;
        EXPECT_EQ(dir / c.name, rec->fullName);
        FindClose(h, rec);
    }
    FindRecord* rec = nullptr;
    FindHandle h = FindFirst((dir / "f").c_str(), &rec);
    ASSERT_NE(-1, h);
    EXPECT_EQ(5, rec->size);
    FindClose(h, rec);
}

TEST_F(FindFileTest, SizesAreJudgedOnAllSixtyFourBits) {
    struct Case {
        const char* name;
        long long size;
        bool overflow;
    } cases[] = {
        {"just", 2147483648LL, false},
        {"over", 2147483649LL, true},
        {"low100", 4294967396LL, true}, // 4 GiB + 100: its low 32 bits say 100
        {"big", 4831838208LL, true},    // 4.5 GiB: its low 32 bits say 512 MiB
    };
    for (const Case& c : cases) {
        if (!dir.Sparse(c.name, c.size)) GTEST_SKIP() << "no sparse files here";
        FindRecord* rec = nullptr;
        FindHandle h = FindFirst((dir / c.name).c_str(), &rec);
        ASSERT_NE(-1, h) << c.name;
        if (c.overflow) {
            EXPECT_EQ(EOVERFLOW, rec->error) << c.name;
            EXPECT_EQ(-1, rec->size) << c.name;
            EXPECT_EQ(-1, FindFileMode(rec)) << c.name;
        } else {
            EXPECT_EQ(0, rec->error) << c.name;
            EXPECT_EQ(c.size, rec->size) << c.name;
            EXPECT_TRUE(S_ISREG(FindFileMode(rec))) << c.name;
        }
        FindClose(h, rec);
    }
}

TEST_F(FindFileTest, CallersLocaleIsKept) {
    ASSERT_TRUE(dir.Write("a", ""));
    if (!std::setlocale(LC_ALL, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
    FindRecord* rec = nullptr;
    FindHandle h = FindFirst((dir / "*").c_str(), &rec);
    EXPECT_STREQ("C.UTF-8", std::setlocale(LC_ALL, nullptr));
    FindClose(h, rec);
    std::setlocale(LC_ALL, "C");
}

} // namespace
