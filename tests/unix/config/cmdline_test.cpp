#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/outputmode.h"
#include "tests/unix/config_fixture.h"
#include "base/scratch_dir.h"

namespace {

using CommandLine = ConfigTest;

std::vector<std::string> BadOptions() {
    std::vector<std::string> out;
    for (const char* o = FirstBadOption(); o; o = NextBadOption()) out.push_back(o);
    return out;
}

// The options load as start-up runs it, without the file: pre-scan, then the
// main pass.
int RunOptions(std::vector<std::string> args) {
    args.insert(args.begin(), "tarvod");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    SetDefaultSettings();
    PrescanCommandLine(static_cast<int>(argv.size()), argv.data());
    return ParseCommandLine();
}

struct FlagCase {
    std::vector<std::string> args;
    std::vector<std::string> bad;
    int32_t help, version, checkOnly, foreground, debug;
};

TEST_F(CommandLine, Table) {
    const FlagCase cases[] = {
        {{}, {}, 0, 0, 0, 0, 0},
        {{"--foreground=YES"}, {}, 0, 0, 0, 1, 0},
        {{"--foreground=no"}, {}, 0, 0, 0, 0, 0},
        {{"--foreground=1"}, {"--foreground=1"}, 0, 0, 0, 0, 0},
        {{"--foreground=yesss"}, {"--foreground=yesss"}, 0, 0, 0, 0, 0},
        {{"-DBG:5"}, {}, 0, 0, 0, 0, 5},
        {{"-dbg"}, {}, 0, 0, 0, 0, -1},
        {{"-DBGX"}, {"-DBGX"}, 0, 0, 0, 0, 0},
        {{"-DBG:"}, {"-DBG:"}, 0, 0, 0, 0, 0},
        {{"-OLDX", "-ST", "-STX"}, {"-OLDX", "-STX"}, 0, 0, 0, 0, 0},
        {{"-h"}, {}, 1, 0, 0, 0, 0},
        {{"-?"}, {}, 1, 0, 0, 0, 0},
        {{"--help"}, {}, 1, 0, 0, 0, 0},
        {{"-HELP"}, {}, 1, 0, 0, 0, 0},
        {{"-hh", "-H", "-V"}, {"-hh", "-H", "-V"}, 0, 0, 0, 0, 0},
        {{"-v"}, {}, 0, 1, 0, 0, 0},
        {{"--version"}, {}, 0, 1, 0, 0, 0},
        {{"--check-only"}, {}, 0, 0, 1, 0, 0},
        {{"plain", "-"}, {"plain", "-"}, 0, 0, 0, 0, 0},
        {{"-ni"}, {}, 0, 0, 0, 0, 0},
        {{"-NI"}, {"-NI"}, 0, 0, 0, 0, 0},
        {{"-ini:/x.ini"}, {"-ini:/x.ini"}, 0, 0, 0, 0, 0},
        {{"-ini=x"}, {"-ini=x"}, 0, 0, 0, 0, 0},
        {{"-ini=/x.ini"}, {}, 0, 0, 0, 0, 0},
    };
    for (const FlagCase& c : cases) {
        std::string trace;
        for (const std::string& a : c.args) trace += a + " ";
        SCOPED_TRACE(trace);
        RestoreKeptValues();
        EXPECT_EQ(RunOptions(c.args), c.bad.empty() ? 1 : 0);
        EXPECT_EQ(BadOptions(), c.bad);
        EXPECT_EQ(HelpFlag, c.help);
        EXPECT_EQ(VersionFlag, c.version);
        EXPECT_EQ(CheckOnlyFlag, c.checkOnly);
        EXPECT_EQ(RunForeground, c.foreground);
        EXPECT_EQ(DebugLevel, c.debug);
    }
}

TEST_F(CommandLine, OutputModeAndVersionEmptyTheLogPath) {
    RunOptions({"-OQ"});
    EXPECT_EQ(OutputMode, OutputModeQuiet);
    RunOptions({"-oq", "-OT"});
    EXPECT_EQ(OutputMode, OutputModeTerminal);
    RunOptions({"-version"});
    EXPECT_STREQ(LogFileName, "");
    RunOptions({"-v"});
    EXPECT_STREQ(LogFileName, "");
}

struct IniCase {
    std::vector<std::string> args;
    int32_t noIni;
    int32_t iniGiven;
    std::string path;
};

TEST_F(CommandLine, IniPrescan) {
    const IniCase cases[] = {
        {{}, 0, 0, "/etc/tarvo/tarvo32.ini"},
        {{"-ni"}, 1, 0, "/etc/tarvo/tarvo32.ini"},
        {{"-NI"}, 1, 0, "/etc/tarvo/tarvo32.ini"},
        {{"-ni", "-ini=/x.ini"}, 0, 1, "/x.ini"},
        {{"-ini=/x.ini", "-ni"}, 1, 1, "/x.ini"},
        {{"-INI:/a//b/../c.ini"}, 0, 1, "/a/c.ini"},
        {{"-ini=/first.ini", "-ini:/second.ini"}, 0, 1, "/second.ini"},
        {{"-ini=" + std::string(5000, 'x')}, 0, 1, ""},
    };
    for (const IniCase& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "" : c.args[0]);
        RestoreKeptValues();
        RunOptions(c.args);
        EXPECT_EQ(NoIniFlag, c.noIni);
        EXPECT_EQ(IniGivenFlag, c.iniGiven);
        EXPECT_EQ(std::string(ConfigFilePath), c.path);
    }
}

