#include "base/logwriter.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "base/consolevideo.h"
#include "base/outputmode.h"
#include "log_fixture.h"
#include "stdout_capture.h"

namespace {

using LogLineTest = LogTest;

TEST_F(LogLineTest, RecordHasTimeStampThenClientPrefixThenLine) {
    LogTime = 1;
    LogClientType = 1;
    PrintMessage("%s ", "object");
    PrintMessage("infected by %s #%d", "Test", 7);
    EndMessageLine(0);
    EXPECT_EQ(Log(), "Fri Feb 13 23:31:30 2009 <mail>: object infected by Test #7\n");

    LogTime = 0;
    LogClientType = 0;
    PrintMessage("plain\n");
    EndMessageLine(0);
    EXPECT_EQ(Log(), "Fri Feb 13 23:31:30 2009 <mail>: object infected by Test #7\nplain\n");
}

TEST_F(LogLineTest, ClientPrefixByType) {
    const struct {
        int type;
        const char* prefix;
    } cases[] = {
        {0, ""},
        {1, "<mail>: "},
        {2, "<web>: "},
        {3, "<smb_glivor>: "},
        {4, "<tarvodc>: "},
        {5, "<kerio>: "},
        {6, "<lotus>: "},
        {7, ""},
        {-1, ""},
    };
    for (const auto& c : cases) EXPECT_STREQ(ClientLogPrefix(c.type), c.prefix) << c.type;
}

TEST_F(LogLineTest, LineEndsAreSqueezedAndBareLineEndsDropped) {
    PrintMessage("a\n\n\nb");
    EndMessageLine(0); // the line end is added
    EndMessageLine(0); // nothing pending
    PrintMessage("\n");
    EndMessageLine(0);
    PrintMessage("\r\n");
    EndMessageLine(0);
    EXPECT_EQ(Log(), "a\nb\n\r\n");
}

TEST_F(LogLineTest, LongMessageIsSplitIntoLines) {
    PrintMessage("%s", std::string(10000, 'x').c_str());
    EndMessageLine(0);
    EXPECT_EQ(Log(), std::string(8191, 'x') + "\n" + std::string(10000 - 8191, 'x') + "\n");
}

TEST_F(LogLineTest, FormattedPieceIsCutAtItsBuffer) {
    PrintMessage("%s", std::string(20000, 'y').c_str());
    EndMessageLine(0);
    // 16382 characters and a terminator: two full lines.
    const std::string line = std::string(8191, 'y') + "\n";
    EXPECT_EQ(Log(), line + line);
}

TEST_F(LogLineTest, RecordLineReplacesThePendingLineAndIsCut) {
    PrintMessage("dropped ");
    PrintRecordLine("%s", std::string(10000, 'n').c_str());
    PrintMessage(" tail");
    EndMessageLine(0);
    // Cut to the longest line, so the appended piece starts a line of its own.
    EXPECT_EQ(Log(), std::string(8191, 'n') + "\n tail\n");
}

TEST_F(LogLineTest, RecordPiecesMakeTheLineThatFormattingThemMakes) {
    const std::string longName(10000, 'n');
    const struct {
        const char* a;
        const char* b;
        const char* c;
    } cases[] = {
        {"[12] ", ">>", "msg.eml/Part 1"},
        {"", "", ""},
        {"", "", longName.c_str()},
        {"prefix ", ">", longName.c_str()},
    };
    for (const auto& c : cases) {
        const size_t before = Log().size();
        PrintMessage("dropped ");
        PrintRecordLine("%s%s%s", c.a, c.b, c.c);
        PrintMessage(" tail");
        EndMessageLine(0);
        const std::string formatted = Log().substr(before);
        PrintMessage("dropped ");
        PrintRecordPieces({c.a, c.b, c.c});
        PrintMessage(" tail");
        EndMessageLine(0);
        EXPECT_EQ(Log().substr(before + formatted.size()), formatted) << c.a << c.b;
    }
    const size_t before = Log().size();
    ConsoleActive = 0;
    PrintMessage("kept ");
    PrintRecordPieces({"ignored"});
    EndMessageLine(0);
    EXPECT_EQ(Log().substr(before), "kept \n");
}

TEST_F(LogLineTest, MessagePiecesMakeTheTextThatFormattingThemMakes) {
    const std::string longText(20000, 'p');
    const struct {
        const char* a;
        const char* b;
    } cases[] = {
        {" - ", "clean"},
        {"", ""},
        {" - ", longText.c_str()},
        {longText.c_str(), "cut away"},
    };
    for (const auto& c : cases) {
        const size_t before = Log().size();
        PrintMessage("head");
        PrintMessage("%s%s", c.a, c.b);
        EndMessageLine(0);
        const std::string formatted = Log().substr(before);
        PrintMessage("head");
        PrintMessagePieces({c.a, c.b});
        EndMessageLine(0);
        EXPECT_EQ(Log().substr(before + formatted.size()), formatted) << c.a << c.b;
    }
}

TEST_F(LogLineTest, RecordLineNeedsActiveConsoleOrRecordSwitch) {
    ConsoleActive = 0;
    PrintMessage("kept ");
    PrintRecordLine("ignored");
    EndMessageLine(0);
    RecordLineSwitch = 1;
    PrintMessage("dropped ");
    PrintRecordLine("record");
    EndMessageLine(0);
    EXPECT_EQ(Log(), "kept \nrecord\n");
}

TEST_F(LogLineTest, ConsoleClearLineDropsPendingPieces) {
    PrintMessage("name ");
    ConsoleClearLine(0);
    PrintMessage("ok");
    EndMessageLine(0);
    EXPECT_EQ(Log(), "ok\n");
}

TEST_F(LogLineTest, LogLineIsWrittenInPiecesWhenItOverflows) {
    LogPutText(std::string(20000, 'z').c_str());
    FlushLogLine();
    EXPECT_EQ(Log(), std::string(20000, 'z'));
    // The first record went out when the line was full.
    LogTime = 1;
    ClearLogBuffers();
    std::remove(LogPath().c_str());
    LogPutText(std::string(16385, 'z').c_str());
    FlushLogLine();
    const std::string stamp = "Fri Feb 13 23:31:30 2009 ";
    EXPECT_EQ(Log(), stamp + std::string(16384, 'z') + stamp + "z");
}

TEST_F(LogLineTest, LogPutTextDropsColourEscapes) {
    LogPutText("A\001\014B\001");
    LogPutText("C\n");
    FlushLogLine();
    EXPECT_EQ(Log(), "ABC\n");
}

TEST_F(LogLineTest, NothingIsLoggedWithLoggingOff) {
    ASSERT_EQ(OpenConsoleVideo(), 0);
    StdoutCapture out;
    LogToFile = 0;
    PrintMessage("hidden\n");
    EndMessageLine(0);
    LogPutText("direct\n");
    FlushLogLine();
    LogErrorf("error");
    EXPECT_EQ(out.Stop(), "");
    EXPECT_EQ(Log(), "");
    LogToSyslog = 1;
    PrintMessage("hidden\n");
    EndMessageLine(0);
    EXPECT_TRUE(SyslogCalls().empty());
}

TEST_F(LogLineTest, LogLinesAreRecodedToWindows1251OnlyInTheLog) {
    ASSERT_EQ(OpenConsoleVideo(), 0);
    StdoutCapture out;
    LogEncoding = LogEncodingWin1251;
    PrintMessage("\xC1\xE1 \x80\xA3\n");
    EndMessageLine(0);
    EXPECT_EQ(out.Stop(), "\xC1\xE1 \x80\xA3\n");
    EXPECT_EQ(Log(), "\xE0\xC0 \x2D\xB8\n");
}

TEST_F(LogLineTest, ErrorLinesCarryTheEditionAndGoOutAtOnce) {
    PrintMessage("pending ");
    LogErrorf("cannot open %s", "x.vdb");
    EXPECT_EQ(Log(), "pending Tarvo/Linux: cannot open x.vdb\n");
}

TEST_F(LogLineTest, ErrorTextIsCut) {
    LogErrorf("%s", std::string(5000, 'e').c_str());
    EXPECT_EQ(Log(), "Tarvo/Linux: " + std::string(4095, 'e') + "\n");
}

TEST_F(LogLineTest, InternalErrorIsFiveLines) {
    ReportInternalError("Internal error", "shell/virbase", "10:42:10", 77);
    EXPECT_EQ(Log(), "Tarvo/Linux: * App  : tarvod v6.0.2\n"
                     "Tarvo/Linux: * Error: Internal error\n"
                     "Tarvo/Linux: * File : shell/virbase\n"
                     "Tarvo/Linux: * Time : 10:42:10\n"
                     "Tarvo/Linux: * Line : 77\n");
}

TEST_F(LogLineTest, FlushKeepsTheCallersSignalMask) {
    sigset_t alarm, before, after;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    ASSERT_EQ(sigprocmask(SIG_BLOCK, &alarm, &before), 0);
    PrintMessage("inside a critical section\n");
    EndMessageLine(0);
    ASSERT_EQ(sigprocmask(SIG_SETMASK, &before, &after), 0);
    EXPECT_EQ(sigismember(&after, SIGALRM), 1) << "the flush unblocked SIGALRM";

    PrintMessage("outside\n");
    EndMessageLine(0);
    ASSERT_EQ(sigprocmask(SIG_SETMASK, nullptr, &after), 0);
    EXPECT_EQ(sigismember(&after, SIGALRM), sigismember(&before, SIGALRM));
    EXPECT_EQ(Log(), "inside a critical section\noutside\n");
}

// A hold keeps its lines, with the time each was made, until it ends; then they go where the
// settings of that moment say, whatever the settings were while they were made.
time_t SteppingClock() {
    static time_t now = 1234567890;
    return now += 60;
}

TEST_F(LogLineTest, HeldLinesGoWhereTheSettingsSayWhenTheHoldEnds) {
    PrintMessage("before\n");
    EndMessageLine(0);
    LogTime = 1;
    LogClock = SteppingClock;
    HoldLogLines();
    PrintMessage("read under the file settings\n");
    EndMessageLine(0);
    // Settings read half-way through: syslog, then logging off.
    LogToSyslog = 1;
    PrintMessage("under syslog ");
    LogErrorf("the reason");
    LogToFile = 0;
    PrintMessage("with logging off\n");
    EndMessageLine(0);
    EXPECT_EQ(Log(), "before\n") << "nothing written during the hold";
    EXPECT_TRUE(SyslogCalls().empty());

    LogToFile = 1;
    LogToSyslog = 0;
    WriteHeldLogLines();
    EXPECT_EQ(Log(), "before\n"
                     "Fri Feb 13 23:32:30 2009 read under the file settings\n"
                     "Fri Feb 13 23:33:30 2009 under syslog Tarvo/Linux: the reason\n"
                     "Fri Feb 13 23:34:30 2009 with logging off\n");
    EXPECT_TRUE(SyslogCalls().empty());

    // The hold is over: the next line goes out at once.
    PrintMessage("after\n");
    EndMessageLine(0);
    EXPECT_NE(Log().find("after\n"), std::string::npos);
}

TEST_F(LogLineTest, HeldLinesFollowTheTargetOfTheEndOrAreForgotten) {
    HoldLogLines();
    PrintMessage("one\n");
    EndMessageLine(0);
    LogToSyslog = 1;
    WriteHeldLogLines();
    ASSERT_EQ(SyslogCalls().size(), 1u);
    EXPECT_EQ(SyslogCalls()[0].line, "one\n");

    HoldLogLines();
    PrintMessage("two\n");
    EndMessageLine(0);
    LogToFile = 0;
    WriteHeldLogLines();
    LogToFile = 1;

    // A process forked during a hold leaves the lines to its parent.
    HoldLogLines();
    PrintMessage("three\n");
    EndMessageLine(0);
    ForgetHeldLogLines();
    WriteHeldLogLines();
    PrintMessage("four\n");
    EndMessageLine(0);
    ASSERT_EQ(SyslogCalls().size(), 2u);
    EXPECT_EQ(SyslogCalls()[1].line, "four\n");
    EXPECT_EQ(Log(), "");
}

// Syslog, through the seam.

using SyslogTest = LogTest;

// What the program starts with, read at static initialisation, before any fixture sets its own values.
const int kStartLogToSyslog = LogToSyslog;
const std::string kStartLogFileName = LogFileName;
const int kStartFacility = SyslogFacility;
const int kStartPriority = SyslogPriority;

TEST_F(SyslogTest, LinesGoToSyslogWithFacilityPriorityAndPrefix) {
    LogToSyslog = 1;
    SyslogFacility = 16; // mail
    SyslogPriority = 3;  // error
    LogClientType = 5;
    LogTime = 1;
    PrintMessage("found %s\n\n", "Eicar");
    EndMessageLine(0);
    PrintMessage("\n");
    EndMessageLine(0);
    ASSERT_EQ(SyslogCalls().size(), 1u);
    EXPECT_EQ(SyslogCalls()[0].priority, 16 | 3);
    EXPECT_EQ(SyslogCalls()[0].prefix, "<kerio>: ");
    EXPECT_EQ(SyslogCalls()[0].line, "found Eicar\n"); // no time stamp
    EXPECT_EQ(Log(), "");
}

TEST_F(SyslogTest, DefaultsAreDaemonAndAlert) {
    EXPECT_EQ(kStartLogToSyslog, 1);
    EXPECT_EQ(kStartLogFileName, "/var/tarvo/log/tarvo.log");
    EXPECT_EQ(kStartFacility, 3 << 3) << "the daemon facility";
    EXPECT_EQ(kStartPriority, 1) << "the alert priority";
}

// The report list.

struct ReportCase {
    const char* name;
    int syslog;
    int collect;
};

void PrintTo(const ReportCase& c, std::ostream* os) {
    *os << c.name;
}

class ReportListTest : public LogTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ReportListTest, OnlyACollectingProcessKeepsLines) {
    LogToSyslog = GetParam().syslog;
    CollectReportLines = GetParam().collect;
    LogClientType = 1;
    for (int i = 0; i < 3; ++i) {
        PrintMessage("line %d", i);
        EndMessageLine(0);
    }
    PrintMessage("\n");
    EndMessageLine(0);
    std::vector<std::string> expected;
    if (GetParam().collect) expected = {"line 0\n", "line 1\n", "line 2\n"};
    EXPECT_EQ(ReportLines(), expected);
    // Both roads still log every line.
    if (GetParam().syslog)
        EXPECT_EQ(SyslogCalls().size(), 3u);
    else
        EXPECT_EQ(Log(), "<mail>: line 0\n<mail>: line 1\n<mail>: line 2\n");
}

