// shell/scan: scan contexts and the scan task, its actions and their gate, the container walk,
// results and statistics. Uses base and the rest of shell; nothing of the daemon.
//
// The scan task: one scanning job of the daemon. It borrows an engine
// instance, hands it the object, applies the configured action to what the
// engine found, walks containers object by object and counts everything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "base/pathutil.h"
#include "engine/tarvo_engine_api.h"
#include "shell/engine/engineinstance.h"
#include "shell/host/hosttask.h"
#include "shell/scan/objectentry.h"
#include "shell/scan/scancounters.h"
#include "shell/scan/scanthread.h"

// The stack budget every caller gives a task.
constexpr uint32_t kScanStackBudget = 0x40000;
// Rescans of an object that the engine keeps answering as cured.
constexpr uint32_t kMaxCureRescans = 8;
// Polls of 100 microseconds that a task waits for a busy engine instance.
extern uint32_t EngineWaitPolls;

// Writes the process prefix of the daemon's per-request lines into buffer;
// null prints none. The daemon sets it.
extern void (*ObjectLinePrefix)(char* buffer, size_t size);
// The drive key of a "disk://" device, added to the drive map when it is
// missing (DriveKeyFor of the drive map); null leaves disk requests unserved.
extern uint32_t (*DiskDriveKeyFor)(const char* device);

class ScanTask : public ScanThread, public ScanTaskCounters, public HostTask {
public:
    // settings: copied (the process-wide settings when null); the second
    // word is not used.
    ScanTask(const TarvoMainSettings* settings, uint32_t unused, uint32_t stackBudget);
    ~ScanTask() override;

    int IsStopRequested() override;
    void Idle() override {}
    int FilterFile(const char* name, uint64_t size, const uint8_t* header, size_t headerLen) override;
    // The request road: the accumulated result bits; size 0 takes the size
    // from the file.
    uint32_t Scan(const char* path, uint64_t size) override;
    // The boot-record road (engine command 5).
    uint32_t ScanMemoryObject(const char* name, uintptr_t v1, uint32_t v2, uint32_t v3, uint32_t v4,
                              uint32_t v5, uint32_t v6) override;

    virtual uint32_t ActOnSuspicious(uint32_t r);
    virtual uint32_t ActOnInfected(uint32_t r);
    virtual uint32_t ActOnIncurable(uint32_t r, int lock);
    virtual uint32_t ActOnAdware(uint32_t r);
    virtual uint32_t ActOnDialer(uint32_t r);
    virtual uint32_t ActOnJoke(uint32_t r);
    virtual uint32_t ActOnRiskware(uint32_t r);
    virtual uint32_t ActOnHacktool(uint32_t r);
    virtual uint32_t DeleteObject();
    virtual uint32_t RenameObject();
    virtual uint32_t IgnoreObject();
    // Counts and reports the result bits of the current object; the bits
    // with those of the action applied.
    virtual uint32_t ProcessResult(uint32_t r);
    virtual uint32_t ApplyAction(uint32_t mask, int lock);
    // After the walk of a container: counts and reports it, and applies the
    // container action when something was found in it.
    virtual uint32_t ReportActionResult(uint32_t c, int32_t type);
    virtual uint32_t ActOnInfectedContainer(int32_t type);
    virtual bool IsContainerActionDestructive(int32_t type);
    // A free loaded engine instance marked busy, or null.
    virtual EngineInstance* GetFreeEngine();
    // The single-object road of the mail walk: no exclude test, no filter.
    virtual uint32_t ScanFile(const char* path, uint64_t size);
    // The same for a path of pathLength characters (strlen) that the caller measured already.
    uint32_t ScanFile(const char* path, size_t pathLength, uint64_t size);
    virtual void PrintObjectLine();
    virtual void PrintObjectName();
    virtual void ClearLine();
    virtual void OnObjectDone() {}
    virtual void PrintStats() {}
    virtual void PrintTotalStats() {}
    virtual void PrintTaskStats() {}
    virtual void PrintStatsSummary() {}
    virtual const char* GetCurrentPath() const { return currentPath_; }
    virtual EngineDispatcher GetDispatcher() const { return dispatcher_; }
    virtual uint32_t MoveObject(const char* folder, int unlinkOriginal);

    // The walk through a container whose object the engine answered with
    // the container bit: the result bits of its objects, -1 without an
    // engine. typeOut, when given, receives the container's type.
    uint32_t ScanContainer(uint32_t r, EngineInstance* engine, int32_t* typeOut);
    // Passes while the stack used since the scan began stays below the
    // budget less 64 KB; otherwise reports the overflow and fails.
    bool StackGuard();

    // The name the object is reported under, when it differs from its path.
    void SetDisplayName(const char* name);
    // The name the rename action gave the real file at path, or null when it did not rename it.
    const char* NewNameOf(const char* path) const;

