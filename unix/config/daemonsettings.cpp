#include "unix/config/daemonsettings.h"

#include <cstring>

#include "base/filelayer.h"
#include "base/logwriter.h"
#include "base/outputmode.h"
#include "unix/config/cmdline.h"
#include "unix/config/configreader.h"

std::unique_ptr<tvStringList> VirusBase;
int32_t OverwriteLog = 0;
int32_t LogPacked = 1;
int32_t MaxBasesObsolescencePeriod = 24;
char TempPath[kSettingPathSize] = "";
char SpoolPath[kSettingPathSize] = "/var/tarvo/spool";
int32_t ShowProgressBar = 0;
unsigned char ProgressBar[2] = {0xB0, 0xB2};
int32_t ProgressBarColor = 3;
int32_t ScanPriority = 0;
char EnginePath[kSettingPathSize] = "/var/tarvo/lib/tarvo32.dll";
int32_t UseDiskForSwap = 1;
int64_t UseMaxMemory = -1;
char PidFile[kSettingPathSize] = "/var/tarvo/run/tarvod.pid";
char UpdatePath[kSettingPathSize] = "/var/tarvo/updates";
char BusyFile[kSettingPathSize] = "/var/tarvo/run/tarvod.bsy";
int32_t LogInfo = 1;
int32_t LogStatistics = 1;
char AlertPath[kSettingPathSize] = "";
std::string MailCommand;
std::string MailTo;
int FileTimeout = 30;
int32_t ErrorLevel = 0;
char User[kSettingPathSize] = "tarvo";
std::unique_ptr<tvStringList> MissingHeader;
int32_t DebugFilter = 0;
int32_t DebugConditions = 0;
int32_t DebugMail = 0;
int32_t RunForeground = 0;
int32_t LogExtendedMailInfo = 0;
char BackupFilesTo[kSettingPathSize] = "/var/tarvo/infected";
int32_t LogInfected = 1;
int32_t ListenBacklog = 128;

namespace {

constexpr int64_t kPipeTimeoutCeiling = 2147483;

void SetText(char* dst, size_t size, const char* text) {
    size_t n = strnlen(text, size - 1);
    memcpy(dst, text, n);
    dst[n] = '\0';
}

} // namespace

void SetDefaultSettings() {
    SetText(ConfigFilePath, sizeof ConfigFilePath, kDefaultConfigPath);
    SetText(RenameFilesTo, sizeof RenameFilesTo, "#??");
    SetText(MoveFilesTo, sizeof MoveFilesTo, "/var/tarvo/infected");
    if (VirusBase) {
        VirusBase->Clear();
        VirusBase->AddString("/var/tarvo/bases/*.vdb");
    }
    LogToFile = 1;
    OverwriteLog = 0;
    LogScanned = 1;
    LogPacked = 1;
    LogArchived = 1;
    LogToSyslog = 1;
    SetText(LogFileName, sizeof LogFileName, "/var/tarvo/log/tarvo.log");
    MaxBasesObsolescencePeriod = 24;
    LogEncoding = LogEncodingKoi8R;
    MaxFileSizeToExtract = -1;
    ShowProgressBar = 0;
    ScanPriority = 0;
    SetText(EnginePath, sizeof EnginePath, "/var/tarvo/lib/tarvo32.dll");
    UseDiskForSwap = 1;
    LimitLog = 0;
    MaxLogSize = 512;
    OutputMode = OutputModeTerminal;
    FollowLinks = 0;
    SetText(PidFile, sizeof PidFile, "/var/tarvo/run/tarvod.pid");
    MaxArchiveLevel = 0;
    SetText(UpdatePath, sizeof UpdatePath, "/var/tarvo/updates");
    SetText(BusyFile, sizeof BusyFile, "/var/tarvo/run/tarvod.bsy");
    LogTime = 1;
    LogInfo = 1;
    LogStatistics = 1;
    MaxCompressionRatio = -1;
    CompressionCheckThreshold = -1;
    AlertPath[0] = '\0';
    EnableDeleteArchiveAction = 0;
    RecodeNonprintable = 1;
    RecodeMode = RecodeQuotedPrintable;
    RecodeChar = '?';
    FileTimeout = 30;
    ErrorLevel = 0;
    SetText(User, sizeof User, "tarvo");
    SocketTimeout = 10;
    if (MissingHeader) MissingHeader->Clear();
    DebugFilter = 0;
    DebugConditions = 0;
    DebugMail = 0;
    StopOnFirstInfected = 0;
    LogExtendedMailInfo = 0;
    SetText(BackupFilesTo, sizeof BackupFilesTo, "/var/tarvo/infected");
    LogInfected = 1;
    LogProcessInfo = 1;
    ListenBacklog = 128;
    DebugLevel = 0;
    OldOptionFlag = 0;
    StOptionFlag = 0;
}

int32_t PipeTimeoutSeconds() {
    int64_t sum = static_cast<int64_t>(SocketTimeout) + FileTimeout;
    return static_cast<int32_t>(sum > kPipeTimeoutCeiling ? kPipeTimeoutCeiling : sum);
}
