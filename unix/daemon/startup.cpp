#include "unix/daemon/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "base/consolevideo.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "base/outputmode.h"
#include "engine/tarvo_engine_api.h"
#include "shell/loader/enginemodule.h"
#include "shell/engine/engines.h"
#include "shell/scan/lockword.h"
#include "shell/engine/versionscreen.h"
#include "shell/engine/virbase.h"
#include "unix/daemon/basesage.h"
#include "unix/config/cmdline.h"
#include "unix/config/configreader.h"
#include "unix/config/configwarnings.h"
#include "unix/config/daemonsettings.h"
#include "unix/pool/listeners.h"
#include "unix/daemon/notifymail.h"
#include "unix/config/poolparams.h"
#include "unix/pool/processpool.h"
#include "unix/config/settingslife.h"
#include "unix/config/socketconfig.h"
#include "unix/daemon/switchuser.h"
#include "unix/daemon/temppath.h"

int ReloadingOptions = 0;
int FirstStart = 1;
int32_t KeepEngineWord = 0;
uint32_t LoadedRecordCount = 0;
int32_t PipeTimeout = 0;
int ActiveEngine = -1;
int OptionsCheckFailed = 0;
EngineFileStatus SavedEngineStatus{};
int SavedArgc = 0;
const char* const* SavedArgv = nullptr;

namespace {

constexpr uint32_t kBannerMessages[] = {1, 2, 3, 4};
constexpr uint32_t kExpandedMessages[] = {0, 1, 6};

void Line(const char* text) {
    PrintMessage("%s", text);
    EndMessageLine(0);
}

void Say(uint32_t message) {
    Line(MessageText(message));
}

void SayWithText(uint32_t message, const char* text) {
    PrintMessage(MessageText(message), text);
    EndMessageLine(0);
}

void PrintEngineVersions() {
    PrintMessage("%s: %s", MessageText(204), ShellVersionText);
    EndMessageLine(0);
    PrintMessage("%s: %s", MessageText(150), EngineVersionText);
    EndMessageLine(0);
}

bool KeptEngine() {
    return ReloadingOptions && KeepEngineWord;
}

EngineInstance* Active() {
    return ActiveEngine >= 0 ? EngineAt(static_cast<uint32_t>(ActiveEngine)) : nullptr;
}

int32_t AskKeepEngine() {
    EngineInstance* engine = Active();
    if (!IsEngineLoaded(engine)) return 0;
    return engine->dispatcher(nullptr, TARVO_CMD_KEEP_ENGINE, TARVO_KEEP_ENGINE_AT_START);
}

// Every file of the instance's base list is still there.
bool BaseFilesExist(const EngineInstance* engine) {
    if (engine == nullptr || engine->bases == nullptr) return false;
    for (const BaseRecord& record : engine->bases->records) {
        struct stat st;
        if (stat(record.path.c_str(), &st) != 0) return false;
    }
    return true;
}

// The bases, then the engine of every loaded instance.
void UnloadEngines() {
    for (uint32_t i = 0; i < kEngineRecordsUsed; ++i) {
        EngineInstance* engine = EngineAt(i);
        if (!IsEngineLoaded(engine)) continue;
        uint32_t count = 0;
        UnloadVirusBases(engine, &count);
        LockWordGuard lock(EngineTableLock);
        UnloadEngine(engine);
    }
    ActiveEngine = -1;
}

// A fresh engine table and module list, the engine loaded into it: 0, or -1.
int LoadEngineAfresh() {
    UnloadEngines();
    EngineModules.reset();
    DeleteEngineTable();
    SavedEngineStatus = StatEngineFile(EngineFilePath);
    if (CreateEngineTable() != 0) return -1;
    EngineModules = std::make_unique<PE_Lib>();
    ActiveEngine = LoadEngine();
    if (ActiveEngine < 0) return -1;
    KeepEngineWord = AskKeepEngine();
    return 0;
}

// The bases of a reload that keeps the engine: refreshed in place when nothing speaks against it,
// otherwise everything unloaded and loaded afresh. The record count, 0 on failure.
uint32_t ReloadBases(bool engineChanged) {
    EngineInstance* engine = Active();
    if (!engineChanged && BaseFilesExist(engine)) {
        PrintEngineVersions();
        const int32_t count = UpdateVirusBases(engine, &BaseRecordWord);
        if (count >= 0) return static_cast<uint32_t>(count);
    }
    if (LoadEngineAfresh() != 0) return 0;
    PrintEngineVersions();
    return LoadVirusBases(Active(), &BaseRecordWord);
}

} // namespace

EngineFileStatus StatEngineFile(const char* path) {
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0) return EngineFileStatus{};
    return EngineFileStatus{st.st_dev, st.st_ino, st.st_size, st.st_ctime};
}

bool EngineFileChanged(const EngineFileStatus& saved, const EngineFileStatus& now) {
    const bool known = saved.device != 0 && saved.inode != 0 && saved.size != 0 && saved.changeTime != 0;
    return !(known && saved.device == now.device && saved.inode == now.inode && saved.size == now.size &&
             saved.changeTime == now.changeTime);
}

