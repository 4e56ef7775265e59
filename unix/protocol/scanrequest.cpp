#include "unix/protocol/scanrequest.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/bufstream.h"
#include "base/filelayer.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "base/processid.h"
#include "base/tvlist.h"
#include "shell/disk/drivemap.h"
#include "shell/settings/filetype.h"
#include "shell/host/hostfiles.h"
#include "shell/host/hostreport.h"
#include "shell/host/memfile.h"
#include "shell/scan/nameformat.h"
#include "shell/scan/requestoption.h"
#include "shell/settings/scansettings.h"
#include "shell/scan/scanstop.h"
#include "shell/scan/scantask.h"
#include "unix/config/clienttype.h"
#include "unix/config/daemonsettings.h"
#include "unix/protocol/mailenvelope.h"
#include "unix/protocol/resultcode.h"
#include "unix/protocol/scanoptions.h"
#include "unix/protocol/processprefix.h"
#include "unix/protocol/signalflags.h"
#include "unix/protocol/wire.h"
#include "unix/protocol/wirelog.h"

uint32_t RequestOption2 = 0;
char ServerPathBuffer[kPathBufSize];
const char* RequestReasonText = nullptr;
uint32_t RequestMemoryLimit = kMemoryFileMaxReceive;

namespace {

constexpr char kDiskPrefix[] = "disk://";
constexpr size_t kPiece = 16384;

// What the request road of the shell needs from the daemon.
void ConnectShell() {
    ObjectLinePrefix = FormatProcessPrefix;
}

// OnScanTimeout for SIGALRM, once per process: only the scans set an alarm in the processes that
// serve requests, and every scan clears the time-out flag before it starts.
void InstallScanAlarmHandler() {
    static pid_t installedIn = 0;
    if (installedIn == OwnPid()) return;
    struct sigaction action {};
    action.sa_handler = OnScanTimeout;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGALRM, &action, nullptr) == 0) installedIn = OwnPid();
}

// alarm(FileTimeout) with OnScanTimeout for the time of one scan.
class ScanAlarm {
public:
    ScanAlarm() {
        InstallScanAlarmHandler();
        if (FileTimeout > 0) alarm(static_cast<unsigned>(FileTimeout));
    }
    ~ScanAlarm() { alarm(0); }
    ScanAlarm(const ScanAlarm&) = delete;
    ScanAlarm& operator=(const ScanAlarm&) = delete;
};

// Scans path under the alarm. A time-out that struck where the task did not look for it is counted
// here, once, rather than in the handler.
uint32_t ScanUnderAlarm(ScanTask* task, const char* path, uint64_t size) {
    uint32_t result;
    {
        ScanAlarm alarmed;
        result = task->Scan(path, size);
    }
    if (ScanTimeoutFlag && task->TaskStat().timeouts == 0) task->CountTimeout();
    task->ClearLine();
    return result;
}

void LogMessage(int number) {
    LogProtocolLine("%s", ProtocolMessage(number));
}

int SendList(tvList& list, int fd, TimeBudget& budget) {
    const uint32_t count = list.Count();
    if (SendWord(htonl(count), fd, budget, false, true) != 0) return -1;
    for (uint32_t i = 0; i < count; ++i) {
        const char* text = static_cast<const char*>(list.GetAt(i));
        if (SendString(text ? text : "", fd, budget, false) != 0) return -1;
    }
    return 0;
}

