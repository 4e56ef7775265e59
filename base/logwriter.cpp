#include "base/logwriter.h"

#include <fcntl.h>
#include <signal.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/consolevideo.h"
#include "base/filelayer.h"
#include "base/filelock.h"
#include "base/outputmode.h"
#include "base/recode.h"
#include "base/strutil.h"
#include "base/tvlist.h"
#include "base/version.h"

int LogToFile = 1;
int LogToSyslog = 1;
char LogFileName[kPathBufSize] = "/var/tarvo/log/tarvo.log";
int SyslogFacility = LOG_DAEMON;
int SyslogPriority = LOG_ALERT;
int LogTime = 1;
int LimitLog = 0;
int MaxLogSize = 512;
int LogEncoding = LogEncodingKoi8R;

int LogClientType = 0;
int RunningAsDaemon = 0;
int ConsoleActive = 1;
int RecordLineSwitch = 0;
int CollectReportLines = 0;

namespace logline {
size_t messagePos = 0;
size_t logLength = 0;
bool holding = false;
} // namespace logline

namespace {

// Never destroyed: a line flushed from an exit handler still finds the list.
union ReportListHolder {
    tvList list;
    ReportListHolder() : list(0) {}
    ~ReportListHolder() {}
};
ReportListHolder reportList;

time_t SystemClock() {
    return time(nullptr);
}

void SendToSyslog(int priority, const char* prefix, const char* line) {
    syslog(priority, "%s%s", prefix, line);
}

// The pending message line; between calls it never holds more than
// kMessageLineMax characters, so the terminator always fits.
constexpr size_t kMessageLineMax = kLogMessageSize - 1;
char messageBuffer[kLogMessageSize];
using logline::messagePos;

char logLine[kLogLineMax + 1];
using logline::logLength;

// The lines of a hold, each as it would have gone out.
struct HeldLine {
    time_t when;
    int clientType;
    std::string text;
};
using logline::holding;
std::vector<HeldLine> heldLines;

// What the client types prefix to their lines, by internal client type.
constexpr const char* kClientPrefixes[] = {
    "", "<mail>: ", "<web>: ", "<smb_glivor>: ", "<tarvodc>: ", "<kerio>: ", "<lotus>: ",
};

bool EndsLine(const char* text, size_t length) {
    return length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r');
}

// Keeps the signal handlers that print out of a line half on its way.
class PrintingSignalsBlocked {
public:
    PrintingSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGALRM);
        sigaddset(&set, SIGUSR1);
        blocked_ = sigprocmask(SIG_BLOCK, &set, &saved_) == 0;
    }
    // The caller's mask comes back as it was: a critical section that had
    // these signals blocked keeps them blocked.
    ~PrintingSignalsBlocked() {
        if (blocked_) sigprocmask(SIG_SETMASK, &saved_, nullptr);
    }
    PrintingSignalsBlocked(const PrintingSignalsBlocked&) = delete;
    PrintingSignalsBlocked& operator=(const PrintingSignalsBlocked&) = delete;

private:
    sigset_t saved_;
    bool blocked_ = false;
};

// The descriptor budget grows by its reserve for one log write, so that the
// log can still be written when the budget is used up.
class OpenFileLimitRaised {
public:
    OpenFileLimitRaised() : saved_(OpenFileLimit) {
        int64_t raised = static_cast<int64_t>(OpenFileLimit) + OpenFileReserve;
        OpenFileLimit = raised > INT32_MAX ? INT32_MAX : static_cast<int32_t>(raised);
    }
    ~OpenFileLimitRaised() { OpenFileLimit = saved_; }
    OpenFileLimitRaised(const OpenFileLimitRaised&) = delete;
    OpenFileLimitRaised& operator=(const OpenFileLimitRaised&) = delete;

private:
    int32_t saved_;
};

// Appends at most what fits (keeping a terminator); returns the new length.
size_t AppendBounded(char* dst, size_t length, size_t size, const char* src) {
    while (*src && length + 1 < size) dst[length++] = *src++;
    dst[length] = '\0';
    return length;
}

void VPrintMessage(const char* fmt, va_list ap) {
    // Nothing to append to: the text need not be made.
    if (!LoggingActive()) return;
    char text[kLogFormatSize];
    vsnprintf(text, sizeof text, fmt ? fmt : "", ap);
    WriteMessageText(text, 0);
}