int LoadOptions(int argc, const char* const* argv) {
    OptionsCheckFailed = 0;
    BuildVersionString();
    if (!CreateMessageCatalogue()) return -1;

    if (!KeptEngine()) {
        if (CreateEngineTable() != 0) return -1;
    } else if (!EngineTable) {
        return -1;
    }

    if (InitSettings(argc, argv) != 0) return -1;
    const int32_t configResult = LoadConfiguration();
    // A load that fails for want of its configuration acts on none of the built-in defaults: it
    // makes no temporary folder and looks for no engine where nobody configured them.
    const bool configLost = configResult == -1 && !CheckOnlyFlag;
    PipeTimeout = PipeTimeoutSeconds();
    if (!configLost) ApplyTempPath();
    AddDefaultSocket();
    ParseCommandLine();

    LoadDefaultMessages();
    for (uint32_t n : kExpandedMessages)
        if (MessageCatalogue && MessageCatalogue[n])
            ExpandVersionTemplate(MessageCatalogue[n], MessageCatalogue[n]);

    const bool engineBad = !configLost && CheckEnginePath() != 0;
    bool engineChanged = false;
    if (ReloadingOptions)
        engineChanged = EngineFileChanged(SavedEngineStatus, StatEngineFile(EngineFilePath));

    ClearLogBuffers();
    if (OverwriteLog && LogToFile && !CheckOnlyFlag) {
        // A first start may still find its sockets taken by a running daemon that owns this log.
        if (FirstStart)
            MarkLogForOverwrite();
        else
            DeleteLogFile();
    }

    if (HelpFlag && !CheckOnlyFlag) {
        LogToSyslog = 0;
        LogFileName[0] = '\0';
        OutputMode = OutputModeTerminal;
        OpenConsoleVideo();
        PrintUsage();
        CloseConsoleVideo();
        return -1;
    }

    // A log about to be overwritten is not worth a backup.
    if (!LogOverwritePending()) RotateLogFile();
    OpenConsoleVideo();
    Say(0);
    for (uint32_t n : kBannerMessages) Say(n);

    if (VersionFlag) {
        PrintVersions();
        if (!CheckOnlyFlag) return -1;
    }

    bool bad = false;
    // A step that fails: with --check-only it is noted and the checks go on.
    auto failed = [&]() {
        bad = true;
        return !CheckOnlyFlag;
    };

    if (configResult == -1) {
        SayWithText(108, ConfigFilePath);
        FlushLogLine();
        if (failed()) return -1;
    } else if (configResult > 0 || engineBad) {
        bad = true;
    }

    if (FirstStart && !ChildSlots) {
        const int32_t slots = PoolParameters.maxChildren > 0 ? PoolParameters.maxChildren : 1;
        if (CreateSlotTable(static_cast<size_t>(slots)) != 0) return -1;
    }

    if (FirstStart) {
        if (SwitchUser(CheckOnlyFlag)) {
            // The reloads read the file again, as the new user; -ni reads none, and a file that
            // could not be read has been reported already.
            if (!NoIniFlag && configResult != -1) {
                FILE* again = fopen(ConfigFilePath, "r");
                if (again) {
                    fclose(again);
                } else {
                    SayWithText(108, ConfigFilePath);
                    if (failed()) return -1;
                }
            }
        } else if (failed()) {
            return -1;
        }
    }

    if (!CheckOnlyFlag) CheckTempPathWritable();

    // Whether the engine stayed loaded through this reload: the new answer below decides only the
    // next reload.
    const bool keptEngine = KeptEngine();
    bool engineLoaded = true;
    if (!keptEngine) {
        SavedEngineStatus = StatEngineFile(EngineFilePath);
        ActiveEngine = LoadEngine();
        if (ActiveEngine < 0) {
            engineLoaded = false;
            if (failed()) return -1;
        }
    }
    if (engineLoaded) KeepEngineWord = AskKeepEngine();

    uint32_t count = 0;
    if (keptEngine) {
        count = ReloadBases(engineChanged);
    } else if (!engineLoaded) {
        PrintEngineVersions();
    } else {
        PrintEngineVersions();
        count = LoadVirusBases(Active(), &BaseRecordWord);
    }
    if (count == 0) {
        LogErrorf("%s", MessageText(93));
        if (failed()) return -1;
    }
    LoadedRecordCount = count;

    if (CheckBasesTimestamp() == 1) {
        if (!NotifyObsoleteBases())
            Line("Error occured while sending notification about obsolete bases to admin");
        Line("Dear Administrator,Your virus bases are not up to date. Please run updating script manually or "
             "use "
             "cron for this purpose.");
    }

    PrintConfigWarnings();

    // A Socket key none of whose values could be used: rather no daemon than one that listens where
    // nobody asked it to.
    if (ConfiguredSocketsUnusable()) {
        LogErrorf("No valid socket address configured!");
        if (failed()) return -1;
    }

    if (!CheckOnlyFlag) return 0;
    OptionsCheckFailed = bad ? 1 : 0;
    Line(bad ? "Options ERROR" : "Options OK");
    return -1;
}

void ReleaseResources() {
    if (PoolParameters.statistics) PrintPoolStatistics();
    FreeAllSettings();
    FlushLogLine();
    ClearLogBuffers();
    const bool keep = KeptEngine();
    if (!keep) UnloadEngines();
    CloseConsoleVideo();
    FreeMessageCatalogue();
    if (!keep) {
        EngineModules.reset();
        DeleteEngineTable();
    }
    LoadedBaseList.Clear();
}

void ShutdownCleanup() {
    ReleaseResources();
    CloseListeners(1, 1);
}

int FailedOptionsExitStatus() {
    if (CheckOnlyFlag) return OptionsCheckFailed ? 255 : 0;
    return OptionsExitStatus();
}
