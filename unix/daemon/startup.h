// The options load that every start and every reload runs, and the release of what it built.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>

// Non-zero while LoadOptions runs for a reload (set by the reload), 0 at the first start.
extern int ReloadingOptions;
// 1 until the launcher hands over to StartDaemon; the user switch happens only while it is set.
extern int FirstStart;
// The engine's answer to the keep-engine command after its last load: non-zero lets a reload keep
// the loaded engine and only refresh the bases.
extern int32_t KeepEngineWord;
// What the base load returned, for the version answers.
extern uint32_t LoadedRecordCount;
// The budget of every master-child pipe exchange, in seconds.
extern int32_t PipeTimeout;
// The engine instance that LoadOptions loaded, or -1.
extern int ActiveEngine;
// --check-only found something wrong: the launcher must not exit with 0.
extern int OptionsCheckFailed;

// The engine file as it was when the engine was last loaded.
struct EngineFileStatus {
    dev_t device;
    ino_t inode;
    off_t size;
    time_t changeTime;
};
extern EngineFileStatus SavedEngineStatus;
// The status of path, zeroed when it cannot be had.
EngineFileStatus StatEngineFile(const char* path);
// Changed unless every field of saved is non-zero and equal to now.
bool EngineFileChanged(const EngineFileStatus& saved, const EngineFileStatus& now);

// The arguments of main, for the reloads.
extern int SavedArgc;
extern const char* const* SavedArgv;

// 0 when the daemon may start; -1 otherwise, also after help, version output and --check-only
// (OptionsCheckFailed tells whether the check found errors).
int LoadOptions(int argc, const char* const* argv);
// Frees what LoadOptions built; a reload with the keep-engine word keeps the engine.
void ReleaseResources();
// ReleaseResources, then every listener closed with shutdown and its socket file removed.
void ShutdownCleanup();
// The status the launcher exits with when LoadOptions gave -1: 0 after a version request or a clean
// --check-only, 255 otherwise (help included, and a check that found errors).
int FailedOptionsExitStatus();
