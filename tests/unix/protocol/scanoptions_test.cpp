// The option words of a scan request, the settings they make, and the mail envelope.

#include <gtest/gtest.h>
#include <string>

#include "base/bufstream.h"
#include "shell/scan/nameformat.h"
#include "tests/unix/logcapture.h"
#include "tests/unix/peer.h"
#include "unix/config/daemonsettings.h"
#include "unix/protocol/mailenvelope.h"
#include "unix/protocol/scanoptions.h"

namespace {

// Runs `read` on our end of a socket pair while a peer sends `bytes` and closes.
template <typename Read> int ReadFrom(const std::string& bytes, Read read, TimeBudget budget = 5000) {
    SocketPair pair;
    const pid_t peer = StartPeer(pair, [&](int fd) {
        PeerWrite(fd, bytes);
        return 0;
    });
    const int result = read(pair.ours, budget);
    pair.CloseOurs();
    WaitPeer(peer);
    return result;
}

TEST(ScanOptionsTest, WordsAsEachAsksForTheNext) {
    const struct {
        const char* name;
        std::string bytes;
        int result;
        ScanRequestOptions expected;
    } cases[] = {
        {"OPT1 only", Word(0x7FFFFFFF) + Word(99), 0, {0x7FFFFFFF, 0, 0, false, 0, false, 0}},
        {"OPT2 without OPT3",
         Word(0x80000000) + Word(0x7FFFFFFF),
         0,
         {0x80000000, 0x7FFFFFFF, 0, false, 0, false, 0}},
        {"OPT3 without words",
         Word(0x80000000) + Word(0x80000000) + Word(0x1),
         0,
         {0x80000000, 0x80000000, 1, false, 0, false, 0}},
        {"client type and time-out",
         Word(0x80000000) + Word(0x80000000) + Word(6) + Word(4) + Word(0xFFFFFFFB),
         0,
         {0x80000000, 0x80000000, 6, true, 4, true, -5}},
        {"time-out only",
         Word(0x80000000) + Word(0x80000000) + Word(4) + Word(0),
         0,
         {0x80000000, 0x80000000, 4, false, 0, true, 0}},
        {"OPT2 missing", Word(0x80000000), -1, {}},
        {"time-out missing", Word(0x80000000) + Word(0x80000000) + Word(6) + Word(4), -1, {}},
        {"nothing", "", -1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScanRequestOptions options;
        const int result = ReadFrom(c.bytes, [&](int fd, TimeBudget& budget) {
            return ReadScanOptions(fd, budget, false, &options);
        });
        EXPECT_EQ(result, c.result);
        if (result != 0) continue;
        EXPECT_EQ(options.opt1, c.expected.opt1);
        EXPECT_EQ(options.opt2, c.expected.opt2);
        EXPECT_EQ(options.opt3, c.expected.opt3);
        EXPECT_EQ(options.hasClientType, c.expected.hasClientType);
        EXPECT_EQ(options.clientType, c.expected.clientType);
        EXPECT_EQ(options.hasTimeout, c.expected.hasTimeout);
        EXPECT_EQ(options.timeout, c.expected.timeout);
    }
}

TEST(ScanOptionsTest, ClientTimeOutLastsForTheRequest) {
    LogCapture log;
    FileTimeout = 30;
    ScanRequestOptions options;
    options.hasTimeout = true;
    for (int32_t timeout : {0, 7}) {
        options.timeout = timeout;
        {
            ScanTimeoutScope scope(options);
            EXPECT_EQ(FileTimeout, timeout);
        }
        EXPECT_EQ(FileTimeout, 30);
    }
    options.timeout = -5;
    {
        ScanTimeoutScope scope(options);
        EXPECT_EQ(FileTimeout, 30);
    }
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], "Invalid value for scan timeout was passed from client\n");
}

class RequestSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedRecode = RecodeNonprintable;
        RecodeNonprintableAtFirstRequest = -1;
    }
    void TearDown() override {
        RecodeNonprintable = savedRecode;
        RecodeNonprintableAtFirstRequest = -1;
    }
    TarvoMainSettings settings;
    int savedRecode = 0;
};

TEST_F(RequestSettingsTest, ActionsFromTheOptionBits) {
    const struct {
        uint32_t opt1, opt2;
        int word;
        uint32_t value;
    } cases[] = {
        {1u << 3, 0, kModeWord, 1},
        {0, 0, kModeWord, 0},
        {1u << 6, 0, kInfectedActionWord, kActionCure},
        {1u << 9, 0, kInfectedActionWord, kActionDelete},
        {1u << 8, 0, kInfectedActionWord, kActionRename},
        {1u << 7, 0, kInfectedActionWord, kActionMove},
        {(1u << 6) | (1u << 9), 0, kInfectedActionWord, kActionCure | kActionDelete},
        {1u << 15, 0, kSuspiciousActionWord, kActionDelete},
        {1u << 14, 0, kSuspiciousActionWord, kActionRename},
        {1u << 13, 0, kSuspiciousActionWord, kActionMove},
        {1u << 12, 0, kIncurableActionWord, kActionDelete},
        {1u << 11, 0, kIncurableActionWord, kActionRename},
        {1u << 10, 0, kIncurableActionWord, kActionMove},
        {1u << 18, 0, kContainerActionWord, kActionDelete},
        {1u << 17, 0, kContainerActionWord + 1, kActionRename},
        {1u << 16, 0, kContainerActionWord + 2, kActionMove},
        {0, 1u << 1, kAdwareActionWord, kActionLeaveAlone},
        {0, 1u << 2, kAdwareActionWord, kActionMove},
        {0, 1u << 3, kAdwareActionWord, kActionRename},
        {0, 1u << 4, kAdwareActionWord, kActionDelete},
        {0, 1u << 5, kDialerActionWord, kActionLeaveAlone},
        {0, 1u << 12, kJokeActionWord, kActionDelete},
        {0, 1u << 13, kRiskwareActionWord, kActionLeaveAlone},
        {0, 1u << 20, kHacktoolActionWord, kActionDelete},
        {0, 0, kJokeActionWord, 0}, // the request decides: no bits, no action
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.opt1) + "/" + std::to_string(c.opt2) + " word " +
                     std::to_string(c.word));
        ApplyRequestSettings(settings, c.opt1, c.opt2);
        EXPECT_EQ(settings.word[c.word], c.value);
    }
    ApplyRequestSettings(settings, 1u << 18, 0);
    EXPECT_EQ(settings.word[kContainerActionWord + 1], kActionDelete);
    EXPECT_EQ(settings.word[kContainerActionWord + 2], kActionDelete);
    EXPECT_EQ(settings.word[kInfectedActionWord], 0u);
}

TEST_F(RequestSettingsTest, SwitchesChangeOnlyWhenAsked) {
    ApplyRequestSettings(settings, 0, 0);
    EXPECT_EQ(settings.word[kArchivesWord], 1u);
    EXPECT_EQ(settings.word[kMailFilesWord], 1u);
    ApplyRequestSettings(settings, 0, kOpt2ArchivesOff | kOpt2MailFilesOff);
    EXPECT_EQ(settings.word[kArchivesWord], 0u);
    EXPECT_EQ(settings.word[kMailFilesWord], 0u);
    ApplyRequestSettings(settings, 0, 0);
    EXPECT_EQ(settings.word[kArchivesWord], 0u);
    ApplyRequestSettings(settings, 0, kOpt2ArchivesOn | kOpt2MailFilesOn);
    EXPECT_EQ(settings.word[kArchivesWord], 1u);
    EXPECT_EQ(settings.word[kMailFilesWord], 1u);
}

