#include "shell/engine/engines.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "base/filelayer.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "base/strutil.h"
#include "base/version.h"
#include "engine/tarvo_engine_api.h"
#include "shell/loader/enginemodule.h"
#include "shell/host/hostfiles.h"
#include "shell/host/hostservices.h"
#include "shell/scan/lockword.h"
#include "shell/loader/peimage.h"
#include "shell/settings/shellkeys.h"
#include "shell/engine/virbase.h"

std::unique_ptr<EngineInstance[]> EngineTable;
uint32_t LoadedEngineCount = 0;
uint32_t EngineOptionWord = TARVO_OPTION_WORD;
uint32_t BaseRecordWord = 0;
char EngineFilePath[kPathBufSize];
volatile uint32_t EngineTableLock = 0;
uint32_t EngineBusyWaitPolls = 10000;
char ShellVersionText[kVersionTextSize];
char EngineVersionText[kVersionTextSize];

namespace {

constexpr const char kEngineFileName[] = "tarvo32.dll";
// The interface the shell speaks; the engine's major must match.
constexpr unsigned kShellApiMajor = TARVO_API_VERSION_MAJOR;
constexpr unsigned kShellApiMinor = 2;

// Empties the record; a mapped module goes with it.
void ClearInstance(EngineInstance* instance) {
    if (!IsUnsetWord(instance->module)) UnloadEngineModule(instance);
    std::unique_ptr<BaseList> bases(instance->bases);
    *instance = EngineInstance{};
}

void BuildEngineVersionText(const EngineInstance* instance) {
    uint16_t major = 0, minor = 0, build = 0, revision = 0;
    char text[kVersionTextSize];
    int n;
    if (GetEngineModuleVersion(instance, &major, &minor, &build, &revision))
        n = std::snprintf(text, sizeof text, "%u.%u.%u.%u", major, minor, build, revision);
    else
        n = std::snprintf(text, sizeof text, "%u.%u", instance->engineVersion / 100,
                          instance->engineVersion % 100);
    if (n < 0) n = 0;
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), " <API:%u.%u>",
                  static_cast<unsigned>(TARVO_API_VERSION_MAJOR_OF(instance->apiVersion)),
                  static_cast<unsigned>(TARVO_API_VERSION_MINOR_OF(instance->apiVersion)));
    std::memcpy(EngineVersionText, text, sizeof text);
}

int LoaderErrorCode() {
    switch (PE_LastError) {
    case PE_ERROR_NO_MEMORY:
        return kEngineNoMemory;
    case PE_ERROR_CANNOT_OPEN:
        return kEngineCannotRead;
    case PE_ERROR_BAD_FORMAT:
        return kEngineNotAnEngine;
    default:
        return -1;
    }
}

// Opens and closes path with the host's open service: true when it opens.
bool Opens(const char* path) {
    int32_t handle = HostOpenFile(nullptr, path, TARVO_OPEN_READ);
    if (handle == -1) return false;
    HostCloseFile(nullptr, handle);
    return true;
}

} // namespace

int CreateEngineTable() {
    if (!EngineTable) EngineTable.reset(new (std::nothrow) EngineInstance[kEngineTableSize]());
    return EngineTable ? 0 : -1;
}

void DeleteEngineTable() {
    if (!EngineTable) return;
    for (uint32_t i = 0; i < kEngineTableSize; i++) std::unique_ptr<BaseList> bases(EngineTable[i].bases);
    EngineTable.reset();
}

int LoadEngine() {
    LockWordGuard lock(EngineTableLock);
    if (!lock || !EngineTable) return -1;
    uint32_t used = EngineInstanceLimit < kEngineRecordsUsed ? EngineInstanceLimit : kEngineRecordsUsed;
    uint32_t index = 0;
    while (index < used && IsEngineLoaded(&EngineTable[index])) index++;
    if (index >= used) return -1;
    int code = InitEngineInstance(&EngineTable[index], BaseRecordWord);
    if (code == kEngineStarted) {
        LoadedEngineCount++;
        return static_cast<int>(index);
    }
    switch (code) {
    case kEngineNoMemory:
        LogErrorf(MessageText(92), EngineFilePath);
        break;
    case kEngineCannotRead:
        LogErrorf(MessageText(89), EngineFilePath);
        break;
    case kEngineNotAnEngine:
        LogErrorf(MessageText(90), EngineFilePath);
        break;
    case kEngineWrongInterface:
        LogErrorf(MessageText(203), EngineVersionText, ShellVersionText);
        break;
    default:
        LogErrorf(MessageText(91), EngineFilePath);
        break;
    }
    return -1;
}

