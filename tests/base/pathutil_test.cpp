#include "base/pathutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Cwd() {
    char buf[kPathBufSize];
    return getcwd(buf, sizeof buf) ? buf : "";
}

bool IsDir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void Touch(const std::string& p) {
    int fd = open(p.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0) << p;
    close(fd);
}

// A scratch folder under /tmp, removed with everything in it.
class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tarvo-path-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::string cmd = "chmod -R u+rwx '" + dir_ + "' && rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    std::string dir_;
};

// HOME and the program path for the length of one test.
class Expand : public ::testing::Test {
protected:
    void SetUp() override {
        const char* home = getenv("HOME");
        hadHome_ = home != nullptr;
        if (home) home_ = home;
        program_ = ProgramPath();
        SetProgramPath("/opt/tarvo/bin/tarvod");
    }
    void TearDown() override {
        if (hadHome_)
            setenv("HOME", home_.c_str(), 1);
        else
            unsetenv("HOME");
        SetProgramPath(program_.c_str());
    }
    std::string Run(const char* src, int relative) {
        char dst[kPathBufSize];
        memset(dst, 'x', sizeof dst);
        if (!ExpandPath(src, dst, relative)) {
            EXPECT_STREQ(dst, "") << "failure must leave dst empty";
            return "<fail>";
        }
        return dst;
    }
    bool hadHome_ = false;
    std::string home_, program_;
};

TEST_F(Expand, HomeSetAndUnset) {
    setenv("HOME", "/h/me", 1);
    EXPECT_EQ(Run("~/a//b/../c", 0), "/h/me/a/c");
    EXPECT_EQ(Run("~", 0), "/h/me");
    EXPECT_EQ(Run("~", 1), "/h/me");
    setenv("HOME", "/h/me/", 1);
    EXPECT_EQ(Run("~/x", 0), "/h/me/x");
    unsetenv("HOME");
    EXPECT_EQ(Run("~/x", 0), Cwd() + "/~/x");
    EXPECT_EQ(Run("~/x", 1), Cwd() + "/~/x");
}

TEST_F(Expand, UserHomes) {
    if (const struct passwd* pw = getpwnam("root")) {
        std::string home = pw->pw_dir;
        if (home.size() > 1 && home.back() == '/') home.pop_back();
        EXPECT_EQ(Run("~root/bin/../etc", 0), (home == "/" ? "" : home) + "/etc");
        EXPECT_EQ(Run("~root", 0), home);
    }
    EXPECT_EQ(Run("~no-such-user-tarvo/x", 0), Cwd() + "/~no-such-user-tarvo/x");
}

TEST_F(Expand, RelativeToTheProgramFolder) {
    EXPECT_EQ(Run("etc//tarvo.ini", 1), "/opt/tarvo/bin/etc/tarvo.ini");
    EXPECT_EQ(Run("a/../b", 1), "/opt/tarvo/bin/a/../b"); // anchored, not made canonical
    EXPECT_EQ(Run("etc/tarvo.ini", 0), Cwd() + "/etc/tarvo.ini");
    EXPECT_EQ(Run("./x", 1), Cwd() + "/x");
    EXPECT_EQ(Run("/var//./log/../run", 1), "/var/run");
    EXPECT_EQ(Run(nullptr, 1), "");
    SetProgramPath("tarvod"); // no folder: the current one
    EXPECT_EQ(Run("x", 1), Cwd() + "/x");
}

TEST_F(Expand, ResultsNearTheBufferSize) {
    setenv("HOME", "/h", 1);
    struct Case {
        std::string src;
        int relative;
        size_t expectLen; // 0: must fail
    } cases[] = {
        {"/" + std::string(4095, 'a'), 0, 4096},
        {"/" + std::string(4096, 'a'), 0, 0},
        {"/" + std::string(4096, 'a') + "/..", 0, 1}, // long input, short result
        {"//" + std::string(4095, 'a'), 0, 4096},     // runs of '/' do not count
        {"~/" + std::string(4093, 'a'), 0, 4096},     // "/h/" + 4093
        {"~/" + std::string(4094, 'a'), 0, 0},
        {std::string(4081, 'a'), 1, 4096}, // "/opt/tarvo/bin/" + 4081
        {std::string(4082, 'a'), 1, 0},
        {std::string(10000, 'a'), 1, 0},
    };
    for (const Case& c : cases) {
        std::string out = Run(c.src.c_str(), c.relative);
        if (c.expectLen)
            EXPECT_EQ(out.size(), c.expectLen) << c.src.size();
        else
            EXPECT_EQ(out, "<fail>") << c.src.size();
    }
}