TEST_F(CommandLine, DuplicateIniIsWarnedOnceAndTheLastWins) {
    RunOptions({"-ini=/a.ini", "-ini:/b.ini"});
    EXPECT_EQ(LoggedLines(), std::vector<std::string>{"duplicated options \"-ini:\""});
    EXPECT_STREQ(ConfigFilePath, "/b.ini");
}

TEST_F(CommandLine, OverlongIniPathIsABadOptionAndNothingIsRead) {
    EXPECT_EQ(RunOptions({"-ini=/" + std::string(kConfigPathMax, 'x')}), 0);
    EXPECT_EQ(BadOptions().size(), 1u);
    EXPECT_EQ(ReadConfigFile(), -1);
    // The longest path that fits is taken.
    EXPECT_EQ(RunOptions({"-ini=/" + std::string(kConfigPathMax - 1, 'x')}), 1);
    EXPECT_EQ(strlen(ConfigFilePath), kConfigPathMax);
}

// The main pass leaves the pre-scan's expansion, so the file is opened again
// by the same name after the user switch and on reload.
TEST_F(CommandLine, ExpandedIniPathSurvivesTheMainPass) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Write("x.ini", "[Daemon]\nPidFile = /from/home\n"));
    const char* home = getenv("HOME");
    std::string savedHome = home ? home : "";
    setenv("HOME", dir.path().c_str(), 1);
    RunOptions({"-ini=~/x.ini"});
    if (home)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
    EXPECT_EQ(std::string(ConfigFilePath), dir / "x.ini");
    EXPECT_EQ(LoadConfiguration(), 0);
    EXPECT_STREQ(PidFile, "/from/home");
}

TEST_F(CommandLine, UsageLinesAndExitStatus) {
    RunOptions({"-?"});
    PrintUsage();
    std::vector<std::string> expected;
    for (uint32_t n : {78u, 79u, 80u, 81u, 82u, 83u, 86u, 87u}) expected.push_back(MessageText(n));
    EXPECT_EQ(LoggedLines(), expected);
    EXPECT_EQ(OptionsExitStatus(), 255);

    // An "<empty>" text ends the usage early.
    LoggedLines().clear();
    snprintf(MessageCatalogue[81], kMessageBufferSize, "<empty>");
    PrintUsage();
    EXPECT_EQ(LoggedLines(), std::vector<std::string>(expected.begin(), expected.begin() + 3));

    RunOptions({"--version"});
    EXPECT_EQ(OptionsExitStatus(), 0);
    RunOptions({"--check-only", "-?"});
    EXPECT_EQ(OptionsExitStatus(), 0);
    RunOptions({});
    EXPECT_EQ(OptionsExitStatus(), 255);
}

TEST_F(CommandLine, TableRowsAreInOrder) {
    const char* names[] = {"ini=", "DBG",     "OLD",   "OT",       "OQ",           "ST", "?",
                           "help", "version", "-help", "-version", "-foreground=", "NF", "-check-only"};
    size_t i = 0;
    for (const CommandLineOption* row = CommandLineOptionTable; row->compareLength; ++row, ++i) {
        ASSERT_LT(i, sizeof names / sizeof names[0]);
        EXPECT_STREQ(row->name, names[i]);
    }
    EXPECT_EQ(i, sizeof names / sizeof names[0]);
}

// A relative path names a file under the folder the program was started from, also once the
// process has moved to "/" and when a reload reads the options again from the file's own folder.
TEST_F(CommandLine, RelativeIniPathIsTakenFromTheStartFolder) {
    ScratchDir dir;
    ASSERT_EQ(mkdir((dir / "cfg").c_str(), 0700), 0);
    ASSERT_TRUE(dir.Write("cfg/a.ini", "[Daemon]\nPidFile = /from/start\n"));
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    RememberStartFolder();
    const std::string start = StartFolder;
    ASSERT_EQ(chdir("/"), 0);
    const std::string expected = start + "/cfg/a.ini";
    for (const char* folder : {"/", "cfg"}) {
        if (folder[0] != '/') {
            ASSERT_EQ(chdir((start + "/" + folder).c_str()), 0);
        }
        for (const char* option : {"-ini=cfg/a.ini", "-ini:./cfg/a.ini", "-ini=cfg/../cfg/a.ini"}) {
            RunOptions({option});
            EXPECT_EQ(std::string(ConfigFilePath), expected) << option << " in " << folder;
        }
        EXPECT_EQ(LoadConfiguration(), 0);
        EXPECT_STREQ(PidFile, "/from/start");
    }
    // Absolute paths stay as they are.
    RunOptions({"-ini=/x.ini"});
    EXPECT_STREQ(ConfigFilePath, "/x.ini");
    StartFolder[0] = '\0';
    ASSERT_EQ(chdir(before), 0);
}

} // namespace
