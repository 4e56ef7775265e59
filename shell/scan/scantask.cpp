#include "shell/scan/scantask.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/filelayer.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "base/shortbytes.h"
#include "shell/scan/actiongate.h"
#include "shell/scan/dirname.h"
#include "shell/disk/drivemap.h"
#include "shell/engine/engines.h"
#include "shell/settings/filetype.h"
#include "shell/host/hostfiles.h"
#include "shell/host/hostreport.h"
#include "shell/scan/lockword.h"
#include "shell/host/memfile.h"
#include "shell/scan/nameformat.h"
#include "shell/scan/objectnames.h"
#include "shell/settings/scankeys.h"
#include "shell/scan/scanresult.h"
#include "shell/scan/scanstop.h"
#include "shell/settings/shellkeys.h"

uint32_t EngineWaitPolls = 10000;
void (*ObjectLinePrefix)(char* buffer, size_t size) = nullptr;
uint32_t (*DiskDriveKeyFor)(const char* device) = DriveKeyFor;

namespace {

constexpr size_t kReportTextSize = 1024;
constexpr size_t kCopyChunk = 16384;
constexpr uint32_t kNoMode = UINT32_MAX;
constexpr uint32_t kUnlinkAttempts = 10;
constexpr const char kDiskPrefix[] = "disk://";

bool Has(uint32_t r, uint32_t bits) {
    return (r & bits) != 0;
}

// Appends " - " and the message to text, cut to fit.
void Append(char* text, size_t size, const char* message) {
    size_t n = std::strlen(text);
    if (n < size) std::snprintf(text + n, size - n, " - %s", message);
}

// Replaces text by " - " and the message between colour markers.
void SetErrorText(char* text, size_t size, uint32_t message) {
    std::snprintf(text, size, " - \x01\x03%s\x01\x03", MessageText(message));
}

uint32_t ClassBit(int32_t cls) {
    switch (cls) {
    case TARVO_CLASS_INFECTED:
        return TARVO_RESULT_INFECTED;
    case TARVO_CLASS_MODIFICATION:
        return TARVO_RESULT_MODIFICATION;
    case TARVO_CLASS_SUSPICIOUS:
        return TARVO_RESULT_SUSPICIOUS;
    default:
        return 0;
    }
}

} // namespace

class ScanTask::EngineBorrow {
public:
    explicit EngineBorrow(ScanTask& task) : task_(task) {
        task_.engine_ = task_.GetFreeEngine();
        task_.dispatcher_ = task_.engine_ ? task_.engine_->dispatcher : nullptr;
    }
    ~EngineBorrow() { task_.ReleaseEngine(); }
    EngineBorrow(const EngineBorrow&) = delete;
    EngineBorrow& operator=(const EngineBorrow&) = delete;

private:
    ScanTask& task_;
};

ScanTask::ScanTask(const TarvoMainSettings* settings, uint32_t, uint32_t stackBudget)
    : ScanThread(settings), stackBudget_(stackBudget) {}

ScanTask::~ScanTask() {
    ReleaseEngine();
    ReleaseActionLock(this);
}

void ScanTask::SetDisplayName(const char* name) {
    CopyPathBuffer(displayName_, name ? name : "");
}

int ScanTask::IsStopRequested() {
    // Asked for every object: the usual answer takes no frame.
    if (!StopFlag && !ScanTimeoutFlag) return 0;
    return NoteStop();
}

__attribute__((cold)) int ScanTask::NoteStop() {
    stopped_ = 1;
    abort_ = 1;
    // The time-out is reported once, however often the scan looks again.
    if (ScanTimeoutFlag && !timeoutReported_) {
        timeoutReported_ = 1;
        CountTimeout();
        PrintObjectLine();
        PrintMessage(" - %s", MessageText(137));
        EndMessageLine(0);
    }
    return 1;
}

int ScanTask::FilterFile(const char* name, uint64_t size, const uint8_t* header, size_t headerLen) {
    if (ScanThreadBase::FilterFile(name, size, header, headerLen)) return 1;
    if (FilesTypesWarnings && !ownMask_) {
        if (nameNotPrinted_) {
            nameNotPrinted_ = 0;
            // Inside a container the name alone would not tell where it is.
            if (depth_) {
                PushName(name);
                PrintObjectLine();
                PopName();
            } else {
                FormatNameForLog(name);
            }
        }
        PrintMessage("%s", MessageText(134));
        EndMessageLine(0);
    }
    return 0;
}

