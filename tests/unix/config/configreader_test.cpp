#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/unix/config_fixture.h"
#include "base/alloc.h"
#include "base/scratch_dir.h"
#include "unix/config/configwarnings.h"
#include "unix/config/configsource.h"

namespace {

struct LineCase {
    std::string text;
    std::vector<std::string> lines;
    std::vector<uint32_t> physical;
};

TEST(ReadConfigLine, JoinsContinuedLines) {
    const LineCase cases[] = {
        {"a\nb", {"a\n", "b"}, {1, 1}},
        {"a = 1 \\ \n  2\\\n3\n", {"a = 1  2 3\n"}, {3}},
        {"a\\\n", {"a "}, {1}},
        {"\\\n\\\n", {"  "}, {2}},
        {"\r\n", {"\r\n"}, {1}},
        {"\xEF\xBB\xBF[Daemon]\n", {"[Daemon]\n"}, {1}},
        {"\xEF\xBBx\n", {"\xEF\xBBx\n"}, {1}},
        // A comment never continues.
        {"# old \\\nPidFile = /a\n", {"# old \\\n", "PidFile = /a\n"}, {1, 1}},
        {"  #\\\nb\\\nc\n", {"  #\\\n", "b c\n"}, {1, 2}},
        {"", {}, {}},
    };
    for (const LineCase& c : cases) {
        ConfigSource source(c.text);
        std::vector<std::string> lines;
        std::vector<uint32_t> physical;
        std::string line;
        uint32_t n = 0;
        while (ReadConfigLine(line, source, n) > 0) {
            lines.push_back(line);
            physical.push_back(n);
        }
        EXPECT_EQ(lines, c.lines) << c.text;
        EXPECT_EQ(physical, c.physical) << c.text;
    }
}

using ConfigReader = ConfigTest;

struct ReaderCase {
    const char* name;
    std::string text;
    std::string pidFile;
    std::vector<uint32_t> badLines;
    std::vector<std::string> obsolete;
};

TEST_F(ConfigReader, Table) {
    const std::string def = "/var/tarvo/run/tarvod.pid";
    const ReaderCase cases[] = {
        // Without a "[Daemon]" section nothing is read, and the first line left unread says so.
        {"no header", "PidFile = /a\nBogus = 1\n", def, {1}, {}},
        {"no header after comments", "# set-up\n\n  # more\nPidFile = /a\n", def, {4}, {}},
        {"only another section", "[Mail]\nPidFile = /a\n", def, {1}, {}},
        {"header with a word after it", "[Daemon] main\nPidFile = /a\n", def, {1}, {}},
        {"nothing but comments", "# PidFile = /a\n\n", def, {}, {}},
        {"empty file", "", def, {}, {}},
        {"header with a comment after it", "[Daemon] # main section\nPidFile = /a\n", "/a", {}, {}},
        {"header and comment without a blank", "[Daemon]#\"it's\"\nPidFile = /a\n", "/a", {}, {}},
        {"comment ending in a backslash", "[Daemon]\n# old value \\\nPidFile = /a\n", "/a", {}, {}},
        {"header without case, blanks inside", "[ dAEMON ]\nPidFile = /a\n", "/a", {}, {}},
        {"other sections ignored",
         "[Daemon]\nPidFile = /a\n[Mail]\nPidFile = /b\nBogus\n[Daemon]\nLogInfo = Yes\n",
         "/a",
         {},
         {}},
        {"key without '='", "[Daemon]\nPidFile /a\n", "/a", {}, {}},
        {"comments", "[Daemon]\n# PidFile = /x\n   # ] stray \"\nPidFile = /a # kept\n", "/a # kept", {}, {}},
        {"continuation", "[Daemon]\nPidFile = \\\n   /joined\n", "/joined", {}, {}},
        {"bad joined line has its first number", "[Daemon]\n\nBogus = \\\n 1\nBogus = 2\n", def, {3, 5}, {}},
        {"byte-order mark", "\xEF\xBB\xBF[Daemon]\r\nPidFile = /a\r\n", "/a", {}, {}},
        {"identical bad lines on two lines", "[Daemon]\nBogus\nBogus\n", def, {2, 3}, {}},
        {"wrong token counts", "[Daemon]\nPidFile\nPidFile = /a, /b\n", def, {2, 3}, {}},
        {"stray bracket in the section", "[Daemon]\nPidFile = /a]\n", def, {2}, {}},
        {"stray bracket outside", "[Daemon]\n[Mail]\nPidFile = /a]\n", def, {}, {}},
        {"unterminated quote", "[Daemon]\nPidFile = \"/a\n", def, {2}, {}},
        {"unterminated header is ignored", "[Daemon]\n[Mail\nPidFile = /a\n", "/a", {}, {}},
        {"obsolete condition keys in any section",
         "AcceptConditionX = 1\n[Mail]\n  rejectpartcondition\n[Daemon]\nRejectCondition = 2\n",
         def,
         {},
         {"AcceptCondition", "RejectPartCondition", "RejectCondition"}},
        {"obsolete keys of the table",
         "[Daemon]\nmaxchildren = 5\nPreFork = 1\nPreFork\n",
         def,
         {4},
         {"MaxChildren", "PreFork"}},
    };
    for (const ReaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t result = Load(c.text);
        EXPECT_EQ(result, static_cast<int32_t>(c.badLines.size()));
        EXPECT_EQ(PidFile, c.pidFile);
        EXPECT_EQ(BadLineNumbers(), c.badLines);
        std::vector<std::string> obsolete;
        for (const ObsoleteParameter* p = FirstObsoleteParameter(); p; p = NextObsoleteParameter()) {
            EXPECT_EQ(p->text, "");
            obsolete.push_back(p->name);
        }
        EXPECT_EQ(obsolete, c.obsolete);
    }
}

TEST_F(ConfigReader, BadLineIsListedOnceAndCut) {
    std::string text = "[Daemon]\nBogus = " + std::string(5000, 'x') + "\n";
    ReadConfigText(text);
    EXPECT_EQ(ReadConfigText(text), 1);
    const ConfigErrorLine* e = FirstConfigError();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->line, 2u);
    EXPECT_EQ(e->text.size(), kConfigErrorTextMax);
    EXPECT_EQ(e->text.substr(0, 8), "Bogus = ");
    // The same line in another letter case counts as the same.
    ReadConfigText("[Daemon]\nBOGUS = " + std::string(5000, 'X') + "\n");
    EXPECT_EQ(ConfigErrorList->Count(), 1u);
}

