#include "base/langfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "base/bufstream.h"
#include "base/messages.h"
#include "base/splaycode.h"
#include "langfile_encoder.h"
#include "scratch_dir.h"

namespace {

std::string CurrentYear() {
    time_t now = std::time(nullptr);
    struct tm utc;
    gmtime_r(&now, &utc);
    return std::to_string(utc.tm_year + 1900);
}

// Every form of the file under test: the text plain, and splay-coded.
class LanguageFileTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_EQ(CreateMessageCatalogue(), 1);
        savedPacked_ = LanguageFilePacked;
        LanguageFilePacked = Packed() ? 1 : 0;
        ASSERT_FALSE(dir_.path().empty());
    }
    void TearDown() override {
        LanguageFilePacked = savedPacked_;
        FreeMessageCatalogue();
    }

    bool Packed() const { return GetParam(); }
    // Writes the file and returns its path.
    std::string Write(const std::string& bytes, const std::string& name = "lang.lng") {
        EXPECT_TRUE(dir_.Write(name, bytes));
        return dir_ / name;
    }
    std::string WriteText(const std::string& text, const LanguageHeader& header = {}) {
        return Write(LanguageFileBytes(text, Packed(), header));
    }
    static void ExpectBuiltInTexts(const char* why) {
        EXPECT_STREQ(MessageText(7), "Yes") << why;
        EXPECT_STREQ(MessageText(109), "Shutting down daemon (signal %d received)...") << why;
    }

    ScratchDir dir_;

private:
    int savedPacked_ = 1;
};

TEST_P(LanguageFileTest, AllMessagesReplaceTheBuiltInTexts) {
    std::vector<std::string> lines = NumberedMessages(221);
    lines[1] = "\"Copyright 1992-1999 somebody, all rights\"";
    LanguageHeader header;
    header.name = "Deutsch";
    const std::string path = WriteText(LanguageText(lines), header);

    EXPECT_EQ(CountLanguageMessages(path.c_str()), 1);
    EXPECT_STREQ(MessageText(7), "Yes") << "counting stores nothing";
    ASSERT_EQ(LoadLanguageFile(path.c_str()), 1);
    for (uint32_t n = 0; n < kMessageCount; ++n) {
        if (n == 1) continue;
        EXPECT_EQ(MessageText(n), "Text " + std::to_string(n));
    }
    EXPECT_EQ(std::string(MessageText(1)), "Copyright 1992-" + CurrentYear());
    EXPECT_STREQ(LanguageInfo.name, "Deutsch");
    EXPECT_EQ(LanguageInfo.keyboardRows[0], KeyboardRow('!'));
    EXPECT_EQ(LanguageInfo.keyboardRows[1], KeyboardRow('A'));
    EXPECT_EQ(LanguageInfo.helpFiles[0], "help.hlp");
    EXPECT_EQ(LanguageInfo.helpFiles[1], "help2.hlp");
}

TEST_P(LanguageFileTest, MessageLinesAreTrimmedAndUnescaped) {
    std::vector<std::string> lines = NumberedMessages(221);
    lines[2] = "  \"Tab\\there \\\"quoted\\\" back\\\\slash\\nnext\"  \t";
    lines[3] = "no quotes at all";
    lines[4] = "\"" + std::string(150, 'x') + "\"";
    lines[5] = "\"\" \"";
    lines[6] = "\"keeps a lone backslash\\\"";
    lines[7] = "one \"quote";
    // Lines that are no messages: no tokens (a comment), blanks, empty lines.
    lines.insert(lines.begin() + 8, "; a comment");
    lines.insert(lines.begin() + 8, "  \t ");
    lines.insert(lines.begin() + 8, "");
    std::string text = LanguageText(lines);
    // Line ends of either kind.
    text.insert(text.find("\"Text 20\""), "\r\n\r");
    const std::string path = WriteText(text);

    ASSERT_EQ(LoadLanguageFile(path.c_str()), 1);
    EXPECT_STREQ(MessageText(2), "Tab\there \"quoted\" back\\\\slash\nnext");
    EXPECT_STREQ(MessageText(3), "no quotes at all");
    EXPECT_EQ(std::string(MessageText(4)), std::string(100, 'x')) << "at most 100 characters are kept";
    EXPECT_STREQ(MessageText(5), "\" ") << "one quote off each end";
    EXPECT_STREQ(MessageText(6), "keeps a lone backslash\\");
    EXPECT_STREQ(MessageText(7), "one \"quote");
    EXPECT_STREQ(MessageText(8), "Text 8");
    EXPECT_STREQ(MessageText(220), "Text 220");
}

