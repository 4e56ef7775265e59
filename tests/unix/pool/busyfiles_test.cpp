#include "unix/pool/busyfiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include "tests/unix/daemon_fixture.h"

namespace {

TEST(BusyFileNameTest, OnlyTheBusyPathADotAndDigits) {
    struct Case {
        const char* name;
        int busy;
    } const cases[] = {
        {"tarvod.bsy.123", 1}, {"tarvod.bsy.1", 1},   {"tarvod.bsy", 0},     {"tarvod.bsy.", 0},
        {"tarvod.bsy.12a", 0}, {"tarvod.bsy.-1", 0},  {"tarvod.bsy.pid", 0}, {"tarvod.bsyx.1", 0},
        {"tarvod.bsy1", 0},    {"tarvod.bsy.1.2", 0}, {"xtarvod.bsy.1", 0},  {"tarvod.bsy.sock", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(IsBusyFileName(c.name, "tarvod.bsy"), c.busy) << c.name;
    EXPECT_EQ(IsBusyFileName("x.1", ""), 0);
}

TEST(RemoveBusyFilesTest, RemovesBusyFilesAndNothingThatMerelyBeginsWithThePath) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string busy = dir / "tarvod";
    for (const char* name : {"tarvod.11", "tarvod.4194304", "tarvod.pid", "tarvod.sock", "tarvod",
                             "tarvod.1x", "tarvodx.12", "other.12"})
        ASSERT_TRUE(dir.Write(name, "x")) << name;
    ASSERT_EQ(mkdir((dir / "tarvod.77").c_str(), 0700), 0);
    // A link named like a busy file goes; what it points to stays.
    ASSERT_EQ(symlink((dir / "other.12").c_str(), (dir / "tarvod.99").c_str()), 0);

    EXPECT_EQ(RemoveBusyFiles(busy.c_str()), 3);

    for (const char* gone : {"tarvod.11", "tarvod.4194304", "tarvod.99"})
        EXPECT_FALSE(PathExists(dir / gone)) << gone;
    for (const char* kept :
         {"tarvod.pid", "tarvod.sock", "tarvod", "tarvod.1x", "tarvodx.12", "other.12", "tarvod.77"})
        EXPECT_TRUE(PathExists(dir / kept)) << kept;
}

TEST(RemoveBusyFilesTest, MissingFolderOrEmptyNameRemovesNothing) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_TRUE(dir.Write("x.1", "x"));
    EXPECT_EQ(RemoveBusyFiles((dir / "missing/tarvod.bsy").c_str()), 0);
    EXPECT_EQ(RemoveBusyFiles(""), 0);
    EXPECT_EQ(RemoveBusyFiles((dir.path() + "/").c_str()), 0);
    EXPECT_TRUE(PathExists(dir / "x.1"));
}

} // namespace
