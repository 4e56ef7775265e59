#include "shell/settings/filefilter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/scratch_dir.h"
#include "shell/host/objectaccess.h"
#include "shell/settings/scansettings.h"

namespace {

int opens = 0;

int CountingOpen(const char* name) {
    ++opens;
    return FileLayerAccess.open(name);
}

// Counts the filter's opens; the reads go to the file layer.
class FilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        saved = ShellObjectAccess;
        ShellObjectAccess.open = CountingOpen;
        opens = 0;
    }
    void TearDown() override { ShellObjectAccess = saved; }

    int Filter(uint32_t mode, const std::string& name, const std::string& data, uint64_t size = 0,
               const char* ownMask = nullptr) {
        EXPECT_TRUE(dir.Write(name, data));
        settings.word[kFilterModeWord] = mode;
        return FilterFile(settings, ownMask, (dir / name).c_str(), size, nullptr, 0);
    }

    ScratchDir dir;
    TarvoMainSettings settings;
    ObjectAccess saved{};
};

struct FilterCase {
    const char* name;
    std::string data;
    int all, byType, byContent, byMasks;
};

const std::string kProgram = "MZ" + std::string(98, '\0');
const std::string kJpeg = "\xFF\xD8\xFF\xE0" + std::string(96, 'j');
const std::string kText = std::string(100, 't');
const std::string kNop = "\x90" + std::string(99, 'n');

void PrintTo(const FilterCase& c, std::ostream* os) {
    const char* content = c.data == kProgram ? "program"
                          : c.data == kJpeg  ? "JPEG"
                          : c.data == kNop   ? "NOP"
                                             : "text";
    *os << c.name << " holding " << content;
}

class FilterTable : public FilterTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterTable, ScansOrSkipsInEachMode) {
    const FilterCase& c = GetParam();
    EXPECT_EQ(c.all, Filter(kFilterAll, c.name, c.data)) << c.name << " All";
    EXPECT_EQ(c.byType, Filter(kFilterByType, c.name, c.data)) << c.name << " ByType";
    EXPECT_EQ(c.byContent, Filter(kFilterByContent, c.name, c.data)) << c.name << " content";
    EXPECT_EQ(c.byMasks, Filter(kFilterByMasks, c.name, c.data)) << c.name << " ByMasks";
    EXPECT_EQ(c.byMasks, Filter(7, c.name, c.data)) << c.name << " other modes filter by masks";
}

INSTANTIATE_TEST_SUITE_P(
    Table, FilterTable,
    ::testing::Values(FilterCase{"setup.exe", kText, 1, 1, 1, 1}, FilterCase{"report.DOC", kText, 1, 1, 1, 1},
                      FilterCase{"page.html", kText, 1, 1, 1, 1}, FilterCase{"notes.txt", kText, 1, 0, 0, 0},
                      FilterCase{"notes.txt", kProgram, 1, 0, 1, 0},
                      FilterCase{"photo.jpg", kJpeg, 1, 0, 0, 0}, FilterCase{"boot.dat", kNop, 1, 0, 1, 0},
                      FilterCase{"noext", kProgram, 1, 0, 1, 0}, FilterCase{"noext", kText, 1, 0, 0, 0},
                      FilterCase{"archive.r01", kText, 1, 1, 1, 1},
                      FilterCase{"trailingdot.", kText, 1, 0, 0, 0},
                      FilterCase{"mail.eml", kText, 1, 1, 1, 1}));

TEST_F(FilterTest, ContentModeTrustsAKnownExtensionWithoutReading) {
    EXPECT_EQ(1, Filter(kFilterByContent, "report.DOC", kJpeg));
    EXPECT_EQ(0, opens);
    EXPECT_EQ(0, Filter(kFilterByContent, "photo.jpg", kJpeg));
    EXPECT_EQ(1, opens);
}

TEST_F(FilterTest, ContentModeTestsSmallObjectsOnly) {
    std::string bigJpeg = kJpeg;
    bigJpeg.resize(70000, 'j');
    std::string bigNop = kNop;
    bigNop.resize(70000, 'n');
    EXPECT_EQ(0, Filter(kFilterByContent, "a.jpg", kJpeg, 100));
    EXPECT_EQ(0, Filter(kFilterByContent, "b.jpg", bigJpeg, 70000));
    EXPECT_EQ(1, Filter(kFilterByContent, "c.dat", kNop, 100));
    EXPECT_EQ(0, Filter(kFilterByContent, "d.dat", bigNop, 70000));
    // An unknown size is measured, so a large file does not pass as small.
    EXPECT_EQ(0, Filter(kFilterByContent, "e.dat", bigNop, 0));
}

TEST_F(FilterTest, ContentModeScansWhatItCannotRead) {
    settings.word[kFilterModeWord] = kFilterByContent;
    EXPECT_EQ(1, FilterFile(settings, nullptr, (dir / "missing.dat").c_str(), 0, nullptr, 0));
}