// The lists and statistics that opt1 asks for after the result word; a set stop flag ends them. 0, or
// -1 when a write failed.
int SendReplyParts(int fd, TimeBudget& budget, const ScanTask* task, uint32_t opt1, uint32_t word) {
    if (StopFlag) return 0;
    if (opt1 & kOpt1FoundList) {
        if (SendList(FoundList, fd, budget) != 0) return -1;
        if (StopFlag) return 0;
    }
    if (opt1 & kOpt1TaggedList) {
        if (SendList(TaggedList, fd, budget) != 0) return -1;
        if (StopFlag) return 0;
    }
    if (opt1 & kOpt1ReasonText) {
        const int sent = RequestReasonText ? SendString(RequestReasonText, fd, budget, false)
                                           : SendWord(0, fd, budget, false, true);
        if (sent != 0) return -1;
        if (StopFlag) return 0;
    }
    if (opt1 & kOpt1ReportList) {
        if (SendList(LogLineList, fd, budget) != 0) return -1;
        if (StopFlag) return 0;
    }
    if (opt1 & kOpt1Statistics) return SendStatisticPairs(word, task, fd, budget);
    return 0;
}

// Writes all of data to the descriptor of a real file: 0, or -1.
int WriteAll(int file, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = FileWrite(file, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

// Where the object of a request was put.
enum class ObjectKind { kNone, kMemory, kTemporary, kServer };

// The temporary file of a request; removed with the request, after the reply.
class TemporaryObject {
public:
    TemporaryObject() = default;
    ~TemporaryObject() {
        if (fd_ >= 0) HostCloseFile(nullptr, fd_);
        if (created_) unlink(ServerPathBuffer);
        if (!renamed_.empty()) unlink(renamed_.c_str());
        ServerPathBuffer[0] = '\0';
    }
    TemporaryObject(const TemporaryObject&) = delete;
    TemporaryObject& operator=(const TemporaryObject&) = delete;

    int Create() {
        fd_ = HostCreateTemporaryFile(nullptr, ServerPathBuffer);
        created_ = fd_ >= 0;
        return created_ ? 0 : -1;
    }
    // size bytes from the client: 0, or -1.
    int Receive(int fd, uint32_t size, TimeBudget& budget, bool honourStop) {
        std::unique_ptr<char[]> piece(new (std::nothrow) char[kPiece]);
        if (!piece) return -1;
        for (uint32_t left = size; left > 0;) {
            const size_t want = left < kPiece ? left : kPiece;
            if (ReadFull(fd, want, piece.get(), budget, honourStop) != 0) return -1;
            if (WriteAll(fd_, piece.get(), want) != 0) return -1;
            left -= static_cast<uint32_t>(want);
        }
        return 0;
    }
    int Close() {
        const int closed = HostCloseFile(nullptr, fd_);
        fd_ = -1;
        return closed;
    }
    // The rename action moved the file within the temporary folder: it goes with the request all the same.
    void Renamed(const char* path) {
        if (created_ && path) renamed_ = path;
    }

private:
    int fd_ = -1;
    bool created_ = false;
    std::string renamed_;
};

// The name of the memory file for an object the client named `name`: its own name, unless that is
// empty or would be taken for a disk.
std::string MemoryObjectName(const char* name) {
    if (name[0] && strncmp(name, kDiskPrefix, sizeof kDiskPrefix - 1) != 0) return name;
    char fallback[32];
    snprintf(fallback, sizeof fallback, "DATA[%u]", static_cast<unsigned>(OwnPid()));
    return fallback;
}

// Receives size bytes into a new memory file: 1 when it holds them, 0 when no memory file could be made
// (nothing was read), -1 when the data could not be read.
int ReceiveIntoMemory(int fd, uint32_t size, const std::string& name, TimeBudget& budget, bool honourStop) {
    if (size > RequestMemoryLimit || size > kMemoryFileMaxReceive || CreateMemoryFileList() != 0 ||
        MemoryFiles->FindName(name.c_str()))
        return 0;
    MemoryFile* file = MemoryFiles->NewFile(name.c_str(), size);
    if (!file) return 0;
    if (ReadFull(fd, size, file->data, budget, honourStop) != 0) {
        MemoryFiles->DeleteFile(file);
        return -1;
    }
    file->size = size;
    return 1;
}

int SendMemoryObject(const std::string& name, int fd, TimeBudget& budget) {
    uint32_t size = 0;
    const uint8_t* data = GetMemoryFileData(&size, name.c_str());
    if (!data) size = 0;
    if (SendWord(htonl(size), fd, budget, false, true) != 0) return -1;
    return WriteFull(data, size, fd, budget, false, true) == 0 ? 0 : -1;
}

// The object goes back when the client can tell from the result word that it changed: cured (the
// word says treated and not removed), or a word 0 when it was removed.
int ReturnObject(ObjectKind kind, uint32_t word, uint32_t opt1, const std::string& memoryName, int fd,
                 TimeBudget& budget) {
    const bool removed = (word & kResultRemoved) != 0;
    const bool cured = !removed && (word & kResultTreated) != 0;
    switch (kind) {
    case ObjectKind::kMemory:
        if (removed) return SendWord(0, fd, budget, false, true) == 0 ? 0 : -1;
        return cured ? SendMemoryObject(memoryName, fd, budget) : 0;
    case ObjectKind::kTemporary:
        if (removed) return SendWord(0, fd, budget, false, true) == 0 ? 0 : -1;
        return cured ? SendFile(ServerPathBuffer, fd, budget) : 0;
    case ObjectKind::kServer:
        if ((opt1 & kOpt1ServerFileState) && (removed || cured))
            return SendWord(0, fd, budget, false, true) == 0 ? 0 : -1;
        return 0;
    case ObjectKind::kNone:
        break;
    }
    return 0;
}

// Sends the host file at name as a size word and its bytes, then removes it: 0, or -1 when the bytes
// promised could not all be sent. A file that cannot be opened is the word 0.
int SendHostObject(const char* name, int fd, TimeBudget& budget) {
    const int32_t handle = HostOpenFile(nullptr, name, TARVO_OPEN_READ);
    if (handle == -1) return SendWord(0, fd, budget, false, true) == 0 ? 0 : -1;
    const int32_t length = HostFileLength(nullptr, handle);
    const uint32_t size = length > 0 ? static_cast<uint32_t>(length) : 0;
    int result = SendWord(htonl(size), fd, budget, false, true) == 0 ? 0 : -1;
    std::unique_ptr<char[]> piece(new (std::nothrow) char[kPiece]);
    if (!piece) result = -1;
    for (uint32_t left = size; result == 0 && left > 0;) {
        const uint32_t want = left < kPiece ? left : static_cast<uint32_t>(kPiece);
        const int32_t got = HostReadFile(nullptr, handle, piece.get(), want);
        if (got <= 0 || static_cast<uint32_t>(got) > want) {
            result = -1; // the client waits for bytes that will not come
            break;
        }
        if (WriteFull(piece.get(), static_cast<size_t>(got), fd, budget, false, true) != 0) result = -1;
        left -= static_cast<uint32_t>(got);
    }
    HostCloseFile(nullptr, handle);
    HostUnlinkFile(nullptr, name);
    return result;
}

// The option words of a scan request, and the client type they name applied for this request (a
// type word of 0 only when zeroIsAType): 0, or -1 when the words could not be read.
int BeginRequest(int fd, TimeBudget& budget, bool honourStop, bool zeroIsAType, ScanRequestOptions* options) {
    ConnectShell();
    RequestClientType = 0;
    LogClientType = 0;
    if (ReadScanOptions(fd, budget, honourStop, options) != 0) return -1;
    if (options->hasClientType && (zeroIsAType || options->clientType != 0)) {
        RequestClientType = MapClientType(options->clientType);
        ApplyClientLogSettings();
    }
    return 0;
}

} // namespace

void OnScanTimeout(int signal) {
    if (signal == SIGALRM) ScanTimeoutFlag = 1;
}

int SkipMailEnvelope(const char* object, uint64_t size) {
    if (!object || (MemoryFiles && MemoryFiles->FindName(object))) return 0;
    uint32_t flags = 0;
    if (CheckFileType(object, size, 1, 0, &flags) != 0) return 0;
    BufStreamPtr stream(StreamOpen(object, 0, nullptr, 0));
    if (!stream) return 0;
    const int64_t end = FindEnvelopeEnd(stream.get());
    if (end <= 0) return 0;
    const int64_t total = size ? static_cast<int64_t>(size) : StreamSize(stream.get());
    if (total <= end) return 0;
    FileWindow.base = end;
    FileWindow.length = total - end;
    FileWindow.envelope = 1;
    return 1;
}

namespace {

// A window of a server file that begins at or past its end: not one byte of it can be scanned.
bool WindowBeyondTheEnd(const char* path) {
    struct stat st;
    return FileWindow.length != 0 && stat(path, &st) == 0 && S_ISREG(st.st_mode) &&
           FileWindow.base >= static_cast<int64_t>(st.st_size);
}

} // namespace

int dScanFile(int fd, ScanTask* task, uint32_t opt1, TimeBudget& budget) {
    const bool honourStop = true;
    ScanTimeoutFlag = 0;
    ServerPathBuffer[0] = '\0';
    FlushLogLine();
    LogLineList.Clear();

    uint32_t errorCode = 0;
    bool lost = false; // the rest of the request is not where the next command would be read
    bool valid = true;
    uint32_t scanResult = 0;
    ObjectKind kind = ObjectKind::kNone;
    std::string memoryName;
    TemporaryObject temporary;
    std::unique_ptr<char[]> name;
    bool nothingRead = false; // the object was not scanned for want of bytes

    uint32_t nameLength = 0;
    // The size word follows the name unless a window was asked for: one read takes the part of it
    // that came with the name.
    const size_t sizeWithName = FileWindow.length == 0 ? sizeof(uint32_t) : 0;
    size_t nameGot = 0;
    if (ReadWord(fd, budget, honourStop, &nameLength) != 0) {
        LogMessage(127);
        task->CountInputError();
        lost = true;
        valid = false;
    } else if (nameLength > kMaxRequestName) {
        // Not read: a length the name buffer cannot hold is refused as it is, for what it is.
        LogProtocolLine("File name too long (%u bytes, at most %u)!", static_cast<unsigned>(nameLength),
                        static_cast<unsigned>(kMaxRequestName));
        errorCode = kRequestErrorNoMemory;
        lost = true;
    } else {
        name.reset(new (std::nothrow) char[kPathBufSize + sizeof(uint32_t)]());
        if (!name) {
            LogProtocolLine(ProtocolMessage(126), static_cast<int>(nameLength));
            errorCode = kRequestErrorNoMemory;
            lost = true;
        } else if (ReadFullAndMore(fd, nameLength, sizeWithName, name.get(), budget, honourStop, &nameGot) !=
                       0 ||
                   (nameLength > 0 && name[nameLength - 1] != '\0')) {
            // A name without its terminator is as unusable as one cut short.
            LogMessage(123);
            task->CountInputError();
            errorCode = kRequestErrorName;
            lost = true;
        }
    }

    uint32_t size = 0;
    if (valid && errorCode == 0 && FileWindow.length == 0) {
        uint32_t wire = 0;
        const size_t early = nameGot > nameLength ? nameGot - nameLength : 0;
        memcpy(&wire, name.get() + nameLength, early);
        memset(name.get() + nameLength, 0, early);
        if (ReadFull(fd, sizeof wire - early, reinterpret_cast<char*>(&wire) + early, budget, honourStop) !=
            0) {
            LogMessage(125);
            task->CountInputError();
            lost = true;
            valid = false;
        } else {
            size = ntohl(wire);
        }
    }
    if (valid && errorCode == 0 && (static_cast<int32_t>(size) < 0 || (size == 0 && nameLength < 1))) {
        LogMessage(124);
        task->CountInputError();
        valid = false;
        if (static_cast<int32_t>(size) < 0) lost = true; // data of no known length follows
    }

    if (valid && errorCode == 0) {
        const char* objectName = name.get();
        if (size == 0) {
            kind = ObjectKind::kServer;
            if (FileWindow.length == 0) SkipMailEnvelope(objectName, 0);
            if (WindowBeyondTheEnd(objectName)) {
                char text[kNameTextSize];
                PrintMessage("%s - %s", FormatNameText(objectName, text, sizeof text), MessageText(39));
                EndMessageLine(0);
                task->CountReadError();
                nothingRead = true;
            } else {
                scanResult = ScanUnderAlarm(task, objectName, 0);
            }
        } else {
            memoryName = MemoryObjectName(objectName);
            const int inMemory = ReceiveIntoMemory(fd, size, memoryName, budget, honourStop);
            if (inMemory > 0) {
                kind = ObjectKind::kMemory;
                if (memoryName != objectName) task->SetDisplayName(objectName);
                scanResult = ScanUnderAlarm(task, memoryName.c_str(), size);
            } else if (inMemory < 0) {
                LogMessage(143);
                errorCode = kRequestErrorReceive;
                lost = true;
            } else if (temporary.Create() != 0) {
                LogMessage(143);
                errorCode = kRequestErrorTempFile;
                lost = true;
            } else if (temporary.Receive(fd, size, budget, honourStop) != 0 || temporary.Close() != 0) {
                LogMessage(143);
                errorCode = kRequestErrorReceive;
                lost = true;
            } else {
                kind = ObjectKind::kTemporary;
                task->SetDisplayName(objectName);
                // With the envelope left out, the object is the window: its size comes from the file.
                const uint64_t scanned = SkipMailEnvelope(ServerPathBuffer, size) ? 0 : size;
                scanResult = ScanUnderAlarm(task, ServerPathBuffer, scanned);
                temporary.Renamed(task->NewNameOf(ServerPathBuffer));
            }
        }
    }

    uint32_t word = MakeResultCode(scanResult, errorCode, task);
    // Nothing was looked at: nothing can have been found either.
    if (nothingRead) word &= ~kResultNothingFound;
    int result = lost ? -1 : 0;
    GatheredWrites reply(fd, budget);
    if (SendWord(htonl(word), fd, budget, true, true) != 0) {
        result = -1;
    } else if (SendReplyParts(fd, budget, task, opt1, word) != 0 ||
               ReturnObject(kind, word, opt1, memoryName, fd, budget) != 0) {
        result = -1;
    }
    if (reply.Flush() != 0) result = -1;
    ClearFoundLists();
    return result;
}

int ReadScanRequest(int fd, TimeBudget& budget, bool honourStop) {
    ClearMailEnvelope();
    ClientLogScope logScope;
    ScanRequestOptions options;
    if (BeginRequest(fd, budget, honourStop, true, &options) != 0) return -1;
    ScanTimeoutScope timeout(options);
    // The task's copy of the process-wide settings is the request's own: what one request asks for
    // does not carry over to the next.
    ScanTask task(nullptr, 0, kScanStackBudget);
    ApplyRequestSettings(task.Settings(), options.opt1, options.opt2);
    if ((options.opt1 & kOpt1Envelope) && ReadMailEnvelope(fd, budget, honourStop) != 0) return -1;

    RequestOptionWord = options.opt1;
    RequestOption2 = options.opt2;
    CreateMemoryFileList();
    const int result = dScanFile(fd, &task, options.opt1, budget);
    FreeMemoryFiles();
    ResetFileWindow();
    return result;
}

int ScanDiskObject(int fd, TimeBudget& budget, bool honourStop) {
    ClientLogScope logScope;
    ScanRequestOptions options;
    if (BeginRequest(fd, budget, honourStop, false, &options) != 0) return -1;
    // Without a time-out word the disk is scanned without a limit.
    struct Restore {
        int value;
        ~Restore() { FileTimeout = value; }
    } restore{FileTimeout};
    if (!options.hasTimeout) FileTimeout = 0;
    ScanTimeoutScope timeout(options);

    uint32_t length = 0;
    if (ReadWord(fd, budget, honourStop, &length) != 0 || length == 0 || length > kMaxRequestName) {
        LogMessage(127);
        return -1;
    }
    char object[sizeof kDiskPrefix - 1 + kPathBufSize] = {};
    memcpy(object, kDiskPrefix, sizeof kDiskPrefix - 1);
    if (ReadFull(fd, length, object + sizeof kDiskPrefix - 1, budget, honourStop) != 0) {
        LogMessage(127);
        return -1;
    }

    // The disks are open only for the request that asked for them.
    struct DriveMapScope {
        bool built = DriveMap.empty() && BuildDriveMap() == 0;
        ~DriveMapScope() {
            if (built) ClearDriveMap();
        }
    } drives;
    FlushLogLine();
    LogLineList.Clear();
    RequestOptionWord = options.opt1;
    RequestOption2 = options.opt2;
    uint32_t result;
    {
        ScanTask task(nullptr, 0, kScanStackBudget);
        task.Settings().word[kDiskWord] = 1;
        task.Settings().word[kInfectedActionWord] = (options.opt1 >> 6) & 1u;
        ScanTimeoutFlag = 0;
        ScanAlarm alarmed;
        result = task.Scan(object, 0);
    }
    if (result == 0) result = kResultNothingFound;
    GatheredWrites reply(fd, budget);
    if (SendWord(0, fd, budget, false, true) != 0 || SendWord(htonl(result), fd, budget, false, true) != 0 ||
        SendList(LogLineList, fd, budget) != 0)
        return -1;
    return reply.Flush() == 0 ? 0 : -1;
}

namespace {

int SendMailReply(int fd, TimeBudget& budget, ScanTask* task, uint32_t word, const char* objectName) {
    int result = 0;
    GatheredWrites reply(fd, budget);
    if (SendWord(htonl(word), fd, budget, true, true) != 0 ||
        SendReplyParts(fd, budget, task, RequestOptionWord, word) != 0)
        result = -1;
    else if (objectName && objectName[0] && SendHostObject(objectName, fd, budget) != 0)
        result = -1;
    if (reply.Flush() != 0) result = -1;
    ClearFoundLists();
    return result;
}

} // namespace

int SendScanReply(int fd, TimeBudget& budget, ScanTask* task, uint32_t scanFlags, const char* objectName) {
    return SendMailReply(fd, budget, task, MakeResultCode(scanFlags, 0, task), objectName);
}

int SendScanErrorReply(int fd, TimeBudget& budget, ScanTask* task, uint32_t errorCode) {
    return SendMailReply(fd, budget, task, MakeResultCode(0, errorCode, task), nullptr);
}

int ServeScanRequest(int fd, TimeBudget& budget, bool honourStop) {
    ResetFileWindow();
    return ReadScanRequest(fd, budget, honourStop) >= 0 ? 1 : -1;
}

int ServeWindowScanRequest(int fd, TimeBudget& budget, bool honourStop) {
    ResetFileWindow();
    uint32_t offset = 0;
    uint32_t length = 0;
    if (ReadWord(fd, budget, honourStop, &offset) != 0 || ReadWord(fd, budget, honourStop, &length) != 0)
        return -1;
    FileWindow.base = offset;
    FileWindow.length = length;
    FileWindow.position = 0;
    const int result = ReadScanRequest(fd, budget, honourStop);
    ResetFileWindow();
    return result >= 0 ? 5 : -1;
}

int ServeDiskScanRequest(int fd, TimeBudget& budget, bool honourStop) {
    return ScanDiskObject(fd, budget, honourStop) >= 0 ? 11 : -1;
}
