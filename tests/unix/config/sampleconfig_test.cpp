// The sample configuration shipped in etc/: it reads without a complaint and leaves every setting
// where the built-in defaults put it.
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/filelayer.h"
#include "base/outputmode.h"
#include "tests/unix/config_fixture.h"
#include "unix/config/socketconfig.h"

namespace {

std::string SampleText() {
    std::ifstream in(std::string(TARVO_SOURCE_DIR) + "/etc/tarvo32.ini");
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
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

} // namespace
