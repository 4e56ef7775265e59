#include "shell/scan/dirname.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct DirCase {
    const char* path;
    const char* dir;
};

void PrintTo(const DirCase& c, std::ostream* os) {
    *os << '"' << c.path << '"';
}

class DirNameTable : public ::testing::TestWithParam<DirCase> {};

TEST_P(DirNameTable, GivesTheDirectoryPart) {
    char out[64];
    EXPECT_STREQ(GetParam().dir, DirNameOf(GetParam().path, out, sizeof(out))) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Table, DirNameTable,
                         ::testing::Values(DirCase{"", ""}, DirCase{"file", "."}, DirCase{"file/", "."},
                                           DirCase{"/", "/"}, DirCase{"///", "/"}, DirCase{"/usr", "/"},
                                           DirCase{"//usr", "/"}, DirCase{"/usr/", "/"},
                                           DirCase{"/usr/lib", "/usr"}, DirCase{"/usr//lib/", "/usr"},
                                           DirCase{"a//b", "a"}, DirCase{"a/b/c.txt", "a/b"},
                                           DirCase{"./x", "."}));

TEST(DirNameOf, IsBoundedByTheOutputBuffer) {
    std::string longDir(100, 'd');
    char out[10];
    std::memset(out, 'z', sizeof(out));
    EXPECT_STREQ("ddddddddd", DirNameOf((longDir + "/f").c_str(), out, sizeof(out)));
    char one[1] = {'z'};
    DirNameOf("/usr/lib", one, sizeof(one));
    EXPECT_EQ('\0', one[0]);
}

} // namespace