// Every complaint of a file full of bad lines is kept, and what the lists hold grows with the text,
// not by a fixed buffer per line: counted in bytes the program's allocator hands out.
TEST_F(ConfigReader, ManyBadLinesAreAllKeptInMemoryOfTheTextsSize) {
    constexpr uint32_t kBad = 5000, kObsolete = 2000;
    std::string text = "[Daemon]\n";
    for (uint32_t i = 0; i < kBad; ++i) text += "Bogus" + std::to_string(i) + " = value\n";
    for (uint32_t i = 0; i < kObsolete; ++i) text += "AcceptCondition = " + std::to_string(i) + "\n";
    FreeSettings();
    ASSERT_EQ(CreateSettings(), 0);
    const int64_t before = MemBytesInUse();
    EXPECT_EQ(ReadConfigText(text), static_cast<int32_t>(kBad));
    const int64_t kept = MemBytesInUse() - before;
    EXPECT_LT(kept, 16 * static_cast<int64_t>(text.size())) << "bytes kept for " << text.size() << " of text";

    std::vector<uint32_t> expected;
    for (uint32_t i = 0; i < kBad; ++i) expected.push_back(i + 2);
    EXPECT_EQ(BadLineNumbers(), expected);
    size_t obsolete = 0;
    for (const ObsoleteParameter* p = FirstObsoleteParameter(); p; p = NextObsoleteParameter()) ++obsolete;
    EXPECT_EQ(obsolete, kObsolete);
    EXPECT_EQ(ConfigWarningLines().size(), size_t(kBad + kObsolete));
}

TEST_F(ConfigReader, ListKeysReplaceTheDefaultThenExtend) {
    EXPECT_EQ(Strings(VirusBase.get()), std::vector<std::string>{"/var/tarvo/bases/*.vdb"});
    Load("[Daemon]\nVirusBase = /x/*.vdb\nLogInfo = No\nvirusbase = /y/*.vdb, /z/*.vdb\n");
    EXPECT_EQ(Strings(VirusBase.get()), (std::vector<std::string>{"/x/*.vdb", "/y/*.vdb", "/z/*.vdb"}));
    // Every read starts the lists over.
    Load("[Daemon]\nVirusBase = /w/*.vdb\n");
    EXPECT_EQ(Strings(VirusBase.get()), std::vector<std::string>{"/w/*.vdb"});
}

TEST_F(ConfigReader, TooManyValuesMakeABadLineAndChangeNothing) {
    std::string line = "FilesTypes =";
    for (int i = 0; i < 64; ++i) line += " e" + std::to_string(i) + ",";
    Load("[Daemon]\n" + line + "\n");
    EXPECT_EQ(BadLineNumbers(), std::vector<uint32_t>{2});
    EXPECT_EQ(MainSettings->fileTypeMasks.Count(), 77u);
}

class ConfigFile : public ConfigTest {
protected:
    ScratchDir dir_;
};

TEST_F(ConfigFile, ReadsARegularFileOnly) {
    ASSERT_TRUE(dir_.Write("t.ini", "[Daemon]\nPidFile = /from/file\nBogus\n"));
    snprintf(ConfigFilePath, sizeof ConfigFilePath, "%s", (dir_ / "t.ini").c_str());
    EXPECT_EQ(LoadConfiguration(), 1);
    EXPECT_STREQ(PidFile, "/from/file");

    NoIniFlag = 1;
    EXPECT_EQ(ReadConfigFile(), 0);
    NoIniFlag = 0;

    snprintf(ConfigFilePath, sizeof ConfigFilePath, "%s", (dir_ / "missing.ini").c_str());
    EXPECT_EQ(ReadConfigFile(), -1);
    snprintf(ConfigFilePath, sizeof ConfigFilePath, "%s", dir_.path().c_str());
    EXPECT_EQ(ReadConfigFile(), -1);
    // A FIFO neither blocks the start nor is read.
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    snprintf(ConfigFilePath, sizeof ConfigFilePath, "%s", (dir_ / "fifo").c_str());
    EXPECT_EQ(ReadConfigFile(), -1);
    ConfigFilePath[0] = '\0';
    EXPECT_EQ(ReadConfigFile(), -1);
}

} // namespace
