// The client protocol's requests from a byte stream: the input is written into one end of a socket
// pair, which is then shut for writing, and the dispatcher serves the other end until it closes the
// connection. With a 32-bit build the stand-in engine scans what the requests carry.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "shell/disk/drivemap.h"
#include "shell/host/memfile.h"
#include "shell/settings/scankeys.h"
#include "shell/scan/scantask.h"
#include "tests/base/scratch_dir.h"
#include "tests/unix/engine_fixture.h"
#include "tests/unix/peer.h"
#include "unix/config/daemonsettings.h"
#include "unix/protocol/scanrequest.h"
#include "unix/config/settingslife.h"
#include "unix/protocol/dispatch.h"
#include "unix/protocol/protocolsettings.h"

namespace {

// Larger inputs would not fit the socket's buffer before the dispatcher reads them.
constexpr size_t kMaxInput = 64 * 1024;

struct Harness {
    ScratchDir folder;
    std::string temp = folder / "tmp";
    std::string moved = folder / "moved"; // where the move and backup actions put objects
    std::unique_ptr<StandInEngine> engine;
};

Harness* harness = nullptr;

// The commands that only read what the client sends and scan it. The update script (9) runs a
// program, and the disk scan (11) opens this machine's disks.
CommandHandler SafeCommand(uint32_t code) {
    return code == 9 || code == 11 ? nullptr : FindCommandHandler(code);
}

void EmptyFolder(const std::string& path) {
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* e = readdir(dir))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                unlink((path + "/" + e->d_name).c_str());
        closedir(dir);
    }
}

void Drain(int fd) {
    char piece[4096];
    while (read(fd, piece, sizeof piece) > 0) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    signal(SIGPIPE, SIG_IGN);
    harness = new Harness;
    // The engine is stopped before the leak check at exit: what it holds is not lost.
    atexit([] {
        delete harness;
        harness = nullptr;
        FreeSettings();
    });
    if (harness->folder.path().empty() || mkdir(harness->temp.c_str(), 0700) != 0 ||
        mkdir(harness->moved.c_str(), 0700) != 0)
        Fault("no scratch folder");
    CreateSettings();
    if (sizeof(void*) == 4) {
        harness->engine = std::make_unique<StandInEngine>();
        if (harness->engine->Records() == 0) fprintf(stderr, "fuzz: the stand-in engine did not start\n");
    }
    // Names on the server resolve inside the scratch folder, and no disk of this machine is scanned.
    if (chdir(harness->folder.path().c_str()) != 0) Fault("cannot enter the scratch folder");
    DiskDriveKeyFor = nullptr;
    QuietLog();
    snprintf(LogFileName, sizeof LogFileName, "%s", (harness->folder / "tarvo.log").c_str());
    snprintf(TempPath, sizeof TempPath, "%s", harness->temp.c_str());
    snprintf(MoveFilesTo, sizeof MoveFilesTo, "%s", harness->moved.c_str());
    snprintf(BackupFilesTo, sizeof BackupFilesTo, "%s", harness->moved.c_str());
    SocketTimeout = 2;
    FileTimeout = 5;
    LogTime = 0;
    LogProcessInfo = 0;
    CollectReportLines = 1;
    LogScanned = 1;
    LogInfected = 1;
    UseDiskForSwap = 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    KeepFuzzerTimer timer;
    const int descriptors = OpenDescriptors();
    // Both ways of receiving an object: into memory and into a temporary file.
    RequestMemoryLimit = size % 2 ? kMemoryFileMaxReceive : 0;
    {
        SocketPair pair;
        if (pair.ours < 0) Fault("no socket pair");
        fcntl(pair.theirs, F_SETFL, fcntl(pair.theirs, F_GETFL) | O_NONBLOCK);
        const int room = static_cast<int>(2 * kMaxInput);
        setsockopt(pair.theirs, SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
        if (!PeerWrite(pair.theirs, std::string(reinterpret_cast<const char*>(data), size)))
            Fault("the request does not fit the socket");
        shutdown(pair.theirs, SHUT_WR);
        for (size_t commands = 0; commands <= size / 4; ++commands) {
            const int result = DispatchCommandWith(SafeCommand, pair.ours, false);
            Drain(pair.theirs);
            if (result <= 0) break;
        }
    }
    if (FolderEntries(harness->temp.c_str()) != 0) Fault("a file was left in the temporary folder");
    if (ServerPathBuffer[0]) Fault("the temporary file's path outlived its request");
    if (MemoryFiles && MemoryFiles->Count() != 0) Fault("a memory file outlived its request");
    if (OpenDescriptors() != descriptors) Fault("a descriptor was left open");
    unlink(LogFileName);
    EmptyFolder(harness->moved);
    return 0;
}