TEST_F(FilterTest, ContentModeLeavesSpecialFilesToTheFileTypeCheck) {
    ASSERT_EQ(0, mkfifo((dir / "pipe").c_str(), 0600));
    settings.word[kFilterModeWord] = kFilterByContent;
    // Should the filter open the FIFO, the alarm ends the test instead of a hang.
    alarm(30);
    EXPECT_EQ(1, FilterFile(settings, nullptr, (dir / "pipe").c_str(), 0, nullptr, 0));
    EXPECT_EQ(1, FilterFile(settings, nullptr, dir.path().c_str(), 0, nullptr, 0));
    alarm(0);
    EXPECT_EQ(0, opens);
}

TEST_F(FilterTest, ContentModeComparesOnlyTheBytesOfAShortObject) {
    EXPECT_EQ(0, Filter(kFilterByContent, "two.dat", std::string(2, '\0')));
    EXPECT_EQ(1, Filter(kFilterByContent, "four.dat", std::string(4, '\0')));
    EXPECT_EQ(0, Filter(kFilterByContent, "empty.dat", ""));
}

TEST_F(FilterTest, ContentModeUsesGivenHeaderBytes) {
    settings.word[kFilterModeWord] = kFilterByContent;
    const uint8_t zip[] = {0x50, 0x4B, 0x03, 0x04};
    const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0};
    EXPECT_EQ(1, FilterFile(settings, nullptr, "in/archive/member", 100, zip, sizeof(zip)));
    EXPECT_EQ(0, FilterFile(settings, nullptr, "in/archive/member", 100, jpeg, sizeof(jpeg)));
    EXPECT_EQ(0, FilterFile(settings, nullptr, "in/archive/member", 100, zip, 3));
    EXPECT_EQ(0, opens);
}

TEST_F(FilterTest, TheExtensionIsThatOfTheLastPathComponent) {
    settings.word[kFilterModeWord] = kFilterByType;
    EXPECT_EQ(0, FilterFile(settings, nullptr, "/srv/www.html/readme", 0, nullptr, 0));
    EXPECT_EQ(1, FilterFile(settings, nullptr, "/srv/www.d/readme.Html", 0, nullptr, 0));
    settings.word[kFilterModeWord] = kFilterByContent;
    EXPECT_EQ(1, Filter(kFilterByContent, "x.exe", kText));
}

TEST_F(FilterTest, ByTypeUsesTheConfiguredTypes) {
    settings.fileTypeMasks.Clear();
    settings.fileTypeMasks.AddString("TXT");
    settings.word[kFilterModeWord] = kFilterByType;
    EXPECT_EQ(1, FilterFile(settings, nullptr, "a/notes.txt", 0, nullptr, 0));
    EXPECT_EQ(0, FilterFile(settings, nullptr, "a/setup.exe", 0, nullptr, 0));
}

TEST_F(FilterTest, ByMasksMatchesTheBaseName) {
    settings.nameMasks.Clear();
    settings.nameMasks.AddString("keep*");
    settings.word[kFilterModeWord] = kFilterByMasks;
    EXPECT_EQ(1, FilterFile(settings, nullptr, "/d/keep.me", 0, nullptr, 0));
    EXPECT_EQ(1, FilterFile(settings, nullptr, "arc\\dir\\keepsake", 0, nullptr, 0));
    EXPECT_EQ(0, FilterFile(settings, nullptr, "/keep/other", 0, nullptr, 0));
}

TEST_F(FilterTest, AnOwnMaskReplacesTheNameMasks) {
    settings.word[kFilterModeWord] = kFilterByMasks;
    EXPECT_EQ(1, FilterFile(settings, "*.dat", "/d/x.DAT", 0, nullptr, 0));
    EXPECT_EQ(1, FilterFile(settings, "*.dat", "disk:y.dat", 0, nullptr, 0));
    EXPECT_EQ(0, FilterFile(settings, "*.dat", "/d/setup.exe", 0, nullptr, 0));
}

TEST(MatchMasks, ChoosesTheListByMode) {
    TarvoMainSettings s;
    s.fileTypeMasks.Clear();
    s.fileTypeMasks.AddString("TXT");
    EXPECT_TRUE(MatchMasks(s, "/a/b.txt", 0));
    EXPECT_FALSE(MatchMasks(s, "/a/b.exe", 0));
    EXPECT_FALSE(MatchMasks(s, "/a/b.txt", 1));
    EXPECT_TRUE(MatchMasks(s, "/a/b.exe", 1));
    EXPECT_TRUE(MatchMasks(s, "/a/b.exe", 3));
    EXPECT_FALSE(MatchMasks(s, "/a/b", 0));
    EXPECT_FALSE(MatchMasks(s, "/a/b", 1));
    EXPECT_FALSE(MatchMasks(s, nullptr, 1));
}

} // namespace