INSTANTIATE_TEST_SUITE_P(Modes, ReportListTest,
                         ::testing::Values(ReportCase{"FileMaster", 0, 0}, ReportCase{"FileChild", 0, 1},
                                           ReportCase{"SyslogMaster", 1, 0}, ReportCase{"SyslogChild", 1, 1}),
                         [](const ::testing::TestParamInfo<ReportCase>& info) { return info.param.name; });

// The console in its output modes.

struct ConsoleCase {
    const char* name;
    int mode;
    int syslog;
    int daemon;
    int open;
    const char* console;
};

void PrintTo(const ConsoleCase& c, std::ostream* os) {
    *os << c.name;
}

class ConsoleOutputTest : public LogTest, public ::testing::WithParamInterface<ConsoleCase> {};

TEST_P(ConsoleOutputTest, ConsoleShowsColouredLinesTheLogKeepsThemPlain) {
    const ConsoleCase& c = GetParam();
    if (c.open) {
        ASSERT_EQ(OpenConsoleVideo(), 0);
    }
    OutputMode = c.mode;
    LogToSyslog = c.syslog;
    RunningAsDaemon = c.daemon;
    StdoutCapture out;
    ASSERT_TRUE(out.ok());
    PrintMessage("A\001\014B");
    EndMessageLine(0);
    PrintMessage("two\n");
    EndMessageLine(0);
    EndMessageLine(0);
    EXPECT_EQ(out.Stop(), c.console);
    if (c.syslog) {
        ASSERT_EQ(SyslogCalls().size(), 2u);
        EXPECT_EQ(SyslogCalls()[0].line, "AB\n");
        EXPECT_EQ(SyslogCalls()[1].line, "two\n");
    } else {
        EXPECT_EQ(Log(), "AB\ntwo\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, ConsoleOutputTest,
                         ::testing::Values(ConsoleCase{"Terminal", OutputModeTerminal, 0, 0, 1, "AB\ntwo\n"},
                                           ConsoleCase{"Quiet", OutputModeQuiet, 0, 0, 1, ""},
                                           ConsoleCase{"QuietSyslog", OutputModeQuiet, 1, 0, 1, ""},
                                           ConsoleCase{"TerminalSyslog", OutputModeTerminal, 1, 0, 1,
                                                       "AB\ntwo\n"},
                                           ConsoleCase{"Daemon", OutputModeTerminal, 0, 1, 1, ""},
                                           ConsoleCase{"NotOpened", OutputModeTerminal, 0, 0, 0, ""}),
                         [](const ::testing::TestParamInfo<ConsoleCase>& info) { return info.param.name; });

TEST_F(LogLineTest, ConsoleIsSafeAfterItIsClosed) {
    ASSERT_EQ(OpenConsoleVideo(), 0);
    StdoutCapture out;
    PrintMessage("shown");
    EndMessageLine(0);
    CloseConsoleVideo();
    PrintMessage("logged only");
    EndMessageLine(0);
    ASSERT_EQ(OpenConsoleVideo(), 0);
    PrintMessage("again\n");
    EndMessageLine(0);
    EXPECT_EQ(out.Stop(), "shown\nagain\n");
    EXPECT_EQ(Log(), "shown\nlogged only\nagain\n");
}

} // namespace
