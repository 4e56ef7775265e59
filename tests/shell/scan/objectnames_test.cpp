#include "shell/scan/objectnames.h"

#include <gtest/gtest.h>

#include <string>

#include "base/pathutil.h"
#include "shell/scan/scanresult.h"
#include "shell/settings/scansettings.h"

namespace {

struct RenameCase {
    const char* path;
    const char* pattern;
    const char* renamed;
};

void PrintTo(const RenameCase& c, std::ostream* os) {
    *os << c.path << " with " << c.pattern;
}

class RenameTable : public ::testing::TestWithParam<RenameCase> {};

TEST_P(RenameTable, OverwritesTheExtension) {
    char out[kPathBufSize];
    ASSERT_EQ(0, MakeRenamedName(GetParam().path, GetParam().pattern, out, sizeof out));
    EXPECT_STREQ(GetParam().renamed, out) << GetParam().path << " " << GetParam().pattern;
}

INSTANTIATE_TEST_SUITE_P(Table, RenameTable,
                         ::testing::Values(RenameCase{"a.exe", "#??", "a.#xe"}, RenameCase{"a", "#??", "a.#"},
                                           RenameCase{"/x/a.e", "#??", "/x/a.#"},
                                           RenameCase{"/x/a.exec", "#??", "/x/a.#xe"},
                                           RenameCase{"a.exe", "#", "a.#"},
                                           RenameCase{"a.exe", "vir", "a.vir"},
                                           RenameCase{"a.b.com", "?#?", "a.b.c#m"},
                                           // The dot of a folder is not the object's extension.
                                           RenameCase{"/dir.d/a", "#??", "/dir.d/a.#"}));

TEST(MakeRenamedName, RefusesWhatDoesNotFit) {
    char out[5];
    EXPECT_EQ(-1, MakeRenamedName("a.exe", "#??", out, sizeof out));
    EXPECT_EQ(0, MakeRenamedName("a.ex", "#??", out, sizeof out));
    EXPECT_STREQ("a.#x", out);
}

TEST(MakeMoveTarget, JoinsTheLastComponentToTheFolder) {
    char out[kPathBufSize];
    ASSERT_EQ(0, MakeMoveTarget("/var//q/", "/home/u/a.exe", out));
    EXPECT_STREQ("/var/q/a.exe", out);
    ASSERT_EQ(0, MakeMoveTarget("/q", "DATA[12]", out));
    EXPECT_STREQ("/q/DATA[12]", out);
    EXPECT_EQ(-1, MakeMoveTarget("/q", "/home/u/", out));
    EXPECT_EQ(-1, MakeMoveTarget(std::string(kPathMax, 'q').c_str(), "a", out));
}

TEST(ContainerTypes, GroupsByTypeNumber) {
    for (int32_t type = -1; type < 64; ++type) {
        bool archive = type == 1 || type == 2 || type == 3 || type == 4 || type == 5 || type == 12 ||
                       type == 14 || type == 16 || type == 17 || type == 25;
        bool own = type == 6 || type == 7 || type == 9 || type == 10 || type == 11 || type == 13 ||
                   type == 18 || type == 19 || type == 21;
        EXPECT_EQ(archive, IsArchiveType(type)) << type;
        EXPECT_EQ(own, HasOwnContainerAction(type)) << type;
        int word = own ? 15 : type == 8 ? 14 : 13;
        EXPECT_EQ(word, ContainerActionWordFor(type)) << type;
    }
}

} // namespace
