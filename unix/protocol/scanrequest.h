#pragma once
// The scanning commands of the client protocol: command 1 (an object the client sends, or a file on the
// server), command 5 (a window of a server file) and command 11 (a raw disk object), and the reply
// writer that the mail walk shares.

#include <cstdint>

#include "base/pathutil.h"
#include "unix/protocol/budget.h"

class ScanTask;

// The second option word of the request being served (the first is RequestOptionWord).
extern uint32_t RequestOption2;
// The path of the temporary file that holds the object of the request, when it has one.
extern char ServerPathBuffer[kPathBufSize];
// The reason a mail rule gave for rejecting the message, sent for OPT1 bit 23; null sends the word 0.
extern const char* RequestReasonText;

// Objects up to this size are received into memory; larger ones, and those no memory file can be made
// for, go to a temporary file.
extern uint32_t RequestMemoryLimit;

// Names longer than this are refused before they are read, with the error code of a name that could
// not be held.
constexpr uint32_t kMaxRequestName = kPathMax;

// SIGALRM during a scan: the scan time-out flag is set, and the task's stop test ends the scan.
void OnScanTimeout(int signal);

// Commands 1 and 5 after their command word (and the window of command 5): option words, per-request
// settings, envelope, then dScanFile. 0 or more when served; -1 when the connection must be closed.
int ReadScanRequest(int fd, TimeBudget& budget, bool honourStop);

// Name, size and data of the object, the scan under the alarm and the reply. 0; -1 when the rest of the
// request cannot be found on the connection (name or data not read whole, a temporary file that could
// not hold it) or the reply could not be written.
int dScanFile(int fd, ScanTask* task, uint32_t opt1, TimeBudget& budget);

// Command 11 after its command word: 0, or -1 when the connection must be closed.
int ScanDiskObject(int fd, TimeBudget& budget, bool honourStop);

// The reply of the mail walk: the result word for scanFlags, the lists and statistics OPT1 asks for,
// then the object at objectName (a host file; sent and removed) unless it is null or empty. 0, or -1
// when the reply could not be written whole.
int SendScanReply(int fd, TimeBudget& budget, ScanTask* task, uint32_t scanFlags, const char* objectName);
// The same reply for a request that could not be scanned: the result word is errorCode (one of the
// kRequestError codes), which no client takes for clean; no object follows.
int SendScanErrorReply(int fd, TimeBudget& budget, ScanTask* task, uint32_t errorCode);

// When the object (a real file the file check accepts) starts with a mail envelope ("P *<*>*" and the
// lines up to an empty one), the file window leaves it out. size 0 takes the object's length. 1 when the
// window was set, else 0.
int SkipMailEnvelope(const char* object, uint64_t size);

// The handlers of commands 1, 5 and 11: the command code, or -1 to close the connection.
int ServeScanRequest(int fd, TimeBudget& budget, bool honourStop);
int ServeWindowScanRequest(int fd, TimeBudget& budget, bool honourStop);
int ServeDiskScanRequest(int fd, TimeBudget& budget, bool honourStop);