EngineInstance* ScanTask::GetFreeEngine() {
    // The usual case, the first instance loaded and free, takes no frame for the search.
    if (!abort_) {
        LockWordGuard lock(EngineTableLock);
        if (!lock) return nullptr;
        EngineInstance* first = EngineAt(0);
        if (IsEngineLoaded(first) && !first->busy) {
            first->busy = 1;
            return first;
        }
    }
    return SearchFreeEngine();
}

__attribute__((cold)) EngineInstance* ScanTask::SearchFreeEngine() {
    for (uint32_t polls = 0; !abort_; ++polls) {
        bool loaded = false;
        {
            LockWordGuard lock(EngineTableLock);
            if (!lock) return nullptr;
            for (uint32_t i = 0; i < kEngineRecordsUsed; ++i) {
                EngineInstance* instance = EngineAt(i);
                if (!IsEngineLoaded(instance)) continue;
                loaded = true;
                if (!instance->busy) {
                    instance->busy = 1;
                    return instance;
                }
            }
        }
        // Nothing else runs while this waits: only a signal can end it.
        if (!loaded || StopFlag || ScanTimeoutFlag || polls >= EngineWaitPolls) return nullptr;
        usleep(100);
    }
    return nullptr;
}

uint32_t ScanTask::NotScanned(const char* path) {
    // A stop ends the scan on purpose and is reported as such.
    if (abort_ || StopFlag || ScanTimeoutFlag) return 0;
    CountReadError();
    char text[kNameTextSize];
    PrintMessage("%s - not scanned: no engine instance was free in time",
                 FormatNameText(path ? path : "", text, sizeof text));
    EndMessageLine(0);
    return TARVO_RESULT_READ_ERROR;
}

void ScanTask::ReleaseEngine() {
    if (engine_) engine_->busy = 0;
    engine_ = nullptr;
    dispatcher_ = nullptr;
}

bool ScanTask::IsMemoryObject(const char* path) const {
    return path && MemoryFiles && MemoryFiles->FindName(path);
}

bool ScanTask::IsExcluded(const char* path) {
    if (Settings().excludePaths.IsEmpty()) return false;
    char dir[kPathBufSize];
    struct stat st;
    // An object in memory is no directory, whatever the disk holds under its name.
    if (!IsMemoryObject(path) && stat(path, &st) == 0 && S_ISDIR(st.st_mode))
        CopyPathBuffer(dir, path);
    else
        DirNameOf(path, dir, sizeof dir);
    return Settings().MatchExcludePath(dir);
}

inline void ScanTask::NoteObject(int32_t handle) {
    savedMode_ = kNoMode;
    objectId_ = FileIdentity{};
    windowPart_ = false;
    // The host opens a memory file of the name before any other file; only a real file has a mode
    // and an identity to note.
    if (handle != -1 && !HeldMemoryFileOf(handle)) NoteRealObject(handle);
}

void ScanTask::NoteRealObject(int32_t handle) {
    // What the engine reads is the held descriptor: its file is the object,
    // whatever the name leads to later.
    struct stat st;
    if (fstat(handle, &st) != 0) return;
    savedMode_ = static_cast<uint32_t>(st.st_mode & 06777);
    objectId_ = IdentityOf(handle);
    windowPart_ = handle == FileWindow.fd && WindowIsPartOfFile();
}

int ScanTask::FindObject(ObjectEntry& entry) const {
    return entry.Find(currentPath_, objectId_, FollowLinks != 0);
}

void ScanTask::RestoreFileMode() {
    if (savedMode_ == kNoMode || IsMemoryObject(currentPath_)) return;
    ObjectEntry entry;
    if (FindObject(entry) == 0) entry.SetMode(static_cast<mode_t>(savedMode_));
}

void ScanTask::SetLimit() {
    dispatcher_(EngineContext(), TARVO_CMD_SET_LIMIT, SettingsWord(kLimitWord) * 400u);
}

void ScanTask::PushName(const char* name) {
    if (!name) name = "";
    PushName(name, std::strlen(name));
}