TEST(CanonicalPath, Table) {
    struct Case {
        const char *src, *expect;
    } cases[] = {
        {"/a/./b/../c", "/a/c"}, {"/..", "/"}, {"/../../x", "/x"},
        {"/a//b/", "/a/b"},      {"/", "/"},   {"/a/b/../..", "/"},
    };
    char dst[kPathBufSize];
    for (const Case& c : cases) EXPECT_STREQ(CanonicalPath(c.src, dst), c.expect) << c.src;
    EXPECT_EQ(std::string(CanonicalPath("a/b", dst)), Cwd() + "/a/b");
    EXPECT_EQ(std::string(CanonicalPath("", dst)), Cwd());
}

TEST(CopyPathBuffer, BoundsTheCopy) {
    std::string big(5000, 'z');
    char dst[kPathBufSize + 8];
    memset(dst, 'x', sizeof dst);
    CopyPathBuffer(dst, big.c_str());
    EXPECT_EQ(strlen(dst), kPathMax);
    EXPECT_EQ(dst[kPathBufSize], 'x');
    CopyPathBuffer(dst, nullptr);
    EXPECT_STREQ(dst, "");
    // A copy onto itself keeps the path.
    CopyPathBuffer(dst, "/a/b");
    CopyPathBuffer(dst, dst);
    EXPECT_STREQ(dst, "/a/b");
}

TEST(ProgramPath, SetterRefusesOverlongPaths) {
    std::string saved = ProgramPath();
    EXPECT_EQ(SetProgramPath("/usr/sbin/tarvod"), 0);
    EXPECT_STREQ(ProgramPath(), "/usr/sbin/tarvod");
    EXPECT_EQ(SetProgramPath(std::string(5000, 'p').c_str()), -1);
    EXPECT_STREQ(ProgramPath(), "");
    SetProgramPath(saved.c_str());
}

using MakeDirs_ = TempDir;

TEST_F(MakeDirs_, CreatesMissingParents) {
    mode_t mask = umask(0);
    umask(mask);
    std::string p = dir_ + "/a/b/c";
    EXPECT_EQ(MakeDirs(p.c_str()), 1);
    for (const std::string& d : {dir_ + "/a", dir_ + "/a/b", p}) {
        struct stat st;
        ASSERT_EQ(stat(d.c_str(), &st), 0) << d;
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0300u & ~mask) << d;
    }
    EXPECT_EQ(MakeDirs(p.c_str()), 1);                 // already there
    EXPECT_EQ(MakeDirs((dir_ + "/x//y/").c_str()), 1); // doubled and trailing '/'
    Touch(dir_ + "/file");
    EXPECT_EQ(MakeDirs((dir_ + "/file").c_str()), 0);
    EXPECT_EQ(MakeDirs((dir_ + "/file/sub").c_str()), 0);
    EXPECT_EQ(MakeDirs(""), 0);
    EXPECT_EQ(MakeDirs(nullptr), 0);
    EXPECT_EQ(MakeDirs(("/" + std::string(5000, 'd')).c_str()), 0);
}

