#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/pathutil.h"
#include "tests/unix/config_fixture.h"
#include "base/scratch_dir.h"
#include "shell/loader/enginemodule.h"
#include "unix/daemon/basesage.h"
#include "unix/config/configwarnings.h"
#include "unix/config/socketconfig.h"
#include "unix/daemon/temppath.h"

namespace {

class StartupSettings : public ConfigTest {
protected:
    void SetUp() override {
        ConfigTest::SetUp();
        ASSERT_FALSE(dir_.path().empty());
    }
    ScratchDir dir_;
};

TEST_F(StartupSettings, TempPathIsCreatedAndBecomesTheSpoolFolder) {
    snprintf(TempPath, sizeof TempPath, "%s", (dir_ / "a//b/c").c_str());
    EXPECT_EQ(ApplyTempPath(), 1);
    EXPECT_EQ(std::string(SpoolPath), dir_ / "a/b/c");
    struct stat st;
    EXPECT_EQ(stat(SpoolPath, &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    // A folder that cannot be made falls back to /tmp.
    ASSERT_TRUE(dir_.Write("file", "x"));
    snprintf(TempPath, sizeof TempPath, "%s", (dir_ / "file/sub").c_str());
    EXPECT_EQ(ApplyTempPath(), 0);
    EXPECT_STREQ(SpoolPath, "/tmp");
}

TEST_F(StartupSettings, EmptyTempPathTakesTheSpoolFolder) {
    snprintf(SpoolPath, sizeof SpoolPath, "%s", (dir_ / "spool").c_str());
    TempPath[0] = '\0';
    EXPECT_EQ(ApplyTempPath(), 1);
    EXPECT_EQ(std::string(TempPath), dir_ / "spool");
    EXPECT_EQ(std::string(SpoolPath), dir_ / "spool");
}

TEST_F(StartupSettings, BasesAge) {
    const int64_t now = 1000000000;
    snprintf(UpdatePath, sizeof UpdatePath, "%s", (dir_ / "updates").c_str());
    ASSERT_EQ(mkdir((dir_ / "updates").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir_ / "bases").c_str(), 0700), 0);
    VirusBase->Clear();
    VirusBase->AddString((dir_ / "bases/*.vdb").c_str());

    // No file: reported, and taken as fresh.
    EXPECT_EQ(CheckBasesTimestampAt(now), 0);
    ASSERT_EQ(LoggedLines().size(), 1u);
    EXPECT_EQ(LoggedLines()[0].rfind(std::string(MessageText(218)) + ", " + (dir_ / "updates/timestamp"), 0),
              0u);

    ASSERT_TRUE(dir_.Write("updates/timestamp", std::to_string(now - 24 * 3600) + "\n"));
    EXPECT_EQ(CheckBasesTimestampAt(now), 0);
    EXPECT_EQ(CheckBasesTimestampAt(now + 1), 1);
    // The file beside the bases wins over the update folder.
    ASSERT_TRUE(dir_.Write("bases/timestamp", std::to_string(now)));
    EXPECT_EQ(CheckBasesTimestampAt(now + 1), 0);
    // Hours x 3600 does not overflow.
    MaxBasesObsolescencePeriod = 2147483646;
    EXPECT_EQ(CheckBasesTimestampAt(now + 1000000000), 0);
    // A period of 0 reads nothing.
    MaxBasesObsolescencePeriod = 0;
    ASSERT_TRUE(dir_.Write("bases/timestamp", "x"));
    LoggedLines().clear();
    EXPECT_EQ(CheckBasesTimestampAt(now + 1000000000), 0);
    EXPECT_TRUE(LoggedLines().empty());
    // A file without a number cannot date the bases.
    MaxBasesObsolescencePeriod = 1;
    EXPECT_EQ(CheckBasesTimestampAt(now + 1000000000), 0);
    EXPECT_EQ(LoggedLines().size(), 1u);
}

TEST_F(StartupSettings, WarningLinesInReportOrder) {
    ReadConfigText("[Daemon]\nBogus\nMaxChildren = 3\n\nPidFile\n");
    std::vector<const char*> argv = {"tarvod", "-x", "-y"};
    PrescanCommandLine(static_cast<int>(argv.size()), argv.data());
    ParseCommandLine();
    const std::vector<std::string> expected = {
        "Invalid line in INI-file: 2",
        "Invalid line in INI-file: 5",
        "Invalid command-line option!",
        "Warning: a parameter 'MaxChildren' of ini file is obsoleted and will be removed in later versions",
    };
    EXPECT_EQ(ConfigWarningLines(), expected);
    PrintConfigWarnings();
    EXPECT_EQ(LoggedLines(), expected);
}

TEST_F(StartupSettings, ProgramPathFromArgvOrPath) {
    char out[kPathBufSize];
    ResolveProgramPath("/usr//bin/../bin/tarvod", out, sizeof out);
    EXPECT_STREQ(out, "/usr/bin/tarvod");

    ASSERT_TRUE(dir_.Write("tool", "#!/bin/sh\n"));
    ASSERT_EQ(chmod((dir_ / "tool").c_str(), 0700), 0);
    ASSERT_TRUE(dir_.Write("plain", ""));
    const char* path = getenv("PATH");
    std::string saved = path ? path : "";
    setenv("PATH", ("::/nonexistent:" + dir_.path()).c_str(), 1);
    ResolveProgramPath("tool", out, sizeof out);
    EXPECT_EQ(std::string(out), dir_ / "tool");
    // Not executable: argv[0] stays.
    ResolveProgramPath("plain", out, sizeof out);
    EXPECT_STREQ(out, "plain");
    unsetenv("PATH");
    ResolveProgramPath("tool", out, sizeof out);
    EXPECT_STREQ(out, "tool");
    if (path) setenv("PATH", saved.c_str(), 1);
}

TEST_F(StartupSettings, InitSettingsThenLoadAndFree) {
    ASSERT_TRUE(dir_.Write("t.ini", "[Daemon]\nSocket = local:/s\nBogus\n"));
    std::string ini = "-ini=" + (dir_ / "t.ini");
    std::vector<const char*> argv = {"/opt/tarvo/tarvod", ini.c_str(), "--check-only"};
    FreeAllSettings();
    ASSERT_EQ(InitSettings(static_cast<int>(argv.size()), argv.data()), 0);
    EXPECT_STREQ(ProgramPath(), "/opt/tarvo/tarvod");
    EXPECT_EQ(LoadConfiguration(), 1);
    EXPECT_EQ(ParseCommandLine(), 1);
    EXPECT_EQ(CheckOnlyFlag, 1);
    EXPECT_EQ(UnixSocketList->Count(), 1u);
    FreeAllSettings();
    EXPECT_EQ(UnixSocketList, nullptr);
    EXPECT_EQ(MainSettings, nullptr);
    EXPECT_EQ(FirstConfigError(), nullptr);
    EXPECT_EQ(FirstBadOption(), nullptr);
    // Reading without settings objects is harmless.
    EXPECT_EQ(ReadConfigText("[Daemon]\nBogus\nFilesTypes = x\nSocket = 3000\n"), 0);
    SetProgramPath("");
}

} // namespace

namespace {

TEST_F(StartupSettings, EngineModuleListKeptWhenItExists) {
    EngineModules.reset();
    ResetSettings();
    ASSERT_NE(EngineModules, nullptr);
    PE_Lib* kept = EngineModules.get();
    ResetSettings();
    EXPECT_EQ(EngineModules.get(), kept);
    EngineModules.reset();
}

} // namespace