TEST_P(LanguageFileTest, SectionTagIgnoresCaseAndOtherSectionsAreSkipped) {
    std::vector<std::string> lines = NumberedMessages(110);
    lines.push_back("\x7f"
                    "Elsewhere\x7f");
    lines.push_back("\"not a message of ours\"");
    lines.push_back("\x7f"
                    "tarvounixDAEMON\x7f");
    for (const std::string& line : NumberedMessages(221)) lines.push_back(line);
    lines.erase(lines.begin() + 113, lines.begin() + 113 + 110);
    const std::string path = WriteText(LanguageText(lines));

    ASSERT_EQ(LoadLanguageFile(path.c_str()), 1);
    EXPECT_STREQ(MessageText(109), "Text 109");
    EXPECT_STREQ(MessageText(110), "Text 110");
    EXPECT_STREQ(MessageText(220), "Text 220");
}

TEST_P(LanguageFileTest, MessagesBeyondTheCountAreNotRead) {
    std::vector<std::string> lines = NumberedMessages(221);
    lines.push_back("\"one too many\"");
    EXPECT_EQ(LoadLanguageFile(WriteText(LanguageText(lines)).c_str()), 1);
    EXPECT_STREQ(MessageText(220), "Text 220");
}

TEST_P(LanguageFileTest, TooFewMessagesLeaveTheBuiltInTexts) {
    const std::string full = WriteText(LanguageText(NumberedMessages(221)));
    ASSERT_EQ(LoadLanguageFile(full.c_str()), 1);
    ASSERT_STREQ(MessageText(7), "Text 7");

    const std::string path =
        Write(LanguageFileBytes(LanguageText(NumberedMessages(220)), Packed()), "short.lng");
    EXPECT_EQ(CountLanguageMessages(path.c_str()), 0);
    EXPECT_EQ(LoadLanguageFile(path.c_str()), 0);
    ExpectBuiltInTexts("220 messages: the built-in texts are back");
    EXPECT_NE(std::string(MessageText(1)).find("1992-" + CurrentYear()), std::string::npos);
}

TEST_P(LanguageFileTest, VersionIsMajorTimesHundredPlusMinor) {
    const struct {
        uint16_t major, minor;
        int loads;
    } cases[] = {{6, 0, 1}, {5, 100, 1}, {0, 600, 1}, {6, 1, 0}, {5, 0, 0}, {600, 0, 0}, {0xFFFF, 0xFFFF, 0}};
    const std::string text = LanguageText(NumberedMessages(221));
    for (const auto& c : cases) {
        LanguageHeader header;
        header.major = c.major;
        header.minor = c.minor;
        EXPECT_EQ(LoadLanguageFile(WriteText(text, header).c_str()), c.loads) << c.major << "." << c.minor;
        if (!c.loads) ExpectBuiltInTexts("a refused version");
    }
}

TEST_P(LanguageFileTest, DamagedFilesAreRefused) {
    const std::string good = LanguageFileBytes(LanguageText(NumberedMessages(221)), Packed());
    LanguageHeader badBanner;
    badBanner.banner = "Tarvo 16 bit Language File";
    LanguageHeader longName;
    longName.name = std::string(40, 'n'); // fills the field without a terminator
    std::string noBannerEnd = good;
    std::memset(&noBannerEnd[0], 'T', 32);

    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"header cut short", good.substr(0, 40)},
        {"header only", good.substr(0, 68)},
        {"header one byte short", good.substr(0, 67)},
        {"text cut in the middle", good.substr(0, 68 + (good.size() - 68) / 2)},
        {"text cut inside the last message", good.substr(0, good.size() - 12)},
        {"another banner", LanguageFileBytes(LanguageText(NumberedMessages(221)), Packed(), badBanner)},
        {"banner without terminator", noBannerEnd},
        {"name without terminator",
         LanguageFileBytes(LanguageText(NumberedMessages(221)), Packed(), longName)},
        {"noise after the header", HeaderBytes({}) + std::string("\x93\x07\xff\x00\x41\x80\x7f\x01", 8)},
        {"a text of line ends",
         HeaderBytes({}) + (Packed() ? SplayPack(std::string(5000, '\n')) : std::string(5000, '\r'))},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(
            LoadLanguageFile(Write(LanguageFileBytes(LanguageText(NumberedMessages(221)), Packed())).c_str()),
            1);
        const std::string path = Write(c.bytes, "damaged.lng");
        EXPECT_EQ(CountLanguageMessages(path.c_str()), 0) << c.what;
        EXPECT_EQ(LoadLanguageFile(path.c_str()), 0) << c.what;
        ExpectBuiltInTexts(c.what);
    }
}