void AppendMessageRun(const char* text, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (messagePos >= kMessageLineMax) FlushMessageBuffer();
        messageBuffer[messagePos++] = text[i];
        // A long message goes out as several lines.
        if (messagePos > kMessageLineMax - 1) FlushMessageBuffer();
    }
}

} // namespace

tvList& LogLineList = reportList.list;

time_t (*LogClock)() = SystemClock;
void (*LogSyslogSend)(int, const char*, const char*) = SendToSyslog;
int LogLockWaitSeconds = 2;

void ClearLogBuffers() {
    messagePos = 0;
    messageBuffer[0] = '\0';
    logLength = 0;
    logLine[0] = '\0';
}

void PrintMessage(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    VPrintMessage(fmt, ap);
    va_end(ap);
}

void PrintMessageAttr(int, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    VPrintMessage(fmt, ap);
    va_end(ap);
}

void WriteMessageText(const char* text, int) {
    AppendMessageBuffer(text);
}

void AppendMessageBuffer(const char* text) {
    if (!LoggingActive() || !text) return;
    AppendMessageRun(text, std::strlen(text));
}

void PrintMessagePieces(std::initializer_list<const char*> pieces) {
    if (!LoggingActive()) return;
    // Cut where the formatted piece would be.
    size_t left = kLogFormatSize - 1;
    for (const char* piece : pieces) {
        const size_t n = strnlen(piece, left);
        AppendMessageRun(piece, n);
        left -= n;
    }
}

void FlushMessageBuffer() {
    messageBuffer[messagePos] = '\0';
    // Nothing to write and nowhere to write it: the usual end of a line that was not wanted.
    if (!LoggingActive() && messagePos == 0 && logLength == 0) {
        logLine[0] = '\0';
        return;
    }
    if (LoggingActive()) {
        if (LogEncoding == LogEncodingWin1251) {
            char recoded[kLogMessageSize];
            RecodeKoi8ToWin1251(messageBuffer, recoded);
            LogPutText(recoded);
        } else {
            LogPutText(messageBuffer);
        }
    }
    const bool endsLine = EndsLine(messageBuffer, messagePos);
    if ((OutputMode == OutputModeTerminal || LogToSyslog) && messagePos > 0) {
        // Asked for afresh: the console may have been opened or closed since.
        if (!RunningAsDaemon) ConsoleVideo().WriteText(messageBuffer, 0);
        if (!endsLine) {
            if (!RunningAsDaemon) ConsoleVideo().NewLine(1, 0);
            LogPutText("\n");
        }
    }
    if (OutputMode == OutputModeQuiet && !endsLine) LogPutText("\n");
    FlushLogLine();
    messagePos = 0;
}

void PrintRecordLine(const char* fmt, ...) {
    if (!RecordLineWanted()) return;
    char text[kLogFormatSize];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt ? fmt : "", ap);
    va_end(ap);
    // The formatted text can be twice the line: what does not fit is cut.
    messagePos = AppendBounded(messageBuffer, 0, kMessageLineMax + 1, text);
}

void PrintRecordPieces(std::initializer_list<const char*> pieces) {
    if (!RecordLineWanted()) return;
    // The line is shorter than a formatted piece: cutting the whole to the line cuts it the same.
    static_assert(kMessageLineMax < kLogFormatSize);
    size_t length = 0;
    messageBuffer[0] = '\0';
    for (const char* piece : pieces)
        length = AppendBounded(messageBuffer, length, kMessageLineMax + 1, piece);
    messagePos = length;
}

void LogPutText(const char* text) {
    if (!LoggingActive() || !text) return;
    for (const char* p = text; *p; ++p) {
        if (*p == '\1') {
            if (p[1] == '\0') return;
            ++p;
            continue;
        }
        LogPutChar(*p);
    }
}

void LogPutChar(char c) {
    if (!LoggingActive()) return;
    if (logLength > kLogLineMax - 1) FlushLogLine();
    logLine[logLength++] = c;
}

void FlushLogLine() {
    // Called before every request whether or not a line is under way: an empty line needs no block.
    if (logLength == 0) {
        logLine[0] = '\0';
        return;
    }
    PrintingSignalsBlocked quiet;
    if (LoggingActive() && logLength > 0) {
        logLine[logLength] = '\0';
        SqueezeChar(logLine, '\n');
        logLength = std::strlen(logLine);
        if (logLength > 0 && std::strcmp(logLine, "\n") != 0) {
            if (CollectReportLines) LogLineList.Add(logLine, logLength + 1);
            if (holding)
                heldLines.push_back(HeldLine{LogClock(), LogClientType, std::string(logLine, logLength)});
            else if (LogToSyslog)
                LogSyslogSend(SyslogFacility | SyslogPriority, ClientLogPrefix(LogClientType), logLine);
            else
                WriteLogFile();
        }
    }
    logLength = 0;
    logLine[0] = '\0';
}

