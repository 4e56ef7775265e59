// The sample configuration shipped in etc/: it reads without a complaint and leaves every setting
// where the built-in defaults put it; it and the man page tarvo32.ini(5) explain every key.
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "base/filelayer.h"
#include "base/outputmode.h"
#include "tests/unix/config_fixture.h"
#include "unix/config/socketconfig.h"

namespace {

std::string SourceText(const char* path) {
    std::ifstream in(std::string(TARVO_SOURCE_DIR) + "/" + path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string SampleText() {
    return SourceText("etc/tarvo32.ini");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::set<std::string> TableKeys() {
    std::set<std::string> keys;
    for (const ConfigKeyRow* row = ConfigKeyTable; row->name; ++row) keys.insert(row->name);
    return keys;
}

std::vector<std::string> ListTexts(tvList* list) {
    std::vector<std::string> out;
    if (!list) return out;
    for (void* p = list->First(); p; p = list->Next()) out.push_back(static_cast<const char*>(p));
    return out;
}

// The settings a sample line sets, as text, for comparison.
std::vector<std::string> Snapshot() {
    std::vector<std::string> v;
    auto add = [&](const char* name, const std::string& value) {
        v.push_back(std::string(name) + "=" + value);
    };
    auto num = [&](const char* name, long long value) { add(name, std::to_string(value)); };
    add("PidFile", PidFile);
    add("BusyFile", BusyFile);
    add("User", User);
    add("EnginePath", EnginePath);
    add("UpdatePath", UpdatePath);
    add("MoveFilesTo", MoveFilesTo);
    add("BackupFilesTo", BackupFilesTo);
    add("RenameFilesTo", RenameFilesTo);
    add("LogFileName", LogFileName);
    add("TempPath", TempPath);
    add("MailCommand", MailCommand);
    add("MailTo", MailTo);
    num("FileTimeout", FileTimeout);
    num("SocketTimeout", SocketTimeout);
    num("RunForeground", RunForeground);
    num("ScanPriority", ScanPriority);
    num("MaxBasesObsolescencePeriod", MaxBasesObsolescencePeriod);
    num("UseDiskForSwap", UseDiskForSwap);
    num("MaxArchiveLevel", MaxArchiveLevel);
    num("MaxFileSizeToExtract", MaxFileSizeToExtract);
    num("MaxCompressionRatio", MaxCompressionRatio);
    num("CompressionCheckThreshold", CompressionCheckThreshold);
    num("StopOnFirstInfected", StopOnFirstInfected);
    num("FilesTypesWarnings", FilesTypesWarnings);
    num("EnableDeleteArchiveAction", EnableDeleteArchiveAction);
    num("LogExtendedMailInfo", LogExtendedMailInfo);
    num("DebugFilter", DebugFilter);
    num("DebugConditions", DebugConditions);
    num("DebugMail", DebugMail);
    num("LogToFile", LogToFile);
    num("LogToSyslog", LogToSyslog);
    num("SyslogFacility", SyslogFacility);
    num("SyslogPriority", SyslogPriority);
    num("LogTime", LogTime);
    num("LogProcessInfo", LogProcessInfo);
    num("OverwriteLog", OverwriteLog);
    num("LimitLog", LimitLog);
    num("MaxLogSize", MaxLogSize);
    num("LogEncoding", LogEncoding);
    num("LogScanned", LogScanned);
    num("LogPacked", LogPacked);
    num("LogArchived", LogArchived);
    num("LogInfected", LogInfected);
    num("LogInfo", LogInfo);
    num("LogStatistics", LogStatistics);
    num("RecodeNonprintable", RecodeNonprintable);
    num("RecodeMode", RecodeMode);
    num("RecodeChar", RecodeChar);
    num("OutputMode", OutputMode);
    num("ErrorLevel", ErrorLevel);
    num("FollowLinks", FollowLinks);
    const ProcessPoolParameters& p = PoolParameters;
    num("Pool",
        ((((p.minChildren * 10000LL + p.maxChildren) * 1000 + p.idleTimeout) * 10 + p.statistics) * 100 +
         p.stopTimeout) *
                100 +
            p.timerPeriod);
    num("UnixSockets", UnixSocketList ? UnixSocketList->Count() : -1);
    num("InetSockets", InetSocketList ? InetSocketList->Count() : -1);
    for (const auto& base : ListTexts(VirusBase.get())) add("VirusBase", base);
    for (const auto& header : ListTexts(MissingHeader.get())) add("MissingHeader", header);
    for (int w = 1; w <= TarvoMainSettings::kWordCount; ++w) num("word", MainSettings->word[w]);
    for (const auto& type : ListTexts(&MainSettings->fileTypeMasks)) add("FilesTypes", type);
    for (const auto& mask : ListTexts(&MainSettings->nameMasks)) add("UserMasks", mask);
    for (const auto& path : ListTexts(&MainSettings->excludePaths)) add("ExcludePaths", path);
    return v;
}

using SampleConfigTest = ConfigTest;

TEST_F(SampleConfigTest, ReadsWithoutComplaintAndChangesNothing) {
    const std::string text = SampleText();
    ASSERT_FALSE(text.empty());
    ASSERT_EQ(Load(""), 0);
    const std::vector<std::string> defaults = Snapshot();
    EXPECT_EQ(Load(text), 0);
    EXPECT_TRUE(BadLineNumbers().empty()) << testing::PrintToString(BadLineNumbers());
    EXPECT_EQ(FirstObsoleteParameter(), nullptr);
    EXPECT_EQ(Snapshot(), defaults);
}

// Each key of the table appears in the sample, set ("Key = value", or the key alone) or shown in a
// comment ("# Key = value"), spelt as the table spells it, and the paragraph it stands in has a
// comment of its own that explains it. Every key line names a key of the table.
TEST(SampleConfigKeysTest, EveryKeyIsShownAndExplained) {
    const std::regex setLine(R"(^([A-Za-z][A-Za-z0-9]*)\s*(=.*)?$)");
    const std::regex shownLine(R"(^#\s*([A-Za-z][A-Za-z0-9]*)\s*=.*$)");
    const std::vector<std::string> lines = Lines(SampleText());
    ASSERT_FALSE(lines.empty());
    const std::set<std::string> keys = TableKeys();
    std::set<std::string> seen;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        if (!std::regex_match(lines[i], m, setLine) && !std::regex_match(lines[i], m, shownLine)) continue;
        const std::string key = m[1];
        SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + lines[i]);
        EXPECT_EQ(keys.count(key), 1u) << key << " is no key of the daemon";
        seen.insert(key);
        // The paragraph: the lines around it up to an empty line.
        size_t first = i, last = i;
        while (first > 0 && !lines[first - 1].empty()) --first;
        while (last + 1 < lines.size() && !lines[last + 1].empty()) ++last;
        bool explained = false;
        for (size_t j = first; j <= last; ++j) {
            std::smatch other;
            explained =
                explained || (lines[j].rfind('#', 0) == 0 && !std::regex_match(lines[j], other, shownLine));
        }
        EXPECT_TRUE(explained) << key << " stands without a word";
    }
    for (const std::string& key : keys)
        EXPECT_EQ(seen.count(key), 1u) << key << " is missing from the sample";
}

// The man page has an entry (".TP" then ".B Key") for each key of the table.
TEST(SampleConfigKeysTest, ManPageHasEveryKey) {
    const std::vector<std::string> lines = Lines(SourceText("etc/man/tarvo32.ini.5.in"));
    ASSERT_FALSE(lines.empty());
    std::set<std::string> entries;
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i] == ".TP" && lines[i + 1].rfind(".B ", 0) == 0) entries.insert(lines[i + 1].substr(3));
    for (const std::string& key : TableKeys()) EXPECT_EQ(entries.count(key), 1u) << key << " has no entry";
}

} // namespace