TEST_P(LanguageFileTest, MissingOrUnreadablePathsAreRefused) {
    const std::string paths[] = {"", dir_ / "absent.lng", dir_.path(), "/dev/null"};
    for (const std::string& p : paths) {
        EXPECT_EQ(LoadLanguageFile(p.c_str()), 0) << p;
        ExpectBuiltInTexts(p.c_str());
    }
    EXPECT_EQ(LoadLanguageFile(nullptr), 0);
}

// A line longer than the reader's line goes on as the next line, in both forms alike.
TEST_P(LanguageFileTest, OverlongLineGoesOnAsTheNextLine) {
    std::vector<std::string> lines = NumberedMessages(220);
    lines.insert(lines.begin() + 10, std::string(kLanguageLineMax, 'a') + "tail");
    lines.pop_back();
    ASSERT_EQ(LoadLanguageFile(WriteText(LanguageText(lines)).c_str()), 1);
    EXPECT_EQ(std::string(MessageText(10)), std::string(100, 'a'));
    EXPECT_STREQ(MessageText(11), "tail");
    EXPECT_STREQ(MessageText(12), "Text 10");
}

INSTANTIATE_TEST_SUITE_P(Forms, LanguageFileTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Packed" : "Plain";
                         });

TEST(LanguageHeader, NameIsCopiedWithItsTerminator) {
    LanguageHeader header;
    header.name = std::string(31, 'r');
    std::string bytes = HeaderBytes(header) + "rest";
    BufStreamPtr stream(StreamOpen(nullptr, 0, bytes.data(), bytes.size()));
    ASSERT_TRUE(stream);
    char name[kLanguageNameSize];
    std::memset(name, '#', sizeof name);
    ASSERT_EQ(ReadLanguageHeader(stream.get(), name), 1);
    EXPECT_EQ(std::string(name), std::string(31, 'r'));
    EXPECT_EQ(StreamGetByte(stream.get()), 'r') << "the stream stands right after the header";
}

// Walks the decoder's tree from the root: every leaf once, every parent link true.
void ExpectWholeTree(const SplayTables& t, const char* when) {
    std::vector<int> seen(kSplayLastLeaf + 1, 0);
    std::vector<int> stack = {kSplayRoot};
    int internal = 0;
    while (!stack.empty()) {
        int node = stack.back();
        stack.pop_back();
        ASSERT_GE(node, 1) << when;
        ASSERT_LE(node, kSplayLastLeaf) << when;
        ASSERT_EQ(seen[node]++, 0) << "node " << node << " twice, " << when;
        if (node >= kSplayFirstLeaf) continue;
        ++internal;
        for (int child : {t.left[node], t.right[node]}) {
            ASSERT_EQ(t.parent[child], node) << when;
            stack.push_back(child);
        }
    }
    EXPECT_EQ(internal, kSplayInternal) << when;
    for (int leaf = kSplayFirstLeaf; leaf <= kSplayLastLeaf; ++leaf) EXPECT_EQ(seen[leaf], 1) << when;
}