    // The action gate could not have the lock in time for a cure of the current object.
    void NoteActionLockBusy() { actionLockBusy_ = 1; }
    bool ActionLockBusy() const { return actionLockBusy_ != 0; }
    uint32_t Depth() const { return depth_; }
    int32_t FoundClass() const { return foundClass_; }
    uint32_t ScanFlags() const { return scanFlags_; }
    uint32_t ContainerLevel() const { return containerLevel_; }
    bool Stopped() const { return stopped_ != 0; }
    const char* FindingName() const { return findingName_; }
    // The context handed to the engine with every command.
    void* EngineContext() { return static_cast<HostTask*>(this); }

    // HostTask: what the host services ask of the task.
    EngineDispatcher HostDispatcher() override { return dispatcher_; }
    char* HostFindingName() override { return findingName_; }
    void HostSetFoundClass(int32_t cls) override { foundClass_ = cls; }
    void HostPrintObjectLine() override { PrintObjectLine(); }
    void HostPrintObjectName() override { PrintObjectName(); }
    void HostRaiseContainerLevel() override { ++containerLevel_; }
    uint32_t HostPackerReportWord() override;
    uint32_t HostArchivesWord() override;
    uint32_t HostMailFilesWord() override;
    int32_t HostMayCure() override;

private:
    // One engine instance borrowed for one road; released however it ends.
    class EngineBorrow;

    // GetFreeEngine past its usual case: the search of every instance, waiting while all are busy.
    EngineInstance* SearchFreeEngine();
    // A stop or a time-out is under way: notes it (and reports a time-out once); 1.
    int NoteStop();
    bool IsExcluded(const char* path);
    // Holds the object (path, of pathLength characters) open for the engine, its mode saved: its size
    // (from the file when size is 0).
    inline uint64_t OpenObject(const char* path, size_t pathLength, uint64_t size);
    // After the object's own scan (r its last answer, result all of them): walks it when it is a
    // container, counts it when it stays infected, lets go of it; the result with the walk's.
    inline uint32_t FinishObject(uint32_t r, uint32_t result);
    // At the rescan cap, with the engine still answering "cured": the answer r without the cure,
    // the cures counted since curesBefore taken back.
    uint32_t CureDidNotHold(uint32_t r, uint32_t curesBefore);
    bool IsMemoryObject(const char* path) const;
    // The object line itself, once it is known to be wanted.
    void PrintWantedObjectLine();
    // Notes which file the held handle is, its mode and whether it was
    // reached through a window into a bigger file.
    inline void NoteObject(int32_t handle);
    void NoteRealObject(int32_t handle);
    // Finds the scanned object again for an action: 0, or -1 when its name
    // no longer leads to it.
    int FindObject(ObjectEntry& entry) const;
    // The saved mode put back on the object after a cure.
    void RestoreFileMode();
    // Copies the object, all of it from its start, to a new file at target
    // (another name after it when that is taken): 0, or -1 with nothing
    // left behind.
    int CopyObjectTo(const char* target, const ObjectEntry* entry);
    void SetLimit();
    void PushName(const char* name);
    // The same for a name of length characters (strlen) measured already.
    inline void PushName(const char* name, size_t length);
    void PopName();
    void ReleaseEngine();
    // No engine to scan path with: a read error and its line, unless the task was stopped.
    uint32_t NotScanned(const char* path);
    void CountLeftInfected();
    void CountProtected();
    uint32_t ClassAction(int32_t cls);
    inline int32_t EngineCommand4(const char* path, uint64_t size);
    uint32_t WithoutLockVerdict(uint32_t r) const;
    void PrintText(const char* text);
    uint32_t WalkContainer(uint32_t result, TarvoObjectRecord* record, int32_t type);
    bool EndsWalk(uint32_t q) const;

    char displayName_[kPathBufSize] = {};
    uint32_t nameNotPrinted_ = 0;
    uint32_t archiveNesting_ = 0;
    uint32_t insideArchive_ = 0;
    uint64_t objectSize_ = 0;
    EngineInstance* engine_ = nullptr;
    EngineDispatcher dispatcher_ = nullptr;
    uint32_t containerLevel_ = 0;
    uint32_t savedMode_ = UINT32_MAX;
    FileIdentity objectId_;
    bool windowPart_ = false;
    uint32_t stackBudget_;
    uintptr_t stackBase_ = 0;
    int32_t foundClass_ = -1;
    char findingName_[TARVO_FINDING_NAME_SIZE] = {};
    char currentPath_[kPathBufSize] = {};
    char renamedFrom_[kPathBufSize] = {};
    char renamedTo_[kPathBufSize] = {};
    // The names of the objects being scanned, outermost first, each ended by a zero, where each
    // starts and where the last ends: kept from object to object, so that a push takes no block.
    std::vector<char> objectNames_;
    std::vector<size_t> objectNameStarts_;
    size_t objectNamesEnd_ = 0;
    uint32_t stopAfterThis_ = 0;
    uint32_t scanFlags_ = 0;
    uint32_t depth_ = 0;
    uint32_t noActions_ = 0;
    uint32_t stopped_ = 0;
    uint32_t timeoutReported_ = 0;
    uint32_t stackOverflow_ = 0;
    uint32_t actionLockBusy_ = 0;
};
