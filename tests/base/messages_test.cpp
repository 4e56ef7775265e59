#include "base/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include "base/version.h"

namespace {

struct GoldenText {
    uint32_t number;
    const char* text;
};

// The listed texts, byte for byte, kept apart from the table in base/.
const GoldenText kGolden[] = {
#include "message_golden.inc"
};

class MessageCatalogueTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, CreateMessageCatalogue()); }
    void TearDown() override { FreeMessageCatalogue(); }
};

TEST_F(MessageCatalogueTest, EveryListedTextIsLoadedByteForByte) {
    ASSERT_EQ(221u, MessageCount());
    std::map<uint32_t, std::string> listed;
    for (const GoldenText& g : kGolden) listed[g.number] = g.text;
    ASSERT_EQ(124u, listed.size());
    for (const auto& [n, text] : listed) EXPECT_EQ(text, MessageCatalogue[n]) << "message " << n;
    for (uint32_t n = 0; n < kMessageCount; ++n) {
        EXPECT_EQ(MessageCatalogue[n], MessageText(n));
        if (listed.count(n) || (n >= 1 && n <= 4)) continue;
        EXPECT_STREQ("", MessageCatalogue[n]) << "message " << n;
    }
}

TEST_F(MessageCatalogueTest, BlanksAtTheEndsAreKept) {
    EXPECT_STREQ(" - is a link, skipped", MessageCatalogue[128]);
    EXPECT_STREQ("            tarvod [options]", MessageCatalogue[79]);
    EXPECT_STREQ(" number %d", MessageCatalogue[192]);
    EXPECT_STREQ("A notification sending is failed - %s !", MessageCatalogue[194]);
}

TEST_F(MessageCatalogueTest, BannerLinesNameTheProgramAndFitTheirBuffers) {
    for (uint32_t n = 1; n <= 4; ++n) {
        std::string text = MessageCatalogue[n];
        EXPECT_FALSE(text.empty()) << n;
        EXPECT_LT(std::strlen(DefaultMessages[n].text), kMessageBufferSize) << n;
        EXPECT_EQ(std::string::npos, text.find('%')) << n;
    }
    EXPECT_NE(std::string::npos, std::string(MessageCatalogue[1]).find("tarvod"));
    EXPECT_NE(std::string::npos, std::string(MessageCatalogue[3]).find(FullVersionText));
}

TEST_F(MessageCatalogueTest, BannerLineOneEndsWithTheCurrentYear) {
    time_t now = std::time(nullptr);
    struct tm utc;
    ASSERT_NE(nullptr, gmtime_r(&now, &utc));
    std::string expected = "1992-" + std::to_string(utc.tm_year + 1900);
    std::string line = MessageCatalogue[1];
    ASSERT_GE(line.size(), expected.size());
    EXPECT_EQ(expected, line.substr(line.size() - expected.size()));
}

TEST_F(MessageCatalogueTest, StartupExpansionOfBannerAndTitle) {
    for (uint32_t n : {0u, 1u, 6u}) ExpandVersionTemplate(MessageCatalogue[n], MessageCatalogue[n]);
    EXPECT_EQ(std::string("Tarvo (R) daemon for ") + EditionText + " v6.0.2.1", MessageCatalogue[0]);
    EXPECT_EQ(std::string("Tarvo for ") + EditionText, MessageCatalogue[6]);
}

TEST_F(MessageCatalogueTest, ReloadRestoresTheBuiltInTexts) {
    std::strcpy(MessageCatalogue[7], "changed");
    LoadDefaultMessages();
    EXPECT_STREQ("Yes", MessageCatalogue[7]);
}

TEST(MessageCatalogueLife, FreeTwiceAndTextsWithoutACatalogue) {
    ASSERT_EQ(1, CreateMessageCatalogue());
    ASSERT_NE(nullptr, MessageCatalogue);
    FreeMessageCatalogue();
    EXPECT_EQ(nullptr, MessageCatalogue);
    FreeMessageCatalogue();
    EXPECT_EQ(nullptr, MessageCatalogue);
    EXPECT_STREQ("", MessageText(7));
    ASSERT_EQ(1, CreateMessageCatalogue());
    EXPECT_STREQ("", MessageText(kMessageCount));
    FreeMessageCatalogue();
}

time_t UtcTime(int year, int month, int day) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    return timegm(&t);
}

TEST(YearPatch, WritesTheYearAfterTheRangeAndEndsThere) {
    struct Case {
        const char* text;
        time_t now;
        const char* expected;
    } cases[] = {
        {"Copyright (C) x, 1992-2009", UtcTime(2026, 6, 1), "Copyright (C) x, 1992-2026"},
        {"(C) 1992-2009 and whatever follows", UtcTime(1999, 12, 31), "(C) 1992-1999"},
        {"1992-", UtcTime(2037, 1, 1), "1992-2037"},
        {"1992 without a dash", UtcTime(2026, 6, 1), "1992 without a dash"},
        {"1992-2000, 1992-2001", UtcTime(2010, 1, 1), "1992-2010"},
    };
    for (const Case& c : cases) {
        char buf[kMessageBufferSize] = {};
        std::strcpy(buf, c.text);
        ApplyYearPatch(buf, sizeof buf, c.now);
        EXPECT_STREQ(c.expected, buf) << c.text;
    }
}

TEST(YearPatch, StaysInsideASmallBuffer) {
    char buf[10] = "ab 1992-";
    buf[9] = 'Z'; // must survive
    ApplyYearPatch(buf, 9, UtcTime(2026, 1, 1));
    EXPECT_STREQ("ab 1992-", buf); // one byte of room: only the terminator
    EXPECT_EQ('Z', buf[9]);
}

TEST(VersionTemplate, Letters) {
    const std::string ed = EditionText;
    struct Case {
        const char* src;
        std::string expected;
    } cases[] = {
        {"%p|%t", ed + "|" + ed},
        {"%v.%s%f%b", "6.00.2.0"},
        {"%y-%m-%d", "2009-02-02"},
        {"v%V", "v6.0.2.1"},
        {"%%p", "%" + ed},
        {"%q%V", "%q6.0.2.1"},
        {"100%", "100%"},
        {"%d%%", "02%%"},
        {"no letters", "no letters"},
        {"", ""},
        {"%P %x %", "%P %x %"},
    };
    for (const Case& c : cases) {
        char buf[kMessageBufferSize] = {};
        ExpandVersionTemplate(buf, c.src);
        EXPECT_EQ(c.expected, buf) << c.src;
        std::strcpy(buf, c.src);
        ExpandVersionTemplate(buf, buf);
        EXPECT_EQ(c.expected, buf) << "in place: " << c.src;
    }
}

TEST(VersionTemplate, ResultIsCutAt127Characters) {
    char buf[kMessageBufferSize + 8];
    std::memset(buf, 'Z', sizeof buf);
    std::string src;
    while (src.size() < 120) src += "%V"; // 60 letters of 7 characters each
    std::strcpy(buf, src.c_str());
    ExpandVersionTemplate(buf, buf);
    EXPECT_EQ(127u, std::strlen(buf));
    EXPECT_EQ(0, std::strncmp(buf, "6.0.2.16.0.2.1", 14));
    for (size_t i = kMessageBufferSize; i < sizeof buf; ++i) EXPECT_EQ('Z', buf[i]);

    char small[5];
    ExpandVersionTemplate(small, "%V", sizeof small);
    EXPECT_STREQ("6.0.", small);
}

} // namespace