inline void ScanTask::PushName(const char* name, size_t length) {
    const size_t start = objectNamesEnd_;
    // The buffer only grows: a name that fits is a copy.
    if (objectNames_.size() - start <= length) objectNames_.resize(start + length + 1);
    CopyShortBytes(objectNames_.data() + start, name, length + 1);
    objectNamesEnd_ = start + length + 1;
    objectNameStarts_.push_back(start);
}

void ScanTask::PopName() {
    if (objectNameStarts_.empty()) return;
    objectNamesEnd_ = objectNameStarts_.back();
    objectNameStarts_.pop_back();
}

void ScanTask::CountLeftInfected() {
    ++TaskStat().leftInfected;
    ++TotalStat().leftInfected;
    SetCounted(true);
}

void ScanTask::CountProtected() {
    if (insideArchive_ && depth_)
        CountSkippedNested();
    else
        CountSkippedProtected();
}

inline int32_t ScanTask::EngineCommand4(const char* path, uint64_t size) {
    uint32_t cure = SettingsWord(kInfectedActionWord) & kActionCure;
    uint32_t length = size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
    actionLockBusy_ = 0;
    int32_t r =
        dispatcher_(EngineContext(), TARVO_CMD_SCAN_OBJECT, cure, SettingsWord(kModeWord), path, length);
    ReleaseActionLock(this);
    // A change the host refused did not happen: the object stays as it was.
    if (RefusedChanges) {
        RefusedChanges = 0;
        r |= static_cast<int32_t>(TARVO_RESULT_WRITE_ERROR);
    }
    return static_cast<int32_t>(WithoutLockVerdict(static_cast<uint32_t>(r)));
}

uint32_t ScanTask::WithoutLockVerdict(uint32_t r) const {
    // A cure put off because another task held the lock says nothing about the object.
    return actionLockBusy_ ? r & ~TARVO_RESULT_INCURABLE : r;
}

uint32_t ScanTask::Scan(const char* path, uint64_t size) {
    if (!path) return 0;
    OriginFlag = 0;
    stopAfterThis_ = 0;
    stackBase_ = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (std::strncmp(path, kDiskPrefix, sizeof kDiskPrefix - 1) == 0)
        return DiskDriveKeyFor ? ScanBootRecords(DiskDriveKeyFor(path + sizeof kDiskPrefix - 1)) : 0;

    EngineBorrow borrow(*this);
    if (!engine_) return NotScanned(path);
    foundClass_ = -1;
    if (IsExcluded(path)) {
        char text[kNameTextSize];
        PrintMessage("%s - %s", FormatNameText(path, text, sizeof text), MessageText(202));
        EndMessageLine(0);
        return 0;
    }
    nameNotPrinted_ = 1;
    if (!FilterFile(path, size, nullptr, 0)) {
        CountSkipped();
        scanFlags_ |= kScanFlagFiltered;
        return 0;
    }
    SetLimit();
    if (SettingsWord(kEngineResetWord))
        dispatcher_(EngineContext(), TARVO_CMD_KEEP_ENGINE, TARVO_KEEP_ENGINE_PER_SCAN);
    noActions_ = 0;
    CopyPathBuffer(currentPath_, path);
    ClearFoundLists();
    scanFlags_ = 0;
    stopped_ = 0;
    PushName(displayName_[0] ? displayName_ : path);
    PrintObjectLine();

    uint32_t accumulated = 0;
    uint32_t r = 0;
    const uint32_t curesBefore = TaskStat().cured;
    for (uint32_t rescans = 0;; ++rescans) {
        if (IsStopRequested()) break;
        uint32_t flagsBefore = scanFlags_;
        if (CheckFileType(path, size, 0, 0, &scanFlags_)) {
            if (scanFlags_ != flagsBefore) CountSkipped();
            break;
        }
        size = OpenObject(path, std::strlen(path), size);
        r = static_cast<uint32_t>(EngineCommand4(path, size));
        CountScanned(size, false);
        if (OriginFlag) {
            r |= TARVO_RESULT_INFECTED | TARVO_RESULT_INCURABLE;
            OriginFlag = 0;
        }
        if (r == TARVO_RESULT_CONTAINER && foundClass_ != -1) {
            uint32_t bit = ClassBit(foundClass_);
            if (!bit) break;
            r = TARVO_RESULT_CONTAINER | ProcessResult(bit);
        } else {
            r = ProcessResult(r);
        }
        accumulated |= r;
        if (!Has(r, TARVO_RESULT_CURED) || Has(r, TARVO_RESULT_MASK_DONE)) break;
        // An engine that answers "cured" every time must not keep the scan here.
        if (rescans + 1 >= kMaxCureRescans) {
            r = CureDidNotHold(r, curesBefore);
            accumulated &= ~TARVO_RESULT_CURED;
            break;
        }
        PrintObjectLine();
        size = 0;
    }

    return FinishObject(r, accumulated | r);
}