namespace {

// One line of the log file as written: the time stamp when asked for, the client prefix, the text.
size_t FormatLogRecord(char* record, size_t size, time_t when, int clientType, const char* text) {
    size_t length = 0;
    record[0] = '\0';
    if (LogTime) {
        struct tm local;
        char stamp[64];
        if (localtime_r(&when, &local) && asctime_r(&local, stamp)) {
            stamp[std::strcspn(stamp, "\n")] = '\0';
            length = AppendBounded(record, length, 64, stamp);
            length = AppendBounded(record, length, size, " ");
        }
    }
    length = AppendBounded(record, length, size, ClientLogPrefix(clientType));
    return AppendBounded(record, length, size, text);
}

// A line on its way to the log file.
struct LogRecordText {
    time_t when;
    int clientType;
    const char* text;
};

// Appends the lines to the log file under one hold of its lock.
void AppendToLogFile(const LogRecordText* lines, size_t count) {
    if (!LogFileName[0] || count == 0) return;
    OpenFileLimitRaised raised;
    // Appending: a process whose lock attempt timed out still cannot write
    // over another's line. Created without truncation: a process re-creating
    // a removed log must not drop what another has just written to it.
    int fd = FileOpen(LogFileName, O_RDWR | O_APPEND | O_CREAT, 0);
    if (fd < 0) return;
    LockFileWait(fd, LogLockWaitSeconds);
    FileSeek(fd, 0, SEEK_END);
    char record[64 + 32 + kLogLineMax + 1];
    for (size_t i = 0; i < count; ++i) {
        const size_t length =
            FormatLogRecord(record, sizeof record, lines[i].when, lines[i].clientType, lines[i].text);
        for (;;) {
            ssize_t n = FileWrite(fd, record, length);
            if (n >= 0 || errno != EINTR) break;
        }
    }
    UnlockFile(fd);
    FileClose(fd);
}

} // namespace

void WriteLogFile() {
    logLine[logLength] = '\0';
    const LogRecordText line{LogClock(), LogClientType, logLine};
    AppendToLogFile(&line, 1);
}

void HoldLogLines() {
    FlushLogLine();
    holding = true;
}

void WriteHeldLogLines() {
    FlushLogLine();
    holding = false;
    std::vector<HeldLine> lines;
    lines.swap(heldLines);
    if (!LogToFile) return;
    PrintingSignalsBlocked quiet;
    if (!LogToSyslog) {
        std::vector<LogRecordText> records;
        records.reserve(lines.size());
        for (const HeldLine& line : lines) records.push_back({line.when, line.clientType, line.text.c_str()});
        AppendToLogFile(records.data(), records.size());
        return;
    }
    for (const HeldLine& line : lines)
        LogSyslogSend(SyslogFacility | SyslogPriority, ClientLogPrefix(line.clientType), line.text.c_str());
}

void ForgetHeldLogLines() {
    holding = false;
    std::vector<HeldLine>().swap(heldLines);
}

void LogErrorf(const char* fmt, ...) {
    char text[kLogErrorTextSize];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt ? fmt : "", ap);
    va_end(ap);
    PrintMessageAttr(12, "Tarvo/%s: %s%s", EditionText, text, "\n");
    FlushMessageBuffer();
    FlushLogLine();
}

void ReportInternalError(const char* error, const char* file, const char* time, unsigned line) {
    LogErrorf("* App  : %s v%u.%u%s\n", "tarvod", static_cast<unsigned>(VersionMajor),
              static_cast<unsigned>(VersionMinor), VersionSuffix);
    LogErrorf("* Error: %s\n", error ? error : "");
    LogErrorf("* File : %s\n", file ? file : "");
    LogErrorf("* Time : %s\n", time ? time : "");
    LogErrorf("* Line : %u\n", line);
}

const char* ClientLogPrefix(int type) {
    if (type < 0 || type >= static_cast<int>(sizeof kClientPrefixes / sizeof kClientPrefixes[0])) return "";
    return kClientPrefixes[type];
}
