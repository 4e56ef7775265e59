// Any bytes as a mail object of a client through the mail walk, with the stand-in engine scanning
// the parts (32-bit builds). The first byte chooses the actions the request asks for. Whatever the
// message, the walk must leave no temporary file, memory file or descriptor behind and must put back
// every process-wide setting it changed.
#include <fcntl.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/engine_harness.h"
#include "fuzz/fuzz_support.h"
#include "mail/walk/mailsettings.h"
#include "mail/walk/mailwalk.h"
#include "shell/host/hostreport.h"
#include "shell/host/memfile.h"
#include "shell/scan/requestoption.h"
#include "shell/scan/scanstop.h"
#include "tests/mail/walk/process_state.h"
#include "tests/unix/peer.h"

namespace {

// The reply, the message written back among it, must fit the socket's buffer.
constexpr size_t kMaxInput = 48 * 1024;
constexpr char kObjectName[] = "client.eml";

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartEngineHarness("backups");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > kMaxInput) return 0;
    KeepFuzzerTimer timer;
    const uint8_t choice = data[0];
    // Cure, delete, delete incurable, delete suspicious; the object back or not; the lists and statistics.
    RequestOptionWord = 0x7u | (choice & 1u ? 1u << 6 : 0) | (choice & 2u ? 1u << 9 : 0) |
                        (choice & 4u ? 1u << 12 : 0) | (choice & 8u ? 1u << 15 : 0) |
                        (choice & 16u ? 1u << 21 : 0) | (choice & 32u ? 1u << 5 : 0);
    StopOnFirstInfected = choice & 64u ? 1 : 0;
    LogExtendedMailInfo = choice & 128u ? 1 : 0;
    const std::string before = MailProcessWideState();
    const int descriptors = OpenDescriptors();
    CreateMemoryFileList();
    if (!AddMemoryFile(data + 1, static_cast<uint32_t>(size - 1), kObjectName)) Fault("no memory file");
    {
        SocketPair pair;
        if (pair.ours < 0) Fault("no socket pair");
        const int room = static_cast<int>(8 * kMaxInput);
        setsockopt(pair.ours, SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
        setsockopt(pair.theirs, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
        fcntl(pair.theirs, F_SETFL, fcntl(pair.theirs, F_GETFL) | O_NONBLOCK);
        TimeBudget budget = 2000;
        ScanMailObject(pair.ours, budget, static_cast<uint32_t>(size - 1), 1, kObjectName);
        Drain(pair.theirs);
    }
    if (MemoryFiles->Count() != 1 || !MemoryFiles->FindName(kObjectName))
        Fault("a memory file outlived the walk");
    FreeMemoryFiles();
    CheckNothingLeft(descriptors);
    if (MailProcessWideState() != before) Fault("a process-wide setting was changed");
    if (FoundList.Count() || TaggedList.Count() || FoundListCopy.Count())
        Fault("a found list was left filled");
    return 0;
}
