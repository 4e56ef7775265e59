// The mail walk run in a child process against the stand-in engine and its demo base, with one end
// of a socket pair as the client: the reply is decoded by the client library, and the child reports
// what the walk left behind in the process (settings, memory files, descriptors).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "base/logwriter.h"
#include "mail/walk/mailsettings.h"
#include "shell/host/hostreport.h"
#include "shell/host/memfile.h"
#include "shell/scan/requestoption.h"
#include "shell/settings/scankeys.h"
#include "shell/scan/scanstop.h"
#include "tests/base/scratch_dir.h"
#include "tests/mail/walk/process_state.h"
#include "tests/unix/scan_server.h"
#include "unix/client/tvclientwire.h"
#include "mail/walk/mailwalk.h"
#include "unix/config/daemonsettings.h"

namespace {

// OPT1 bits of the tests.
constexpr uint32_t kWantFound = 1u << 0, kWantStats = 1u << 2, kWantCure = 1u << 6, kWantDelete = 1u << 9,
                   kWantDeleteIncurable = 1u << 12, kWantServerState = 1u << 21, kWantRules = 1u << 5,
                   kWantReason = 1u << 23;

// What the child found changed in the process after the walk.
struct Leftovers {
    int result = 0;
    int settingsChanged = 0;
    int memoryFiles = 0;
    int descriptors = 0;
    int foundLists = 0;
};

struct WalkRun {
    Leftovers left;
    uint32_t word = 0;
    std::vector<std::string> found;
    std::vector<std::pair<uint32_t, uint32_t>> stats;
    std::string reason;
    bool hasObject = false;
    std::string object;
    bool trailing = false; // bytes after what the reply should hold
    std::string log;
};

inline int CountDescriptors() {
    int count = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++count;
        closedir(d);
    }
    return count;
}

// The walk left the process as it found it (settings, memory files, descriptors, found lists) and
// the reply had nothing after it.
inline void ExpectClean(const WalkRun& run, const char* what) {
    EXPECT_EQ(0, run.left.settingsChanged) << what;
    EXPECT_EQ(0, run.left.memoryFiles) << what;
    EXPECT_EQ(0, run.left.descriptors) << what;
    EXPECT_EQ(0, run.left.foundLists) << what;
    EXPECT_FALSE(run.trailing) << what;
}

// The stand-in engine, the scratch folder with its temporary folder and log of the scan-request
// tests.
class MailWalkTest : public ScanServerTest {
protected:
    // Runs walk (given the client's descriptor) in a child with opt1 as the request's option word;
    // setup runs in the child first.
    WalkRun Run(uint32_t opt1, const std::function<int(int)>& walk,
                const std::function<void()>& setup = nullptr) {
        int pipeFds[2];
        EXPECT_EQ(0, pipe(pipeFds));
        SocketPair pair;
        const pid_t child = fork();
        if (child == 0) {
            close(pair.theirs);
            close(pipeFds[0]);
            ChildSettings();
            CollectReportLines = 0;
            BackupFilesTo[0] = '\0';
            static TarvoMainSettings settings;
            settings.ResetToDefaults();
            MainSettings = &settings;
            RequestOptionWord = opt1;
            if (setup) setup();
            CreateMemoryFileList();
            const std::string before = MailProcessWideState();
            const int files = static_cast<int>(MemoryFiles->Count());
            const int descriptors = CountDescriptors();
            Leftovers left;
            left.result = walk(pair.ours);
            left.settingsChanged = MailProcessWideState() != before;
            left.memoryFiles = static_cast<int>(MemoryFiles->Count()) - files;
            left.descriptors = CountDescriptors() - descriptors;
            left.foundLists =
                static_cast<int>(FoundList.Count() + TaggedList.Count() + FoundListCopy.Count());
            close(pair.ours);
            const bool sent = write(pipeFds[1], &left, sizeof left) == sizeof left;
            _exit(sent ? 0 : 1);
        }
        close(pipeFds[1]);
        pair.CloseOurs();
        WalkRun run;
        DaemonConnection connection;
        connection.fd = pair.theirs;
        connection.timeout = 60;
        if (ReadWordBE(connection, run.word) == 0) {
            if (opt1 & kWantFound) {
                uint32_t count = 0;
                ReadWordBE(connection, count);
                for (uint32_t i = 0; i < count; ++i) {
                    OwnedText text;
                    size_t length = 0;
                    if (ReadStringBE(connection, text, &length) == ClientReadEnd::kDone)
                        run.found.emplace_back(text.get(), length ? length - 1 : 0);
                }
            }
            if (opt1 & kWantReason) {
                OwnedText text;
                size_t length = 0;
                if (ReadStringBE(connection, text, &length) == ClientReadEnd::kDone && length)
                    run.reason.assign(text.get(), length - 1);
            }
            if (opt1 & kWantStats) {
                uint32_t count = 0;
                ReadWordBE(connection, count);
                for (uint32_t i = 0; i < count; ++i) {
                    uint32_t bit = 0, value = 0;
                    ReadWordBE(connection, bit);
                    ReadWordBE(connection, value);
                    run.stats.emplace_back(bit, value);
                }
            }
            OwnedText object;
            size_t length = 0;
            if (ReadStringBE(connection, object, &length) == ClientReadEnd::kDone) {
                run.hasObject = true;
                run.object.assign(object.get(), length);
            }
            char byte;
            run.trailing = read(pair.theirs, &byte, 1) > 0;
        }
        if (read(pipeFds[0], &run.left, sizeof run.left) != sizeof run.left)
            ADD_FAILURE() << "the child died";
        close(pipeFds[0]);
        EXPECT_EQ(0, WaitPeer(child));
        run.log = TakeLog();
        return run;
    }

    // The mail file at path scanned by ScanMailFile.
    WalkRun ScanPath(const std::string& path, uint32_t opt1, const std::function<void()>& setup = nullptr) {
        return Run(
            opt1,
            [&](int fd) {
                TimeBudget budget = kUnlimitedBudget;
                return ScanMailFile(path.c_str(), fd, budget);
            },
            setup);
    }
};

} // namespace