TEST_F(MakeDirs_, MakeDir700MakesOnePrivateFolder) {
    const std::string p = dir_ + "/private";
    const mode_t mask = umask(0);
    EXPECT_EQ(MakeDir700(p.c_str()), 0);
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(MakeDir700(p.c_str()), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(MakeDir700((dir_ + "/no/parent").c_str()), -1) << "parents are not made";
}

TEST_F(MakeDirs_, RelativePathStartsInTheCurrentFolder) {
    std::string old = Cwd();
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    EXPECT_EQ(MakeDirs("r/s"), 1);
    EXPECT_EQ(MakeDirs("t"), 1);
    ASSERT_EQ(chdir(old.c_str()), 0);
    EXPECT_TRUE(IsDir(dir_ + "/r/s"));
    EXPECT_TRUE(IsDir(dir_ + "/t"));
}

TEST_F(MakeDirs_, ProcessesCreatingTheSameFoldersAllSucceed) {
    std::string p = dir_;
    for (int i = 0; i < 12; ++i) p += "/level" + std::to_string(i);
    const int kProcs = 6;
    pid_t pids[kProcs];
    for (int i = 0; i < kProcs; ++i) {
        pids[i] = fork();
        ASSERT_GE(pids[i], 0);
        if (pids[i] == 0) _exit(MakeDirs(p.c_str()) == 1 ? 0 : 1);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_TRUE(IsDir(p));
}

using MakeUniquePath_ = TempDir;

TEST_F(MakeUniquePath_, PadsAndCountsFromTheRight) {
    char path[kPathBufSize];
    std::string free_ = dir_ + "/none.txt";
    CopyPathBuffer(path, free_.c_str());
    EXPECT_EQ(MakeUniquePath(path), path);
    EXPECT_EQ(std::string(path), free_);

    std::string orig = dir_ + "/ab.txt";
    Touch(orig);
    CopyPathBuffer(path, orig.c_str());
    ASSERT_NE(MakeUniquePath(path), nullptr);
    EXPECT_EQ(std::string(path), dir_ + "/ab_____0.txt");
    Touch(path);
    CopyPathBuffer(path, orig.c_str());
    ASSERT_NE(MakeUniquePath(path), nullptr);
    EXPECT_EQ(std::string(path), dir_ + "/ab_____1.txt");

    Touch(dir_ + "/longername");
    CopyPathBuffer(path, (dir_ + "/longername").c_str());
    ASSERT_NE(MakeUniquePath(path), nullptr);
    EXPECT_EQ(std::string(path), dir_ + "/longernam0");
}

TEST_F(MakeUniquePath_, FailsWhenEveryCandidateExists) {
    std::string orig = dir_ + "/x.dat";
    Touch(orig);
    std::set<std::string> names;
    char path[kPathBufSize];
    for (;;) {
        CopyPathBuffer(path, orig.c_str());
        if (!MakeUniquePath(path)) break;
        ASSERT_TRUE(names.insert(path).second) << "returned twice: " << path;
        ASSERT_LT(names.size(), 100u);
        Touch(path);
    }
    EXPECT_EQ(names.size(), 80u); // ten digits in each of the eight places
    EXPECT_EQ(std::string(path), orig) << "a failed call leaves the name";
}

TEST_F(MakeUniquePath_, FailsWhenThePaddedNameWouldNotFit) {
    // A short name at the end of a path of 4091 characters: six characters of
    // padding would pass the 4096 of the buffer.
    std::string p = dir_;
    const size_t dirLen = kPathMax - 10;
    while (p.size() < dirLen) {
        p += "/" + std::string(std::min<size_t>(200, dirLen - p.size() - 1), 'd');
        ASSERT_EQ(mkdir(p.c_str(), 0700), 0) << p.size();
    }
    p += "/ab.e";
    ASSERT_EQ(p.size(), kPathMax - 5);
    Touch(p);
    char path[kPathBufSize];
    CopyPathBuffer(path, p.c_str());
    EXPECT_EQ(MakeUniquePath(path), nullptr);
    EXPECT_EQ(std::string(path), p);
}

TEST(ParseNumber, Table) {
    struct Case {
        const char* str;
        int allowMinus;
        int32_t expect;
    } cases[] = {
        {"12x", 0, -1},
        {"-5", 1, -5},
        {"-5", 0, -1},
        {"2147483647", 0, -1},
        {"2147483646", 0, 2147483646},
        {"4294967296", 0, -1}, // would be 0 if cut to 32 bits
        {"4294967301", 0, -1},
        {"99999999999999999999999", 0, -1},
        {"-2147483648", 1, INT32_MIN},
        {"-2147483649", 1, -1},
        {"", 0, 0},
        {"-", 1, 0},
        {"--5", 1, -1},
        {"+5", 0, -1},
        {" 5", 0, -1},
        {"5 ", 0, -1},
        {"007", 0, 7},
        {"3000", 0, 3000},
        {nullptr, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseNumber(c.str, c.allowMinus), c.expect)
            << (c.str ? c.str : "(null)") << " " << c.allowMinus;
}

TEST(Format, NumbersAndAddresses) {
    char buf[32];
    EXPECT_STREQ(FormatUInt(0, buf), "0");
    EXPECT_STREQ(FormatUInt(1234, buf), "1234");
    EXPECT_STREQ(FormatUInt(4294967295u, buf), "4294967295");
    EXPECT_STREQ(FormatIPv4(0x7F000001u, buf, sizeof buf, 3000), "127.0.0.1:3000");
    EXPECT_STREQ(FormatIPv4(0xC0A80AFFu, buf, sizeof buf, 0), "192.168.10.255");
    EXPECT_STREQ(FormatIPv4(0xFFFFFFFFu, buf, 8, 65535), "255.255");
}

} // namespace