uint32_t ScanTask::ScanFile(const char* path, uint64_t size) {
    return path ? ScanFile(path, std::strlen(path), size) : 0;
}

uint32_t ScanTask::ScanFile(const char* path, size_t pathLength, uint64_t size) {
    if (!path) return 0;
    stackBase_ = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    EngineBorrow borrow(*this);
    if (!engine_) {
        ReleaseHeldFile();
        return NotScanned(path);
    }
    SetLimit();
    // Measured once, by the caller: the copies, the name stack and the held open take its length.
    CopyPathBuffer(currentPath_, path, pathLength);
    PushName(path, pathLength);
    PrintObjectLine();
    CountScanned(size, false);

    uint32_t accumulated = 0;
    uint32_t r = 0;
    bool rescanned = false;
    const uint32_t curesBefore = TaskStat().cured;
    for (uint32_t rescans = 0;; ++rescans) {
        if (IsStopRequested()) break;
        size = OpenObject(path, pathLength, size);
        r = static_cast<uint32_t>(EngineCommand4(path, size));
        ReleaseHeldFile();
        r = ProcessResult(r);
        accumulated |= r;
        if (!Has(r, TARVO_RESULT_CURED) || Has(r, TARVO_RESULT_DELETED)) break;
        if (rescans + 1 >= kMaxCureRescans) {
            r = CureDidNotHold(r, curesBefore);
            accumulated &= ~TARVO_RESULT_CURED;
            rescanned = false;
            break;
        }
        rescanned = true;
        PrintObjectLine();
        size = 0;
    }

    const uint32_t result = FinishObject(r, accumulated | r);
    return rescanned ? result | TARVO_RESULT_CURED : result;
}

uint32_t ScanTask::CureDidNotHold(uint32_t r, uint32_t curesBefore) {
    // Every "cured" answer was followed by another finding: nothing was treated.
    const uint32_t cures = TaskStat().cured - curesBefore;
    TaskStat().cured -= cures;
    TotalStat().cured -= cures;
    r &= ~TARVO_RESULT_CURED;
    if (!Has(r, TARVO_RESULT_INFECTED | TARVO_RESULT_MODIFICATION)) {
        const uint32_t bit = ClassBit(foundClass_);
        r |= bit ? bit : TARVO_RESULT_INFECTED;
    }
    PrintText(" - the cure did not hold, left infected");
    return r;
}

inline uint64_t ScanTask::OpenObject(const char* path, size_t pathLength, uint64_t size) {
    const int32_t handle = OpenHeldFile(path, pathLength, TARVO_OPEN_READ);
    NoteObject(handle);
    if (size == 0 && handle != -1) {
        const int32_t length = HostFileLength(EngineContext(), handle);
        if (length > 0) size = static_cast<uint64_t>(length);
    }
    return size;
}

inline uint32_t ScanTask::FinishObject(uint32_t r, uint32_t result) {
    // A container that an action took away is not there to be walked.
    if (Has(r, TARVO_RESULT_CONTAINER) && !Has(r, TARVO_RESULT_MASK_DONE) && !IsStopRequested()) {
        int32_t type = -1;
        const uint32_t c = ScanContainer(r, engine_, &type);
        if (c != UINT32_MAX) {
            r = ReportActionResult(c, type);
            result |= r;
        }
    }
    if (!Has(r, TARVO_RESULT_MASK_GONE) && Has(r, TARVO_RESULT_INFECTED | TARVO_RESULT_MODIFICATION))
        CountLeftInfected();
    ReleaseHeldFile();
    PopName();
    return result;
}

