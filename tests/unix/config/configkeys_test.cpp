#include <gtest/gtest.h>

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/filelayer.h"
#include "base/outputmode.h"
#include "base/pathutil.h"
#include "base/strutil.h"
#include "tests/unix/config_fixture.h"
#include "unix/config/socketconfig.h"

namespace {

using ConfigKeys = ConfigTest;
using Getter = std::function<std::string()>;

std::string Num(int64_t v) {
    return std::to_string(v);
}

uint32_t Word(int n) {
    return MainSettings->word[n];
}

std::string Joined(tvList& list) {
    std::string out;
    for (void* p = list.First(); p; p = list.Next())
        out += std::string(out.empty() ? "" : "|") + static_cast<char*>(p);
    return out;
}

struct KeyCase {
    const char* line; // under "[Daemon]"
    bool bad;
    Getter get;
    const char* expected;
};

const std::vector<KeyCase>& KeyCases() {
    static const Getter pid = [] { return std::string(PidFile); };
    static const std::vector<KeyCase> cases = {
        {"filestypes = exe, c?m", false, [] { return Joined(MainSettings->fileTypeMasks); }, "exe|c?m"},
        {"USERMASKS = *.x", false, [] { return Joined(MainSettings->nameMasks); }, "*.x"},
        {"scanFiles = bymasks", false, [] { return Num(Word(12)); }, "3"},
        {"ScanFiles = ByType", false, [] { return Num(Word(12)); }, "1"},
        {"ScanFiles = ByContent", true, [] { return Num(Word(12)); }, "0"},
        {"heuristicanalysis = off", false, [] { return Num(Word(3)); }, "0"},
        {"HeuristicAnalysis = maybe", true, [] { return Num(Word(3)); }, "1"},
        {"checkpackedfiles = No", true, [] { return Num(Word(7)); }, "1"},
        {"CHECKARCHIVES = 0", false, [] { return Num(Word(6)); }, "0"},
        {"checkEmailFiles = NO", false, [] { return Num(Word(8)); }, "0"},
        {"renamefilesto = ?a", false, [] { return std::string(RenameFilesTo); }, "?a"},
        {"RenameFilesTo = ???", true, [] { return std::string(RenameFilesTo); }, "#??"},
        {"RenameFilesTo = ?", true, [] { return std::string(RenameFilesTo); }, "#??"},
        {"RenameFilesTo = a.b", true, [] { return std::string(RenameFilesTo); }, "#??"},
        {"RenameFilesTo = abcd", true, [] { return std::string(RenameFilesTo); }, "#??"},
        {"RenameFilesTo = a*", true, [] { return std::string(RenameFilesTo); }, "#??"},
        {"movefilesto = /q/", false, [] { return std::string(MoveFilesTo); }, "/q/"},
        {"excludepaths = /tmp/, /var\\, /", false, [] { return Joined(MainSettings->excludePaths); },
         "/tmp|/var|/"},
        {"ExcludePaths", false, [] { return Num(MainSettings->excludePaths.Count()); }, "0"},
        {"virusbase = /b/*.vdb", false, [] { return Joined(*VirusBase); }, "/b/*.vdb"},
        {"logtofile = off", false, [] { return Num(LogToFile); }, "0"},
        {"overwritelog = yes", false, [] { return Num(OverwriteLog); }, "1"},
        {"logscanned = no", false, [] { return Num(LogScanned); }, "0"},
        {"logpacked = no", false, [] { return Num(LogPacked); }, "0"},
        {"logarchived = no", false, [] { return Num(LogArchived); }, "0"},
        {"logfilename = SYSLOG", false, [] { return Num(LogToSyslog) + LogFileName; },
         "1/var/tarvo/log/tarvo.log"},
        {"LogFileName = /l//x.log", false, [] { return Num(LogToSyslog) + LogFileName; }, "0/l/x.log"},
        {"clientslogs = mail: /m.log , web:syslog", false,
         [] {
             return ClientLogTargets["mail:"] + "|" + ClientLogTargets["web:"] + "|" +
                    ClientLogTargets["kerio:"];
         },
         "/m.log|syslog|"},
        {"maxbasesobsolescenceperiod = 0", false, [] { return Num(MaxBasesObsolescencePeriod); }, "0"},
        {"MaxBasesObsolescencePeriod = \"\"", true, [] { return Num(MaxBasesObsolescencePeriod); }, "24"},
        {"logencoding = WINDOWS-1251", false, [] { return Num(LogEncoding); }, "1"},
        {"LogEncoding = utf-8", true, [] { return Num(LogEncoding); }, "0"},
        {"temppath = rel/tmp", false, [] { return std::string(TempPath); }, "rel/tmp"},
        {"maxfilesizetoextract = 3000000", false, [] { return Num(MaxFileSizeToExtract); }, "3072000000"},
        {"MaxFileSizeToExtract = 0", true, [] { return Num(MaxFileSizeToExtract); }, "-1"},
        {"showprogressbar = yes", false, [] { return Num(ShowProgressBar); }, "0"},
        {"progressbar = ab", false, [] { return std::string(reinterpret_cast<char*>(ProgressBar), 2); },
         "ab"},
        {"ProgressBar = abc", false, [] { return Num(ProgressBar[0]); }, "176"},
        {"progressbarcolor = 128", false, [] { return Num(ProgressBarColor); }, "128"},
        {"ProgressBarColor = 129", false, [] { return Num(ProgressBarColor); }, "3"},
        {"scanpriority = -20", false, [] { return Num(ScanPriority); }, "-20"},
        {"ScanPriority = 20", false, [] { return Num(ScanPriority); }, "20"},
        {"ScanPriority = 21", true, [] { return Num(ScanPriority); }, "0"},
        {"ScanPriority = x", true, [] { return Num(ScanPriority); }, "0"},
        {"enginepath = /e.dll", false, [] { return std::string(EnginePath); }, "/e.dll"},
        {"usediskforswap = no", false, [] { return Num(UseDiskForSwap); }, "0"},
        {"usemaxmemory = 2048", false, [] { return Num(UseMaxMemory); }, "2097152"},
        {"UseMaxMemory = 100", true, [] { return Num(UseMaxMemory); }, "-1"},
        {"limitlog = on", false, [] { return Num(LimitLog); }, "1"},
        {"maxlogsize = 1", false, [] { return Num(MaxLogSize); }, "1"},
        {"MaxLogSize = 0", true, [] { return Num(MaxLogSize); }, "512"},
        {"MaxLogSize = +5", true, [] { return Num(MaxLogSize); }, "512"},
        {"outputmode = quiet", false, [] { return Num(OutputMode); }, "2"},
        {"followlinks = 1", false, [] { return Num(FollowLinks); }, "1"},
        {"filestypeswarnings = no", false, [] { return Num(FilesTypesWarnings); }, "0"},
        {"pidfile = /p.pid", false, pid, "/p.pid"},
        {"maxarchivelevel = 7", false, [] { return Num(MaxArchiveLevel); }, "7"},
        {"MaxArchiveLevel = -3", false, [] { return Num(MaxArchiveLevel); }, "0"},
        {"updatepath = /u", false, [] { return std::string(UpdatePath); }, "/u"},
        {"busyfile = /b.bsy", false, [] { return std::string(BusyFile); }, "/b.bsy"},
        {"logtime = no", false, [] { return Num(LogTime); }, "0"},
        {"syslogfacility = local7", false, [] { return Num(SyslogFacility); }, "184"},
        {"SyslogFacility = Local8", true, [] { return Num(SyslogFacility); }, "24"},
        {"syslogpriority = info", false, [] { return Num(SyslogPriority); }, "6"},
        {"loginfo = no", false, [] { return Num(LogInfo); }, "0"},
        {"logstatistics = no", false, [] { return Num(LogStatistics); }, "0"},
        {"maxcompressionratio = 12", false, [] { return Num(MaxCompressionRatio); }, "12"},
        {"MaxCompressionRatio = 2147483647", false, [] { return Num(MaxCompressionRatio); }, "2147483647"},
        {"MaxCompressionRatio = 0", true, [] { return Num(MaxCompressionRatio); }, "-1"},
        {"compressionCheckThreshold = 64", false, [] { return Num(CompressionCheckThreshold); }, "64"},
        {"alertpath = /al", false, [] { return std::string(AlertPath); }, "/al"},
        {"enabledeletearchiveaction = yes", false, [] { return Num(EnableDeleteArchiveAction); }, "1"},
        {"recodenonprintable = no", false, [] { return Num(RecodeNonprintable); }, "0"},
        {"recodemode = replace", false, [] { return Num(RecodeMode); }, "3"},
        {"RecodeMode = qp", false, [] { return Num(RecodeMode); }, "0"},
        {"recodechar = _", false, [] { return std::string(1, RecodeChar); }, "_"},
        {"RecodeChar = ab", true, [] { return std::string(1, RecodeChar); }, "?"},
        {"mailcommand = /usr/sbin/sendmail -t", false, [] { return MailCommand; }, "/usr/sbin/sendmail -t"},
        {"mailto = root@localhost", false, [] { return MailTo; }, "root@localhost"},
        {"MailTo", false, [] { return MailTo; }, ""},
        {"filetimeout = 0", false, [] { return Num(FileTimeout); }, "0"},
        {"FileTimeout = -1", true, [] { return Num(FileTimeout); }, "30"},
        {"FileTimeout = \"\"", true, [] { return Num(FileTimeout); }, "30"},
        {"errorlevel = new", false, [] { return Num(ErrorLevel); }, "1"},
        {"socket = local:/s", false, [] { return Num(UnixSocketList->Count()); }, "1"},
        {"user = nobody", false, [] { return std::string(User); }, "nobody"},
        {"sockettimeout = 3", false, [] { return Num(SocketTimeout); }, "3"},
        {"SocketTimeout = 3s", true, [] { return Num(SocketTimeout); }, "10"},
        {"missingheader = From, Date", false, [] { return Joined(*MissingHeader); }, "From|Date"},
        {"debugfilter = yes", false, [] { return Num(DebugFilter); }, "1"},
        {"debugconditions = yes", false, [] { return Num(DebugConditions); }, "1"},
        {"debugmail = yes", false, [] { return Num(DebugMail); }, "1"},
        {"runforeground = yes", false, [] { return Num(RunForeground); }, "1"},
        {"stoponfirstinfected = yes", false, [] { return Num(StopOnFirstInfected); }, "1"},
        {"logextendedmailinfo = yes", false, [] { return Num(LogExtendedMailInfo); }, "1"},
        {"processespool = 2-8", false, [] { return Num(PoolParameters.maxChildren); }, "8"},
        {"backupfilesto = /bk", false, [] { return std::string(BackupFilesTo); }, "/bk"},
        {"loginfected = no", false, [] { return Num(LogInfected); }, "0"},
        {"logprocessinfo = no", false, [] { return Num(LogProcessInfo); }, "0"},
        {"scanencodedheaders = 1", false, [] { return std::string(FirstObsoleteParameter()->name); },
         "ScanEncodedHeaders"},
        {"filterparts = 1", false, [] { return std::string(FirstObsoleteParameter()->name); }, "FilterParts"},
        {"maxchildren = 1", false, [] { return std::string(FirstObsoleteParameter()->name); }, "MaxChildren"},
        {"prefork = 1", false, [] { return std::string(FirstObsoleteParameter()->name); }, "PreFork"},
    };
    return cases;
}

TEST_F(ConfigKeys, EveryKey) {
    for (const KeyCase& c : KeyCases()) {
        SCOPED_TRACE(c.line);
        RestoreKeptValues();
        int32_t bad = Load(std::string("[Daemon]\n") + c.line + "\n");
        EXPECT_EQ(bad, c.bad ? 1 : 0);
        EXPECT_EQ(c.get(), c.expected);
    }
}

TEST_F(ConfigKeys, EveryTableKeyIsCovered) {
    std::vector<std::string> tested;
    for (const KeyCase& c : KeyCases()) {
        std::string key = c.line;
        key = key.substr(0, key.find_first_of(" ="));
        StringToLower(key);
        tested.push_back(key);
    }
    size_t rows = 0;
    for (const ConfigKeyRow* row = ConfigKeyTable; row->name; ++row, ++rows) {
        // A duplicate row would never be reached.
        EXPECT_EQ(FindConfigKey(row->name), row) << row->name;
        std::string key = row->name;
        StringToLower(key);
        EXPECT_NE(std::find(tested.begin(), tested.end(), key), tested.end()) << row->name;
        // Every key is tried in a letter case of its own.
        bool odd = false;
        for (const KeyCase& c : KeyCases())
            if (strncmp(c.line, row->name, strlen(row->name)) != 0 &&
                strncasecmp(c.line, row->name, strlen(row->name)) == 0)
                odd = true;
        EXPECT_TRUE(odd) << row->name;
    }
    EXPECT_EQ(rows, 72u);
    EXPECT_EQ(FindConfigKey("LOGPROCESSINFO"), FindConfigKey("LogProcessInfo"));
    EXPECT_EQ(FindConfigKey("Log"), nullptr);
}

TEST_F(ConfigKeys, CompressionRatioAboveTheCeilingWarns) {
    EXPECT_EQ(Load("[Daemon]\nMaxCompressionRatio = 99999999999\n"), 0);
    EXPECT_EQ(MaxCompressionRatio, 2147483647);
    EXPECT_EQ(LoggedLines(), std::vector<std::string>{
                                 "MaxCompressionRatio more then maximum (2147483647), using 2147483647"});
    LoggedLines().clear();
    EXPECT_EQ(Load("[Daemon]\nMaxCompressionRatio = 2147483647\n"), 0);
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(ConfigKeys, ClientsLogsLineReplacesAllTargets) {
    Load("[Daemon]\nClientsLogs = mail:/var/log/m.log, web:syslog\nClientsLogs = kerio:/k.log, "
         "kerio:/k2.log\n");
    EXPECT_EQ(ClientLogTargets.size(), 6u);
    for (const auto& entry : ClientLogTargets)
        EXPECT_EQ(entry.second, entry.first == "kerio:" ? "/k.log" : "");
    // A value of blanks only does not count; the next one for the key does.
    Load("[Daemon]\nClientsLogs = \"lotus:  \", lotus:/l.log\n");
    EXPECT_EQ(ClientLogTargets["lotus:"], "/l.log");
}

TEST_F(ConfigKeys, LogFileNameIsAnchoredAtTheProgramFolder) {
    SetProgramPath("/opt/tarvo/bin/tarvod");
    Load("[Daemon]\nLogFileName = log/x.log\n");
    EXPECT_STREQ(LogFileName, "/opt/tarvo/bin/log/x.log");
    EXPECT_EQ(LogToSyslog, 0);
    SetProgramPath("");
}

TEST_F(ConfigKeys, OverlongPathsAndUserAreRefusedNotCut) {
    std::string longPath = "/" + std::string(kSettingPathSize, 'p');
    EXPECT_EQ(Load("[Daemon]\nPidFile = " + longPath + "\nUser = " + std::string(5000, 'u') + "\n"), 2);
    EXPECT_STREQ(PidFile, "/var/tarvo/run/tarvod.pid");
    EXPECT_STREQ(User, "tarvo");
    std::string fits = "/" + std::string(kSettingPathSize - 2, 'p');
    EXPECT_EQ(Load("[Daemon]\nPidFile = " + fits + "\n"), 0);
    EXPECT_EQ(std::string(PidFile), fits);
}

// What SetDefaultSettings brings back and what a reload keeps.
TEST_F(ConfigKeys, ReloadResetsDefaultsAndKeepsTheRest) {
    const std::string full = "[Daemon]\n"
                             "PidFile = /p\nFileTimeout = 5\nSocketTimeout = 6\nScanPriority = 3\n"
                             "LogFileName = /l.log\nMaxLogSize = 9\nOutputMode = Quiet\nFollowLinks = yes\n"
                             "User = u\nVirusBase = /v/*.vdb\nMissingHeader = From\nScanFiles = ByType\n"
                             "TempPath = /t\nProgressBar = xy\nProgressBarColor = 7\nUseMaxMemory = 2048\n"
                             "FilesTypesWarnings = no\nSyslogFacility = Mail\nSyslogPriority = Error\n"
                             "MailCommand = mail\nMailTo = a@b\nRunForeground = yes\nClientsLogs = web:/w\n"
                             "ProcessesPool = 2-8, timeout=60\nSocket = local:/s\n";
    ASSERT_EQ(Load(full), 0);
    ASSERT_STREQ(PidFile, "/p");
    ASSERT_EQ(Word(12), 1u);

    ASSERT_EQ(Load("[Daemon]\n"), 0);
    // Back to the defaults.
    EXPECT_STREQ(PidFile, "/var/tarvo/run/tarvod.pid");
    EXPECT_EQ(FileTimeout, 30);
    EXPECT_EQ(SocketTimeout, 10);
    EXPECT_EQ(ScanPriority, 0);
    EXPECT_EQ(LogToSyslog, 1);
    EXPECT_STREQ(LogFileName, "/var/tarvo/log/tarvo.log");
    EXPECT_EQ(MaxLogSize, 512);
    EXPECT_EQ(OutputMode, OutputModeTerminal);
    EXPECT_EQ(FollowLinks, 0);
    EXPECT_STREQ(User, "tarvo");
    EXPECT_EQ(Strings(VirusBase.get()), std::vector<std::string>{"/var/tarvo/bases/*.vdb"});
    EXPECT_TRUE(MissingHeader->IsEmpty());
    EXPECT_EQ(Word(12), 0u);
    EXPECT_EQ(MainSettings->fileTypeMasks.Count(), 77u);
    EXPECT_TRUE(UnixSocketList->IsEmpty());
    // Kept from the previous load.
    EXPECT_STREQ(TempPath, "/t");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ProgressBar), 2), "xy");
    EXPECT_EQ(ProgressBarColor, 7);
    EXPECT_EQ(UseMaxMemory, 2048 * 1024);
    EXPECT_EQ(FilesTypesWarnings, 0);
    EXPECT_EQ(SyslogFacility, 16);
    EXPECT_EQ(SyslogPriority, 3);
    EXPECT_EQ(MailCommand, "mail");
    EXPECT_EQ(MailTo, "a@b");
    EXPECT_EQ(RunForeground, 1);
    EXPECT_EQ(ClientLogTargets["web:"], "/w");
    EXPECT_EQ(PoolParameters.minChildren, 2);
    EXPECT_EQ(PoolParameters.idleTimeout, 60);
}