TEST(SplayCode, DecodesWhatTheEncoderPackedAndKeepsTheTreeWhole) {
    // Every byte value, then runs that splay a few values deep into the tree.
    std::string text;
    for (int v = 0; v < 256; ++v) text += static_cast<char>(v);
    uint32_t seed = 12345;
    for (int i = 0; i < 4000; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += static_cast<char>(i % 3 ? "etaoin"[(seed >> 16) % 6] : (seed >> 8) & 0xFF);
    }
    std::string packed = SplayPack(text);
    EXPECT_LT(packed.size(), text.size()) << "frequent letters get short codes";
    BufStreamPtr stream(StreamOpen(nullptr, 0, packed.data(), packed.size()));
    ASSERT_TRUE(stream);
    ASSERT_EQ(SplayInit(), 1);
    ASSERT_NE(SplayCurrentTables(), nullptr);
    ExpectWholeTree(*SplayCurrentTables(), "at the start");
    for (size_t i = 0; i < text.size(); ++i) {
        ASSERT_EQ(SplayDecodeByte(stream.get()), static_cast<unsigned char>(text[i])) << "byte " << i;
        if (i % 97 == 0) ExpectWholeTree(*SplayCurrentTables(), "after a byte");
    }
    EXPECT_EQ(SplayDecodeByte(stream.get()), kSplayEndMark);
    ExpectWholeTree(*SplayCurrentTables(), "after the end mark");
    EXPECT_EQ(SplayDecodeByte(stream.get()), -1) << "nothing after the end mark";
    SplayFree();
    EXPECT_EQ(SplayCurrentTables(), nullptr);
}

TEST(SplayCode, ReadLineSkipsLineEndsAndStopsAtTheEnd) {
    std::string packed = SplayPack("\n\r\nfirst\r\nsecond line\n\n");
    BufStreamPtr stream(StreamOpen(nullptr, 0, packed.data(), packed.size()));
    ASSERT_EQ(SplayInit(), 1);
    char buf[8];
    EXPECT_EQ(SplayReadLine(stream.get(), buf, 7), 5u);
    EXPECT_STREQ(buf, "first");
    EXPECT_EQ(SplayReadLine(stream.get(), buf, 7), 7u);
    EXPECT_STREQ(buf, "second ");
    EXPECT_EQ(SplayReadLine(stream.get(), buf, 7), 4u);
    EXPECT_STREQ(buf, "line");
    EXPECT_EQ(SplayReadLine(stream.get(), buf, 7), 0u);
    EXPECT_STREQ(buf, "");
    SplayFree();
}

TEST(SplayCode, StreamCutInsideACodeEndsTheText) {
    std::string packed = SplayPack("abc");
    packed.resize(1);
    BufStreamPtr stream(StreamOpen(nullptr, 0, packed.data(), packed.size()));
    ASSERT_EQ(SplayInit(), 1);
    int values = 0;
    while (SplayDecodeByte(stream.get()) >= 0 && values < 16) ++values;
    EXPECT_LT(values, 16);
    EXPECT_EQ(SplayDecodeByte(stream.get()), -1);
    SplayFree();
}

struct SplitCase {
    const char* line;
    std::vector<std::string> tokens;
};

TEST(SplitIniLine, CutsAtBlanksCommasAndTheFirstEquals) {
    const SplitCase cases[] = {
        {"key=value", {"key", "value"}},
        {"key = value", {"key", "value"}},
        {"key =value", {"key", "value"}},
        {"key= value", {"key", "value"}},
        {"a=b=c", {"a", "b=c"}},
        {"= value", {"value"}},
        {"=", {"="}},
        {"a, b ,c", {"a", "b", "c"}},
        {"  \t ", {}},
        {"", {}},
        {"; comment only", {}},
        {"one ; two", {"one"}},
        {"x;y", {"x"}},
        {"\"quoted, with = and ; inside\" after", {"quoted, with = and ; inside", "after"}},
        {"\"unterminated quote", {"unterminated quote"}},
        {"\"\"", {""}},
        {"\x7fTarvoUnixDaemon\x7f", {"\x7fTarvoUnixDaemon\x7f"}},
    };
    for (const SplitCase& c : cases) {
        std::string line = c.line;
        std::vector<char> buf(line.begin(), line.end());
        buf.push_back('\0');
        char* tokens[kIniLineTokens];
        int n = SplitIniLine(tokens, buf.data());
        std::vector<std::string> got(tokens, tokens + n);
        EXPECT_EQ(got, c.tokens) << '"' << c.line << '"';
    }
}

TEST(SplitIniLine, KeepsAtMost64Tokens) {
    std::string line;
    for (int i = 0; i < 100; ++i) line += "t" + std::to_string(i) + " ";
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    char* tokens[kIniLineTokens];
    ASSERT_EQ(SplitIniLine(tokens, buf.data()), kIniLineTokens);
    EXPECT_STREQ(tokens[63], "t63");
}

} // namespace