uint32_t ScanTask::ScanMemoryObject(const char* name, uintptr_t v1, uint32_t v2, uint32_t v3, uint32_t v4,
                                    uint32_t v5, uint32_t v6) {
    EngineBorrow borrow(*this);
    if (!engine_) return NotScanned(name);
    foundClass_ = -1;
    noActions_ = 1;
    CopyPathBuffer(currentPath_, name ? name : "");
    PushName(name);
    PrintObjectLine();
    uint32_t cure = SettingsWord(kInfectedActionWord) == kActionCure ? 1u : 0u;
    actionLockBusy_ = 0;
    uint32_t r = static_cast<uint32_t>(dispatcher_(EngineContext(), TARVO_CMD_SCAN_BOOT_RECORD, cure,
                                                   SettingsWord(kModeWord), v1, v2, v3, v4, v5, v6));
    CountScanned(TARVO_SECTOR_SIZE, false);
    ReleaseActionLock(this);
    r = WithoutLockVerdict(r);
    r = ProcessResult(r);
    PopName();
    return r;
}

uint32_t ScanTask::ProcessResult(uint32_t r) {
    if (r == 0) {
        CountClean(depth_);
        if (LogScanned) {
            // While nothing is logged no piece is kept: they need not be looked up.
            if (LoggingActive()) {
                PrintObjectLine();
                PrintMessagePieces({" - ", MessageText(10)});
            }
            EndMessageLine(0);
        } else {
            ResetMessageBuffer();
        }
        return 0;
    }

    char text[kReportTextSize] = "";
    if (Has(r, TARVO_RESULT_DECOMPRESSION_ERROR | TARVO_RESULT_DECOMPRESSION_FATAL) && !ScanTimeoutFlag) {
        SetErrorText(text, sizeof text, 44);
        CountDecompressionError();
    }
    if (Has(r, TARVO_RESULT_NO_MEMORY_TO_EXTRACT)) {
        SetErrorText(text, sizeof text, 45);
        CountNoMemory();
    }
    if (Has(r, TARVO_RESULT_SPLIT_FILE)) {
        SetErrorText(text, sizeof text, 42);
        CountSplitFile();
        CountSkipped();
    }
    if (Has(r, TARVO_RESULT_PASSWORD_PROTECTED)) {
        SetErrorText(text, sizeof text, 41);
        CountSkipped();
        CountProtected();
    }

    bool nested = depth_ != 0;
    bool deleted = Has(r, TARVO_RESULT_DELETED);
    bool container = Has(r, TARVO_RESULT_CONTAINER);
    switch (foundClass_) {
    case TARVO_CLASS_SUSPICIOUS:
        if (!container) CountSuspicious(depth_);
        if (!deleted && !container && !nested) r |= ActOnSuspicious(r);
        break;
    case TARVO_CLASS_MODIFICATION:
        if (!container) CountModification(depth_);
        if (!deleted && !container && !nested) r |= ActOnIncurable(r, 1);
        break;
    case TARVO_CLASS_INFECTED:
        if (!container) CountInfected(depth_);
        if (!deleted && !container && !nested && !Has(r, TARVO_RESULT_CURED)) r |= ActOnInfected(r);
        break;
    case TARVO_CLASS_ADWARE:
    case TARVO_CLASS_DIALER:
    case TARVO_CLASS_JOKE:
    case TARVO_CLASS_RISKWARE:
    case TARVO_CLASS_HACKTOOL:
        if (!deleted && !container) {
            if (!nested) r |= ClassAction(foundClass_);
            int word = kAdwareActionWord + (foundClass_ - TARVO_CLASS_ADWARE);
            if (Has(SettingsWord(word), kActionLeaveAlone)) {
                CountIgnored();
                ReleaseActionLock(this);
                return 0;
            }
            switch (foundClass_) {
            case TARVO_CLASS_ADWARE:
                CountAdware(depth_);
                break;
            case TARVO_CLASS_DIALER:
                CountDialer(depth_);
                break;
            case TARVO_CLASS_JOKE:
                CountJoke(depth_);
                break;
            case TARVO_CLASS_RISKWARE:
                CountRiskware(depth_);
                break;
            default:
                CountHacktool(depth_);
                break;
            }
        }
        break;
    default:
        break;
    }

    if (actionLockBusy_)
        Append(text, sizeof text, "cure put off, the action lock stayed busy: left infected");
    if (Has(r, TARVO_RESULT_CURED) && !Has(r, TARVO_RESULT_DELETED)) {
        Append(text, sizeof text, MessageText(34));
        CountCured();
    }
    if (ScanTimeoutFlag) {
        if (Has(r, TARVO_RESULT_MASK_TIMEOUT_LIKE)) Append(text, sizeof text, MessageText(137));
    } else if (Has(r, TARVO_RESULT_READ_ERROR)) {
        Append(text, sizeof text, MessageText(39));
        CountReadError();
    }
    if (Has(r, TARVO_RESULT_WRITE_ERROR)) {
        Append(text, sizeof text, MessageText(40));
        CountWriteError();
    }
    if (Has(r, TARVO_RESULT_DELETED)) {
        Append(text, sizeof text, MessageText(36));
        CountDeleted();
    }
    if (Has(r, TARVO_RESULT_RENAMED)) {
        Append(text, sizeof text, MessageText(37));
        CountRenamed();
    }
    if (Has(r, TARVO_RESULT_MOVED)) {
        Append(text, sizeof text, MessageText(35));
        CountMoved();
    }
    if (Has(r, TARVO_RESULT_LEFT_ALONE)) {
        Append(text, sizeof text, MessageText(38));
        CountIgnored();
    }
    if (!ScanTimeoutFlag) {
        if (Has(r, TARVO_RESULT_CRC_ERROR)) {
            Append(text, sizeof text, MessageText(46));
            CountCrcError();
        }
        if (Has(r, TARVO_RESULT_HEADER_CRC_ERROR)) {
            if (depth_) Append(text, sizeof text, MessageText(47));
            CountCrcError();
        }
    }

    if (text[0] && r != TARVO_RESULT_CONTAINER) PrintText(text);
    ReleaseActionLock(this);
    return r;
}