TEST_F(ConfigKeys, PipeTimeoutSumDoesNotOverflow) {
    FileTimeout = 2147483646;
    SocketTimeout = 2147483646;
    EXPECT_EQ(PipeTimeoutSeconds(), 2147483);
    FileTimeout = 30;
    SocketTimeout = 10;
    EXPECT_EQ(PipeTimeoutSeconds(), 40);
}

TEST(ConfigValues, NumbersAndBooleans) {
    struct {
        const char* text;
        bool allowMinus;
        bool ok;
        int32_t value;
    } numbers[] = {
        {"0", false, true, 0},           {"12", false, true, 12},
        {"", false, false, 0},           {"-5", false, false, 0},
        {"-5", true, true, -5},          {"-1", true, true, -1},
        {"-", true, false, 0},           {"12x", false, false, 0},
        {" 1", false, false, 0},         {"2147483646", false, true, 2147483646},
        {"2147483647", false, false, 0}, {"99999999999", false, false, 0},
    };
    for (const auto& n : numbers) {
        int32_t value = 0;
        EXPECT_EQ(ParseConfigNumber(n.text, n.allowMinus, value), n.ok) << n.text;
        if (n.ok) {
            EXPECT_EQ(value, n.value) << n.text;
        }
    }
    const char* trueTexts[] = {"Yes", "yes", "ON", "1"};
    const char* falseTexts[] = {"No", "OFF", "0"};
    const char* badTexts[] = {"", "y", "true", "01", "2"};
    int32_t v = -1;
    for (const char* t : trueTexts) EXPECT_TRUE(ParseBoolValue(t, v) && v == 1) << t;
    for (const char* t : falseTexts) EXPECT_TRUE(ParseBoolValue(t, v) && v == 0) << t;
    for (const char* t : badTexts) EXPECT_FALSE(ParseBoolValue(t, v)) << t;
}

} // namespace