TEST_F(RequestSettingsTest, RecodeSwitchStartsFromTheFirstRequest) {
    RecodeNonprintable = 1;
    ApplyRequestSettings(settings, 0, kOpt2RecodeOff);
    EXPECT_EQ(RecodeNonprintable, 0);
    ApplyRequestSettings(settings, 0, 0);
    EXPECT_EQ(RecodeNonprintable, 1);
    RecodeNonprintable = 0;
    ApplyRequestSettings(settings, 0, 0);
    EXPECT_EQ(RecodeNonprintable, 1);
    ApplyRequestSettings(settings, 0, kOpt2RecodeOff | kOpt2RecodeOn);
    EXPECT_EQ(RecodeNonprintable, 0);
}

std::string Text(const std::string& text) {
    return Word(static_cast<uint32_t>(text.size())) + text;
}

TEST(MailEnvelopeTest, SenderAndRecipients) {
    LogCapture log;
    ClearMailEnvelope();
    const std::string bytes =
        Text("a@example.org") + Word(2) + Text("b@example.org") + Text(std::string("c@x\0", 4));
    EXPECT_EQ(ReadFrom(bytes, [](int fd, TimeBudget& budget) { return ReadMailEnvelope(fd, budget, false); }),
              0);
    EXPECT_EQ(EnvelopeSender, "a@example.org");
    ASSERT_EQ(EnvelopeRecipients.Count(), 2u);
    EXPECT_STREQ(static_cast<const char*>(EnvelopeRecipients.GetAt(0)), "b@example.org");
    EXPECT_STREQ(static_cast<const char*>(EnvelopeRecipients.GetAt(1)), "c@x");
    EXPECT_TRUE(log.Lines().empty());
    ClearMailEnvelope();
    EXPECT_TRUE(EnvelopeSender.empty());
    EXPECT_EQ(EnvelopeRecipients.Count(), 0u);
}

TEST(MailEnvelopeTest, FailuresEndTheRequest) {
    const struct {
        const char* name;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"no sender length", "", "Error reading envelope data (From)!"},
        {"sender cut short", Word(10) + "abc", "Error reading envelope data (From)!"},
        {"sender too long", Word(0xFFFFFFF0), "Cannot allocate memory for envelope data (From size -16)!"},
        {"sender over the text limit", Word(kMaxEnvelopeText + 1),
         "Cannot allocate memory for envelope data (From size 4097)!"},
        {"no count", Text("a"), "Error reading envelope data (To)!"},
        {"recipient missing", Text("a") + Word(3) + Text("b"), "Error reading envelope data (To)!"},
        {"recipient too long", Text("a") + Word(1) + Word(1u << 30),
         "Cannot allocate memory for envelope data (To size 1073741824)!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        ClearMailEnvelope();
        EXPECT_EQ(
            ReadFrom(c.bytes, [](int fd, TimeBudget& budget) { return ReadMailEnvelope(fd, budget, false); }),
            -1);
        ASSERT_FALSE(log.Lines().empty());
        EXPECT_EQ(log.Lines().back(), c.message + "\n");
    }
}

TEST(MailEnvelopeTest, AllTextsTogetherAreBounded) {
    LogCapture log;
    ClearMailEnvelope();
    const std::string full(kMaxEnvelopeText, 'r');
    std::string bytes = Text("a") + Word(kMaxEnvelopeTotal / kMaxEnvelopeText + 1);
    for (uint32_t i = 0; i <= kMaxEnvelopeTotal / kMaxEnvelopeText; ++i) bytes += Text(full);
    EXPECT_EQ(ReadFrom(bytes, [](int fd, TimeBudget& budget) { return ReadMailEnvelope(fd, budget, false); }),
              -1);
    EXPECT_EQ(log.Lines().back(), "Cannot allocate memory for envelope data (To size 4096)!\n");
    ClearMailEnvelope();
}