void ScanTask::PrintText(const char* text) {
    PrintObjectLine();
    PrintMessage("%s", text);
    EndMessageLine(0);
}

uint32_t ScanTask::ClassAction(int32_t cls) {
    switch (cls) {
    case TARVO_CLASS_ADWARE:
        return ActOnAdware(0);
    case TARVO_CLASS_DIALER:
        return ActOnDialer(0);
    case TARVO_CLASS_JOKE:
        return ActOnJoke(0);
    case TARVO_CLASS_RISKWARE:
        return ActOnRiskware(0);
    case TARVO_CLASS_HACKTOOL:
        return ActOnHacktool(0);
    default:
        return 0;
    }
}

uint32_t ScanTask::ActOnSuspicious(uint32_t r) {
    return r | ApplyAction(SettingsWord(kSuspiciousActionWord), 1);
}
uint32_t ScanTask::ActOnAdware(uint32_t r) {
    return r | ApplyAction(SettingsWord(kAdwareActionWord), 1);
}
uint32_t ScanTask::ActOnDialer(uint32_t r) {
    return r | ApplyAction(SettingsWord(kDialerActionWord), 1);
}
uint32_t ScanTask::ActOnJoke(uint32_t r) {
    return r | ApplyAction(SettingsWord(kJokeActionWord), 1);
}
uint32_t ScanTask::ActOnRiskware(uint32_t r) {
    return r | ApplyAction(SettingsWord(kRiskwareActionWord), 1);
}
uint32_t ScanTask::ActOnHacktool(uint32_t r) {
    return r | ApplyAction(SettingsWord(kHacktoolActionWord), 1);
}

uint32_t ScanTask::ActOnIncurable(uint32_t r, int lock) {
    return r | ApplyAction(SettingsWord(kIncurableActionWord), lock);
}

uint32_t ScanTask::ActOnInfected(uint32_t r) {
    uint32_t word = SettingsWord(kInfectedActionWord);
    if (Has(r, TARVO_RESULT_INCURABLE)) {
        if (word == kActionCure) return ActOnIncurable(r, 0);
        // The cure was tried and failed: what else was asked for applies.
        word &= ~static_cast<uint32_t>(kActionCure);
    }
    return r | ApplyAction(word, 1);
}

