// The log writer: every text the program reports is printed here in pieces,
// ended as a line, shown on the console and written to the log file or to
// syslog.
#pragma once

#include <cstddef>
#include <ctime>
#include <initializer_list>

#include "base/pathutil.h"

class tvList;

// Settings read by the log writer. Those named after configuration keys are
// assigned by the configuration reader.

// Logging on: when off, nothing reaches the message buffer or the log line.
extern int LogToFile;
// Lines go to syslog (the default) rather than to the file LogFileName.
extern int LogToSyslog;
// The log file path; "" writes no file.
extern char LogFileName[kPathBufSize];
// Combined by OR into the syslog priority of every line.
extern int SyslogFacility;
extern int SyslogPriority;
// A time stamp before every line of the log file.
extern int LogTime;
// Rotation of the log file at start-up, once it holds MaxLogSize KB.
extern int LimitLog;
extern int MaxLogSize;

enum : int {
    LogEncodingKoi8R = 0,
    LogEncodingWin1251 = 1,
};
// LogEncodingWin1251 recodes log lines (not the console) from KOI8-R.
extern int LogEncoding;

// Client type of the current request, 0 when there is none; picks the prefix
// of every log-file and syslog line.
extern int LogClientType;
// Set in the detached daemon: the console is no longer written.
extern int RunningAsDaemon;
// Console active and the record switch: PrintRecordLine replaces the pending
// line only while one of them is set.
extern int ConsoleActive;
extern int RecordLineSwitch;
// Flushed lines are also kept in LogLineList. Off by default: only the pool's
// children turn it on, since only a request clears the list.
extern int CollectReportLines;

// The lines flushed while CollectReportLines is on, each a NUL-terminated
// copy; the scan request reads and clears them.
extern tvList& LogLineList;

// Buffer sizes: a formatted piece, the pending message line (a longer one is
// split), the log line on its way out, an error text.
constexpr size_t kLogFormatSize = 16383;
constexpr size_t kLogMessageSize = 8192;
constexpr size_t kLogLineMax = 16384;
constexpr size_t kLogErrorTextSize = 4096;

// Seams for tests: the clock of the time stamps, the syslog call (given the
// combined priority, the client prefix and the line) and how long a log write
// waits for the file lock.
extern time_t (*LogClock)();
extern void (*LogSyslogSend)(int priority, const char* prefix, const char* line);
extern int LogLockWaitSeconds;

// The writer's own state, here only for the inline tests below.
namespace logline {
// A hold is under way (HoldLogLines).
extern bool holding;
// Characters of the pending message line, and of the log line on its way out.
extern size_t messagePos;
extern size_t logLength;
} // namespace logline

// Logging on, or a hold under way: otherwise no piece reaches a line. A hold keeps even the lines
// that settings read half-way switch off, since it is not yet known which settings will stand.
// Inline: every scanned object asks.
inline bool LoggingActive() {
    return LogToFile || logline::holding;
}

// Empties the message buffer and the log line.
void ClearLogBuffers();

void PrintMessage(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// PrintMessage("%s%s...") of the pieces, without the formatting.
void PrintMessagePieces(std::initializer_list<const char*> pieces);
// The attribute is not kept: the line reaches console and log uncoloured.
void PrintMessageAttr(int attr, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void WriteMessageText(const char* text, int attr);
// Appends to the message buffer; a line of 8191 characters is flushed at once.
void AppendMessageBuffer(const char* text);
// Ends the message line: to the console, then to the log.
void FlushMessageBuffer();
// Drops the pieces collected so far.
inline void ResetMessageBuffer() {
    logline::messagePos = 0;
}
inline void ConsoleClearLine(int) {
    ResetMessageBuffer();
}
// Nothing logged and no line under way, the usual end of a line that was not wanted: nothing to do.
inline void EndMessageLine(int) {
    if (LoggingActive() || logline::messagePos || logline::logLength) FlushMessageBuffer();
}
// Makes the pending line exactly this text (cut to 8191 characters), while
// the console is active or the record switch is set.
void PrintRecordLine(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Whether PrintRecordLine replaces the pending line now (else it does nothing).
inline bool RecordLineWanted() {
    return LoggingActive() && (ConsoleActive || RecordLineSwitch);
}
// PrintRecordLine("%s%s...") of the pieces, without the formatting.
void PrintRecordPieces(std::initializer_list<const char*> pieces);

// Appends text to the log line, dropping colour escapes (byte 1 and the
// attribute byte after it).
void LogPutText(const char* text);
void LogPutChar(char c);
// Sends the log line to syslog or the log file and empties it.
void FlushLogLine();
// Appends the log line to the log file, under the file lock.
void WriteLogFile();

// A hold: the lines flushed from now on are kept, with their time, instead of written, and none is
// dropped for logging being off. A reload holds its lines until it is known which settings stand:
// the new ones, or after a failure the old ones, under which the daemon goes on or ends.
void HoldLogLines();
// Ends the hold: the kept lines go where the settings now say, or nowhere with logging off.
void WriteHeldLogLines();
// Ends the hold in a process forked during it, whose parent writes the lines.
void ForgetHeldLogLines();

// Start-up: removes the log file; renames it to its ".bak" name once it has
// reached MaxLogSize KB (with LimitLog).
void DeleteLogFile();
void RotateLogFile();
// The backup name of path: its extension replaced by ".bak", or ".bak"
// appended. 0, or -1 when it does not fit into size bytes.
int LogBackupName(const char* path, char* out, size_t size);
// OverwriteLog at a first start: the log is only marked while the start may still fail (a running
// daemon may own it); once this process is sure to serve, what the file held at the mark goes and
// the lines written since stay.
void MarkLogForOverwrite();
bool LogOverwritePending();
void OverwriteMarkedLog();

// An error line "Tarvo/<edition>: <text>", written at once.
void LogErrorf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void ReportInternalError(const char* error, const char* file, const char* time, unsigned line);

// "<mail>: " and the like for client types 1 to 6, "" for any other.
const char* ClientLogPrefix(int type);
