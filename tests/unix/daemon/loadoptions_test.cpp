// The options load in-process, for what the end-to-end tests cannot arrange.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/scratch_dir.h"
#include "tests/unix/logcapture.h"
#include "unix/config/configreader.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/settingslife.h"
#include "base/logwriter.h"
#include "unix/pool/processpool.h"
#include "unix/daemon/startup.h"
#include "unix/daemon/switchuser.h"

namespace {

passwd* AnyUser(const char*) {
    static char name[] = "scanner";
    static passwd entry{};
    entry.pw_name = name;
    entry.pw_uid = getuid();
    entry.pw_gid = getgid();
    return &entry;
}
int Succeed(gid_t) {
    return 0;
}
int SucceedUid(uid_t) {
    return 0;
}
int SucceedGroups(const char*, gid_t) {
    return 0;
}
int SucceedChown(const char*, uid_t, gid_t) {
    return 0;
}

// The built-in paths of a load without a file, in the test's folder: the engine and the bases are
// looked for there and not where an installed daemon keeps them.
ScratchDir* DefaultsFolder = nullptr;
void DefaultsInScratch() {
    const std::string dir = DefaultsFolder->path();
    snprintf(EnginePath, sizeof EnginePath, "%s", (dir + "/lib/tarvo32.dll").c_str());
    snprintf(UpdatePath, sizeof UpdatePath, "%s", (dir + "/updates").c_str());
    snprintf(PidFile, sizeof PidFile, "%s", (dir + "/tarvod.pid").c_str());
    snprintf(BusyFile, sizeof BusyFile, "%s", (dir + "/tarvod.bsy").c_str());
    snprintf(LogFileName, sizeof LogFileName, "%s", (dir + "/tarvo.log").c_str());
    VirusBase->Clear();
    VirusBase->AddString((dir + "/bases/*.vdb").c_str());
}

TEST(LoadOptionsTest, WithoutIniFileNoneIsRequiredAfterTheUserSwitch) {
    LogCapture log;
    UserSwitchCalls = {AnyUser, SucceedChown, Succeed, SucceedGroups, SucceedUid, ::getuid, ::geteuid};
    // Nothing may be read: the default path must not be the reason for a failure.
    const char* const argv[] = {"tarvod", "-ni", "--check-only"};
    FirstStart = 1;
    ScratchDir scratch;
    DefaultsFolder = &scratch;
    DefaultSettingsHook = DefaultsInScratch;
    // No load resets TempPath: without it the start would make the default spool folder on this machine.
    snprintf(TempPath, sizeof TempPath, "%s", (scratch / "spool").c_str());
    EXPECT_EQ(LoadOptions(3, argv), -1);
    DefaultSettingsHook = nullptr;
    TempPath[0] = '\0';
    const std::string configPath = ConfigFilePath;
    ShutdownCleanup();
    FreeSlotTable();
    UserSwitchCalls = kSystemUserSwitchCalls;

    bool checked = false;
    for (const auto& line : log.Lines()) {
        EXPECT_EQ(line.find("Error reading " + configPath), std::string::npos) << line;
        checked = checked || line.find("Options ") != std::string::npos;
    }
    EXPECT_TRUE(checked) << testing::PrintToString(log.Lines());
    // The engine is not there: the check has failed for that reason alone.
    EXPECT_EQ(OptionsCheckFailed, 1);
}

} // namespace