uint32_t ScanTask::ApplyAction(uint32_t mask, int lock) {
    // Whether the cure would have held is unknown: nothing else is done to the object.
    if (noActions_ || mask == 0 || actionLockBusy_) return 0;
    if (Has(mask, kActionCure)) {
        // The engine cured the object in place.
        RestoreFileMode();
        return 0;
    }
    if (!MayApplyAction(this, mask, lock)) return 0;
    uint32_t answer = 0;
    if (Has(mask, kActionLeaveAlone)) {
        answer = IgnoreObject();
        if (Has(answer, TARVO_RESULT_LEFT_ALONE)) return answer;
    }
    if (Has(mask, kActionRename)) {
        answer = RenameObject();
        if (Has(answer, TARVO_RESULT_RENAMED)) return answer;
    }
    if (Has(mask, kActionMove)) {
        answer = MoveObject(MoveFilesTo, 1);
        if (Has(answer, TARVO_RESULT_MOVED)) return answer;
    }
    if (Has(mask, kActionDelete)) answer = DeleteObject();
    return answer;
}

uint32_t ScanTask::IgnoreObject() {
    return TARVO_RESULT_LEFT_ALONE;
}

uint32_t ScanTask::DeleteObject() {
    if (IsMemoryObject(currentPath_))
        return HostUnlinkFile(EngineContext(), currentPath_) == 0 ? TARVO_RESULT_DELETED
                                                                  : TARVO_RESULT_WRITE_ERROR;
    // The rest of a mailbox or a disk image is not the object's to lose.
    if (windowPart_) return TARVO_RESULT_WRITE_ERROR;
    ObjectEntry entry;
    if (FindObject(entry) != 0) return TARVO_RESULT_WRITE_ERROR;
    ForgetHeldName(currentPath_);
    return entry.Unlink() == 0 ? TARVO_RESULT_DELETED : TARVO_RESULT_WRITE_ERROR;
}

uint32_t ScanTask::RenameObject() {
    char target[kPathBufSize];
    if (IsMemoryObject(currentPath_)) {
        if (MakeRenamedName(currentPath_, RenameFilesTo, target, sizeof target) != 0 ||
            HostRenameFile(EngineContext(), currentPath_, target) != 0)
            return TARVO_RESULT_WRITE_ERROR;
        return TARVO_RESULT_RENAMED;
    }
    ObjectEntry entry;
    if (FindObject(entry) != 0 ||
        MakeRenamedName(entry.Path().c_str(), RenameFilesTo, target, sizeof target) != 0)
        return TARVO_RESULT_WRITE_ERROR;
    ForgetHeldName(currentPath_);
    std::string chosen;
    if (entry.RenameUnique(target, &chosen) != 0) return TARVO_RESULT_WRITE_ERROR;
    if (savedMode_ != kNoMode) entry.SetMode(static_cast<mode_t>(savedMode_));
    CopyPathBuffer(renamedFrom_, currentPath_);
    CopyPathBuffer(renamedTo_, chosen.c_str());
    return TARVO_RESULT_RENAMED;
}

const char* ScanTask::NewNameOf(const char* path) const {
    return path && renamedFrom_[0] && strcmp(renamedFrom_, path) == 0 ? renamedTo_ : nullptr;
}

