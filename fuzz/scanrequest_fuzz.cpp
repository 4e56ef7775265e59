// The client protocol's requests from a byte stream: the input is written into one end of a socket
// pair, which is then shut for writing, and the dispatcher serves the other end until it closes the
// connection. With a 32-bit build the stand-in engine scans what the requests carry.
#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/engine_harness.h"
#include "fuzz/fuzz_support.h"
#include "shell/host/memfile.h"
#include "tests/unix/peer.h"
#include "unix/protocol/dispatch.h"
#include "unix/protocol/scanrequest.h"

namespace {

// Larger inputs would not fit the socket's buffer before the dispatcher reads them.
constexpr size_t kMaxInput = 64 * 1024;

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

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartEngineHarness("moved");
    snprintf(LogFileName, sizeof LogFileName, "%s", (harness->folder / "tarvo.log").c_str());
    snprintf(MoveFilesTo, sizeof MoveFilesTo, "%s", harness->kept.c_str());
    CollectReportLines = 1;
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
    if (ServerPathBuffer[0]) Fault("the temporary file's path outlived its request");
    if (MemoryFiles && MemoryFiles->Count() != 0) Fault("a memory file outlived its request");
    CheckNothingLeft(descriptors);
    unlink(LogFileName);
    EmptyFolder(harness->kept);
    return 0;
}