// Empty recipients cost their length words: an endless count of them ends within the bound. A
// bound of the test's own keeps the count of reads small, and the wait has no time budget that a
// slow machine could exhaust first (the peer's end closes after the last byte).
TEST(MailEnvelopeTest, EmptyRecipientsCountTowardsTheBound) {
    struct Limit {
        Limit() { EnvelopeTotalLimit = 64 * 1024; }
        ~Limit() { EnvelopeTotalLimit = kMaxEnvelopeTotal; }
    } limit;
    LogCapture log;
    ClearMailEnvelope();
    const uint32_t fit = (EnvelopeTotalLimit - 5) / 4; // after the sender "a", its word and its byte
    const std::string bytes = Text("a") + Word(0xFFFFFFFFu) + std::string(4 * (fit + 1), '\0');
    EXPECT_EQ(ReadFrom(
                  bytes, [](int fd, TimeBudget& budget) { return ReadMailEnvelope(fd, budget, false); },
                  kUnlimitedBudget),
              -1);
    EXPECT_EQ(EnvelopeRecipients.Count(), fit);
    EXPECT_EQ(log.Lines().back(), "Cannot allocate memory for envelope data (To size 0)!\n");
    ClearMailEnvelope();
}

int64_t EnvelopeEnd(const std::string& text) {
    std::string copy = text;
    BufStreamPtr stream(StreamOpen(nullptr, 0, copy.data(), copy.size()));
    return FindEnvelopeEnd(stream.get());
}

TEST(MailEnvelopeTest, EnvelopeLinesUpToTheEmptyLine) {
    const std::string envelope = "P I 12-05-2004 <sender@example.org>\r\n"
                                 "O L\r\n"
                                 "R E <rcpt@example.org>\r\n"
                                 "\r\n";
    const struct {
        const char* name;
        std::string text;
        int64_t end;
    } cases[] = {
        {"envelope", envelope + "From: a\r\n\r\nbody\r\n", static_cast<int64_t>(envelope.size())},
        {"folded first line", "P I 12-05-2004\n\t <sender@example.org>\nO L\n\nFrom: a\n", 43},
        {"bare LF", "P x<a>\n\nmessage", 8},
        {"no envelope", "From: a\r\n\r\nbody\r\n", -1},
        {"no empty line after it", "P x<a>\nO L\n", -1},
        {"lower-case p", "p x<a>\n\nmessage", -1},
        {"a lone line end", "\n", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EnvelopeEnd(c.text), c.end);
    }
    EXPECT_EQ(FindEnvelopeEnd(nullptr), -1);
}

// Whether a file begins with an envelope shows in its first folded line: a file whose lines are
// endless is not read further than that line needs, and long lines still get the right answer.
TEST(MailEnvelopeTest, ReadsNoMoreThanTheFirstFoldedLineNeeds) {
    const std::string endless(1 << 20, 'x');
    std::string foldedBlanks = "From: a\n";
    while (foldedBlanks.size() < endless.size()) foldedBlanks += " \n";
    const std::string longEnvelope = "P x<a>\nO " + endless + "\n\n";
    const std::string longFolded = "P x\n\t<a>" + endless + "\n\n";
    const struct {
        const char* name;
        std::string text;
        int64_t end;
        bool bounded; // no more than the first folded line's bytes read
    } cases[] = {
        {"no line end at all", endless, -1, true},
        {"second line without an end", "MZ\x90\x03\n" + endless, -1, true},
        {"second line folded, without an end", "MZ\n " + endless, -1, true},
        {"endless folded blank lines", foldedBlanks, -1, true},
        {"first line longer than the bound", "P " + endless + "<a>\n\nmessage", -1, true},
        {"envelope with a long line", longEnvelope + "message", static_cast<int64_t>(longEnvelope.size()),
         false},
        {"long folded first line", longFolded + "message", static_cast<int64_t>(longFolded.size()), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string copy = c.text;
        BufStreamPtr stream(StreamOpen(nullptr, 0, copy.data(), copy.size()));
        EXPECT_EQ(FindEnvelopeEnd(stream.get()), c.end);
        if (c.bounded) {
            EXPECT_LE(stream->position, static_cast<int64_t>(kMaxEnvelopeLine));
        }
    }
}

} // namespace