int ScanTask::CopyObjectTo(const char* target, const ObjectEntry* entry) {
    const uint8_t* data = nullptr;
    uint64_t size = 0;
    int in = -1;
    if (entry) {
        in = entry->OpenForReading();
        const int64_t length = in >= 0 ? FileSize(in) : -1;
        if (length < 0) {
            if (in >= 0) FileClose(in);
            return -1;
        }
        size = static_cast<uint64_t>(length);
    } else {
        uint32_t length = 0;
        data = GetMemoryFileData(&length, currentPath_);
        if (!data && length) return -1;
        size = length;
    }
    int out = -1;
    const auto create = [&out](const char* name) {
        out = FileOpen(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0);
        return out >= 0 ? 0 : -1;
    };
    std::string made;
    if (TryUniqueNames(target, create, &made) != 0) {
        if (in >= 0) FileClose(in);
        return -1;
    }
    // Read by offset: where a handle of the object stands says nothing.
    std::string chunk(kCopyChunk, '\0');
    bool ok = true;
    for (uint64_t copied = 0; ok && copied < size;) {
        const size_t want = size - copied < kCopyChunk ? static_cast<size_t>(size - copied) : kCopyChunk;
        const char* bytes = chunk.data();
        ssize_t got = static_cast<ssize_t>(want);
        if (data)
            bytes = reinterpret_cast<const char*>(data) + copied;
        else
            got = pread(in, &chunk[0], want, static_cast<off_t>(copied));
        // A file that shrank under the copy gives a short one: no move.
        ok = got > 0 && FileWrite(out, bytes, static_cast<size_t>(got)) == got;
        copied += ok ? static_cast<uint64_t>(got) : 0;
    }
    // Bytes added meanwhile would be lost with the original.
    if (ok && in >= 0 && FileSize(in) != static_cast<int64_t>(size)) ok = false;
    if (in >= 0) FileClose(in);
    if (ok && entry && savedMode_ != kNoMode) fchmod(out, static_cast<mode_t>(savedMode_ & 0777));
    if (FileClose(out) != 0) ok = false;
    if (!ok) unlink(made.c_str());
    return ok ? 0 : -1;
}

uint32_t ScanTask::MoveObject(const char* folder, int unlinkOriginal) {
    const bool inMemory = IsMemoryObject(currentPath_);
    if (!inMemory && access(currentPath_, R_OK) != 0) return TARVO_RESULT_READ_ERROR;
    ObjectEntry entry;
    if (!inMemory && FindObject(entry) != 0) return TARVO_RESULT_WRITE_ERROR;
    char dir[kPathBufSize];
    if (!folder || !ExpandPath(folder, dir, 1) || !dir[0] || !MakeDirs(dir)) return TARVO_RESULT_WRITE_ERROR;
    char target[kPathBufSize];
    if (MakeMoveTarget(dir, currentPath_, target) != 0) return TARVO_RESULT_WRITE_ERROR;
    // A window's object goes with the whole file: the rest of a mailbox, a
    // mail message's envelope.
    if (CopyObjectTo(target, inMemory ? nullptr : &entry) != 0) return TARVO_RESULT_WRITE_ERROR;
    if (!unlinkOriginal) return TARVO_RESULT_MOVED;
    ForgetHeldName(currentPath_);
    for (uint32_t attempt = 0; attempt < kUnlinkAttempts; ++attempt) {
        const int32_t removed = inMemory ? HostUnlinkFile(EngineContext(), currentPath_) : entry.Unlink();
        if (removed == 0) return TARVO_RESULT_MOVED;
        usleep(100);
    }
    return TARVO_RESULT_WRITE_ERROR;
}

void ScanTask::PrintObjectLine() {
    // Most objects print no line: the test is kept apart from the frame the line needs.
    if (RecordLineWanted()) PrintWantedObjectLine();
}

void ScanTask::PrintWantedObjectLine() {
    char prefix[512];
    prefix[0] = '\0';
    if (ObjectLinePrefix) ObjectLinePrefix(prefix, sizeof prefix);
    std::string levels;
    if (LogArchived || LogPacked) levels.assign(containerLevel_ < kPathMax ? containerLevel_ : kPathMax, '>');
    // One name, the usual case, is taken as it is.
    const char* name = objectNameStarts_.empty() ? "" : objectNames_.data();
    std::string joined;
    if (objectNameStarts_.size() > 1) {
        for (size_t start : objectNameStarts_) {
            if (!joined.empty()) joined += '/';
            joined += objectNames_.data() + start;
        }
        name = joined.c_str();
    }
    char text[kNameTextSize];
    PrintRecordPieces({prefix, levels.c_str(), FormatNameText(name, text, sizeof text)});
}

void ScanTask::PrintObjectName() {
    PrintObjectLine();
}

void ScanTask::ClearLine() {
    ConsoleClearLine(0);
}

uint32_t ScanTask::HostPackerReportWord() {
    return SettingsWord(kPackerReportWord);
}

uint32_t ScanTask::HostArchivesWord() {
    return SettingsWord(kArchivesWord);
}

uint32_t ScanTask::HostMailFilesWord() {
    return SettingsWord(kMailFilesWord);
}

int32_t ScanTask::HostMayCure() {
    return MayApplyAction(this, kActionCure, 1);
}