int InitEngineInstance(EngineInstance* instance, uint32_t baseRecordWord) {
    if (!instance) return -1;
    UnloadEngine(instance);
    if (IsEngineLoaded(instance)) return -1;
    LockWordGuard lock(BaseLock);
    if (!lock) return -1;
    // Every failure lets go of the lock first: the unload takes it again.
    auto fail = [&](int code) {
        lock.Release();
        if (IsEngineLoaded(instance))
            UnloadEngine(instance);
        else
            ClearInstance(instance);
        return code;
    };
    instance->module = LoadEngineModule(EngineFilePath);
    if (!instance->module) return fail(LoaderErrorCode());
    auto entry = reinterpret_cast<TarvoInitDllEntry>(GetEngineExport(instance, TARVO_INIT_DLL_NAME));
    if (!entry) return fail(kEngineNoEntry);
    EngineDispatcher dispatcher =
        entry(HostServiceTable, TARVO_HOST_SERVICE_COUNT, &EngineOptionWord, baseRecordWord);
    if (IsUnsetWord(reinterpret_cast<uintptr_t>(dispatcher))) return fail(kEngineEntryRefused);
    instance->dispatcher = dispatcher;
    instance->engineVersion = static_cast<uint32_t>(dispatcher(nullptr, TARVO_CMD_VERSION));
    instance->apiVersion = static_cast<uint32_t>(dispatcher(nullptr, TARVO_CMD_API_VERSION));
    BuildEngineVersionText(instance);
    if (TARVO_API_VERSION_MAJOR_OF(instance->apiVersion) != kShellApiMajor)
        return fail(kEngineWrongInterface);
    return kEngineStarted;
}

int UnloadEngine(EngineInstance* instance) {
    if (!instance) return 0;
    LockWordGuard lock(BaseLock);
    if (!lock) return 0;
    for (uint32_t polls = 0; IsEngineLoaded(instance); polls++) {
        if (!instance->busy) {
            instance->busy = 1;
            instance->dispatcher(nullptr, TARVO_CMD_SHUTDOWN);
            ClearInstance(instance);
            return 1;
        }
        // Nothing else runs while this waits: a scan context that holds the
        // instance cannot let go of it, so the wait is bounded.
        if (polls >= EngineBusyWaitPolls) return 0;
        usleep(100);
    }
    return 0;
}

int CheckEnginePath() {
    if (!ExpandPath(EnginePath, EngineFilePath, 1) || !EngineFilePath[0]) return 1;
    // A folder opens too: it is taken as the folder of the engine file.
    if (!IsDirectoryMode(GetFileMode(EngineFilePath)) && Opens(EngineFilePath)) return 0;
    char inFolder[kPathBufSize + sizeof kEngineFileName + 1];
    std::snprintf(inFolder, sizeof inFolder, "%s/%s", EngineFilePath, kEngineFileName);
    SqueezeChar(inFolder, '/');
    if (std::strlen(inFolder) > kPathMax || !Opens(inFolder)) return 1;
    CopyPathBuffer(EngineFilePath, inFolder);
    return 0;
}

const char* GetProgramVersion() {
    return FullVersionText;
}

void BuildVersionString() {
    std::snprintf(ShellVersionText, sizeof ShellVersionText, "%d.%d%s.%02u%02u%d <API:%u.%u>", VersionMajor,
                  VersionMinor, VersionSuffix, kShellApiMajor, kShellApiMinor, BuildNumber, kShellApiMajor,
                  kShellApiMinor);
}
