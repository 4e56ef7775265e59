// What the fuzz targets that scan with the stand-in engine share: a scratch folder they run in, with
// a temporary folder and one the actions keep objects in, the engine itself (32-bit builds), the
// settings of a quiet child, and the checks that one input left no file or descriptor behind.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/logwriter.h"
#include "fuzz/fuzz_support.h"
#include "shell/scan/scantask.h"
#include "shell/settings/scankeys.h"
#include "tests/base/scratch_dir.h"
#include "tests/unix/engine_fixture.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/settingslife.h"
#include "unix/protocol/protocolsettings.h"

namespace {

struct EngineHarness {
    ScratchDir folder;
    std::string temp = folder / "tmp";
    std::string kept; // where the backup action (and the move, where a target uses it) puts objects
    std::unique_ptr<StandInEngine> engine;
};

EngineHarness* harness = nullptr;

// Called once from LLVMFuzzerInitialize; keptName is the sub-folder of the kept objects.
inline void StartEngineHarness(const char* keptName) {
    signal(SIGPIPE, SIG_IGN);
    // Before anything logs: the engine's start reports its bases.
    QuietLog();
    harness = new EngineHarness;
    harness->kept = harness->folder / keptName;
    // The engine is stopped before the leak check at exit: what it holds is not lost.
    atexit([] {
        delete harness;
        harness = nullptr;
        FreeSettings();
    });
    if (harness->folder.path().empty() || mkdir(harness->temp.c_str(), 0700) != 0 ||
        mkdir(harness->kept.c_str(), 0700) != 0)
        Fault("no scratch folder");
    CreateSettings();
    if (sizeof(void*) == 4) {
        harness->engine = std::make_unique<StandInEngine>();
        if (harness->engine->Records() == 0) fprintf(stderr, "fuzz: the stand-in engine did not start\n");
    }
    // Names on the server resolve inside the scratch folder, and no disk of this machine is scanned.
    if (chdir(harness->folder.path().c_str()) != 0) Fault("cannot enter the scratch folder");
    DiskDriveKeyFor = nullptr;
    snprintf(TempPath, sizeof TempPath, "%s", harness->temp.c_str());
    snprintf(BackupFilesTo, sizeof BackupFilesTo, "%s", harness->kept.c_str());
    SocketTimeout = 2;
    FileTimeout = 5;
    LogTime = 0;
    LogProcessInfo = 0;
    LogScanned = 1;
    LogInfected = 1;
    UseDiskForSwap = 1;
}

// Reads what the client end holds until it would block.
inline void Drain(int fd) {
    char piece[4096];
    while (read(fd, piece, sizeof piece) > 0) {
    }
}

// After an input: nothing in the temporary folder, and no more descriptors than before it.
inline void CheckNothingLeft(int descriptorsBefore) {
    if (FolderEntries(harness->temp.c_str()) != 0) Fault("a file was left in the temporary folder");
    if (OpenDescriptors() != descriptorsBefore) Fault("a descriptor was left open");
}

} // namespace
