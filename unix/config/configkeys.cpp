#include "unix/config/configkeys.h"

#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/filelayer.h"
#include "base/logwriter.h"
#include "base/outputmode.h"
#include "base/pathutil.h"
#include "shell/settings/scansettings.h"
#include "unix/protocol/clientlogs.h"
#include "unix/config/configreader.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/poolparams.h"
#include "unix/config/socketconfig.h"

TarvoMainSettings* ConfigTargetSettings = nullptr;

namespace {

struct EnumName {
    const char* name;
    int32_t value;
};

const EnumName kScanFilesNames[] = {{"All", 0}, {"ByType", 1}, {"ByMasks", 3}, {nullptr, 0}};
const EnumName kLogEncodingNames[] = {
    {"KOI8-R", LogEncodingKoi8R}, {"windows-1251", LogEncodingWin1251}, {nullptr, 0}};
const EnumName kOutputModeNames[] = {
    {"Terminal", OutputModeTerminal}, {"Quiet", OutputModeQuiet}, {nullptr, 0}};
const EnumName kFacilityNames[] = {
    {"Kernel", 0},   {"User", 8},     {"Mail", 16},    {"Daemon", 24},  {"Local0", 128},
    {"Local1", 136}, {"Local2", 144}, {"Local3", 152}, {"Local4", 160}, {"Local5", 168},
    {"Local6", 176}, {"Local7", 184}, {nullptr, 0},
};
const EnumName kPriorityNames[] = {{"Alert", 1},  {"Error", 3}, {"Warning", 4},
                                   {"Notice", 5}, {"Info", 6},  {nullptr, 0}};
const EnumName kRecodeModeNames[] = {{"QP", RecodeQuotedPrintable},
                                     {"QuotedPrintable", RecodeQuotedPrintable},
                                     {"Replace", RecodeReplace},
                                     {nullptr, 0}};
const EnumName kErrorLevelNames[] = {{"Old", 0}, {"New", 1}, {nullptr, 0}};

constexpr int32_t kDefaultFileTimeout = 30;
constexpr int32_t kDefaultSocketTimeout = 10;
constexpr int32_t kDefaultObsolescenceHours = 24;
constexpr int32_t kNumberCeiling = 2147483647;

bool ParseEnum(const char* text, const EnumName* names, int32_t& out) {
    for (; names->name; ++names)
        if (strcasecmp(text, names->name) == 0) {
            out = names->value;
            return true;
        }
    return false;
}

int32_t SetBool(const char* const* tokens, int32_t& target) {
    int32_t value;
    if (!ParseBoolValue(tokens[1], value)) return 0;
    target = value;
    return 1;
}

int32_t SetEnum(const char* const* tokens, const EnumName* names, int32_t& target) {
    int32_t value;
    if (!ParseEnum(tokens[1], names, value)) return 0;
    target = value;
    return 1;
}

// A path longer than its buffer is refused rather than cut, so that a cut
// path can never name another file.
int32_t SetPath(const char* const* tokens, char* target, size_t size) {
    size_t n = strlen(tokens[1]);
    if (n >= size) return 0;
    memcpy(target, tokens[1], n + 1);
    return 1;
}

// A number of kilobytes of at least `minimum`, stored in bytes.
int32_t SetKilobytes(const char* const* tokens, int32_t minimum, int64_t& target) {
    int32_t value;
    if (!ParseConfigNumber(tokens[1], false, value) || value < minimum) return 0;
    target = static_cast<int64_t>(value) * 1024;
    return 1;
}

int32_t SetMinimum(const char* const* tokens, int32_t minimum, int32_t& target) {
    int32_t value;
    if (!ParseConfigNumber(tokens[1], false, value) || value < minimum) return 0;
    target = value;
    return 1;
}

uint32_t* SettingsWord(int index) {
    return ConfigTargetSettings ? &ConfigTargetSettings->word[index] : nullptr;
}

int32_t SetWordBool(const char* const* tokens, int index) {
    int32_t value;
    if (!ParseBoolValue(tokens[1], value)) return 0;
    if (uint32_t* word = SettingsWord(index)) *word = static_cast<uint32_t>(value);
    return 1;
}

int32_t ParseFilesTypes(const char* const* t, int n) {
    return SetListValues(t, n, ConfigTargetSettings ? &ConfigTargetSettings->fileTypeMasks : nullptr,
                         &FilesTypesFirstUse);
}
int32_t ParseUserMasks(const char* const* t, int n) {
    return SetListValues(t, n, ConfigTargetSettings ? &ConfigTargetSettings->nameMasks : nullptr,
                         &UserMasksFirstUse);
}
int32_t ParseScanFiles(const char* const* t, int) {
    int32_t mode;
    if (!ParseEnum(t[1], kScanFilesNames, mode)) return 0;
    if (uint32_t* word = SettingsWord(kFilterModeWord)) *word = static_cast<uint32_t>(mode);
    return 1;
}
int32_t ParseHeuristicAnalysis(const char* const* t, int) {
    return SetWordBool(t, kModeWord);
}
// Packer reports cannot be switched off: the word is set and the line is
// reported whatever it says.
int32_t ParseCheckPackedFiles(const char* const*, int) {
    if (uint32_t* word = SettingsWord(kPackerReportWord)) *word = 1;
    return 0;
}
int32_t ParseCheckArchives(const char* const* t, int) {
    return SetWordBool(t, kArchivesWord);
}
int32_t ParseCheckEMailFiles(const char* const* t, int) {
    return SetWordBool(t, kMailFilesWord);
}
int32_t ParseRenameFilesTo(const char* const* t, int) {
    const char* mask = t[1];
    size_t n = strlen(mask);
    if (n < 1 || n > 3 || strchr(mask, '*') || strchr(mask, '.')) return 0;
    if (strspn(mask, "?") == n) return 0;
    memcpy(RenameFilesTo, mask, n + 1);
    return 1;
}
int32_t ParseMoveFilesTo(const char* const* t, int) {
    return SetPath(t, MoveFilesTo, sizeof MoveFilesTo);
}
int32_t ParseExcludePaths(const char* const* t, int n) {
    std::vector<std::string> values;
    for (int i = 0; i < n; ++i) {
        std::string v = t[i];
        if (i > 0 && v.size() > 1 && (v.back() == '/' || v.back() == '\\')) v.pop_back();
        values.push_back(v);
    }
    std::vector<const char*> pointers;
    for (const std::string& v : values) pointers.push_back(v.c_str());
    return SetListValues(pointers.data(), n,
                         ConfigTargetSettings ? &ConfigTargetSettings->excludePaths : nullptr,
                         &ExcludePathsFirstUse);
}
int32_t ParseVirusBase(const char* const* t, int n) {
    return SetListValues(t, n, VirusBase.get(), &VirusBaseFirstUse);
}
int32_t ParseLogToFile(const char* const* t, int) {
    return SetBool(t, LogToFile);
}
int32_t ParseOverwriteLog(const char* const* t, int) {
    return SetBool(t, OverwriteLog);
}
int32_t ParseLogScanned(const char* const* t, int) {
    return SetBool(t, LogScanned);
}
int32_t ParseLogPacked(const char* const* t, int) {
    return SetBool(t, LogPacked);
}
int32_t ParseLogArchived(const char* const* t, int) {
    return SetBool(t, LogArchived);
}
int32_t ParseLogFileName(const char* const* t, int) {
    if (strcasecmp(t[1], "syslog") == 0) {
        LogToSyslog = 1;
        return 1;
    }
    char expanded[kPathBufSize];
    if (strlen(t[1]) >= kPathBufSize || !ExpandPath(t[1], expanded, 1)) return 0;
    memcpy(LogFileName, expanded, sizeof LogFileName);
    LogToSyslog = 0;
    return 1;
}
int32_t ParseMaxBasesObsolescencePeriod(const char* const* t, int) {
    MaxBasesObsolescencePeriod = kDefaultObsolescenceHours;
    return SetMinimum(t, 0, MaxBasesObsolescencePeriod);
}
int32_t ParseLogEncoding(const char* const* t, int) {
    return SetEnum(t, kLogEncodingNames, LogEncoding);
}
int32_t ParseTempPath(const char* const* t, int) {
    return SetPath(t, TempPath, sizeof TempPath);
}
int32_t ParseMaxFileSizeToExtract(const char* const* t, int) {
    return SetKilobytes(t, 1, MaxFileSizeToExtract);
}
int32_t ParseShowProgressBar(const char* const*, int) {
    ShowProgressBar = 0;
    return 1;
}
int32_t ParseProgressBar(const char* const* t, int) {
    if (strlen(t[1]) == 2) memcpy(ProgressBar, t[1], 2);
    return 1;
}
int32_t ParseProgressBarColor(const char* const* t, int) {
    int32_t color;
    if (ParseConfigNumber(t[1], false, color) && color >= 1 && color <= 128) ProgressBarColor = color;
    return 1;
}
// A text that is no number must not raise the priority.
int32_t ParseScanPriority(const char* const* t, int) {
    int32_t priority;
    if (!ParseConfigNumber(t[1], true, priority) || priority < -20 || priority > 20) return 0;
    ScanPriority = priority;
    return 1;
}
int32_t ParseEnginePath(const char* const* t, int) {
    return SetPath(t, EnginePath, sizeof EnginePath);
}
int32_t ParseUseDiskForSwap(const char* const* t, int) {
    return SetBool(t, UseDiskForSwap);
}
int32_t ParseUseMaxMemory(const char* const* t, int) {
    return SetKilobytes(t, 1024, UseMaxMemory);
}
int32_t ParseLimitLog(const char* const* t, int) {
    return SetBool(t, LimitLog);
}
int32_t ParseMaxLogSize(const char* const* t, int) {
    return SetMinimum(t, 1, MaxLogSize);
}
int32_t ParseOutputMode(const char* const* t, int) {
    return SetEnum(t, kOutputModeNames, OutputMode);
}
int32_t ParseFollowLinks(const char* const* t, int) {
    return SetBool(t, FollowLinks);
}
int32_t ParseFilesTypesWarnings(const char* const* t, int) {
    return SetBool(t, FilesTypesWarnings);
}
int32_t ParsePidFile(const char* const* t, int) {
    return SetPath(t, PidFile, sizeof PidFile);
}
int32_t ParseMaxArchiveLevel(const char* const* t, int) {
    int32_t level = ParseNumber(t[1], 0);
    MaxArchiveLevel = level > 0 ? level : 0;
    return 1;
}
int32_t ParseUpdatePath(const char* const* t, int) {
    return SetPath(t, UpdatePath, sizeof UpdatePath);
}
int32_t ParseBusyFile(const char* const* t, int) {
    return SetPath(t, BusyFile, sizeof BusyFile);
}
int32_t ParseLogTime(const char* const* t, int) {
    return SetBool(t, LogTime);
}
int32_t ParseSyslogFacility(const char* const* t, int) {
    return SetEnum(t, kFacilityNames, SyslogFacility);
}
int32_t ParseSyslogPriority(const char* const* t, int) {
    return SetEnum(t, kPriorityNames, SyslogPriority);
}
int32_t ParseLogInfo(const char* const* t, int) {
    return SetBool(t, LogInfo);
}
int32_t ParseLogStatistics(const char* const* t, int) {
    return SetBool(t, LogStatistics);
}
// Numbers from 2147483647 on are taken as that ceiling.
int32_t ParseMaxCompressionRatio(const char* const* t, int) {
    const char* text = t[1];
    if (!*text || strspn(text, "0123456789") != strlen(text)) return 0;
    while (text[0] == '0' && text[1]) ++text;
    size_t digits = strlen(text);
    int compare = digits != 10 ? (digits > 10 ? 1 : -1) : strcmp(text, "2147483647");
    if (compare >= 0) {
        if (compare > 0) {
            PrintMessage("MaxCompressionRatio more then maximum (%s), using %d", "2147483647",
                         kNumberCeiling);
            EndMessageLine(0);
        }
        MaxCompressionRatio = kNumberCeiling;
        return 1;
    }
    return SetMinimum(t, 1, MaxCompressionRatio);
}
int32_t ParseCompressionCheckThreshold(const char* const* t, int) {
    return SetMinimum(t, 1, CompressionCheckThreshold);
}
int32_t ParseAlertPath(const char* const* t, int) {
    return SetPath(t, AlertPath, sizeof AlertPath);
}
int32_t ParseEnableDeleteArchiveAction(const char* const* t, int) {
    return SetBool(t, EnableDeleteArchiveAction);
}
int32_t ParseRecodeNonprintable(const char* const* t, int) {
    return SetBool(t, RecodeNonprintable);
}
int32_t ParseRecodeMode(const char* const* t, int) {
    return SetEnum(t, kRecodeModeNames, RecodeMode);
}
int32_t ParseRecodeChar(const char* const* t, int) {
    if (strlen(t[1]) != 1) return 0;
    RecodeChar = t[1][0];
    return 1;
}
int32_t ParseMailCommand(const char* const* t, int) {
    MailCommand = t[1];
    return 1;
}
int32_t ParseMailTo(const char* const* t, int n) {
    if (n >= 2) MailTo = t[1];
    return 1;
}
// A bad time-out falls back to the default, never to "no limit".
int32_t ParseFileTimeout(const char* const* t, int) {
    int32_t seconds;
    if (!ParseConfigNumber(t[1], false, seconds)) {
        FileTimeout = kDefaultFileTimeout;
        return 0;
    }
    FileTimeout = seconds;
    return 1;
}
int32_t ParseErrorLevel(const char* const* t, int) {
    return SetEnum(t, kErrorLevelNames, ErrorLevel);
}
int32_t ParseObsoleteKey(const char* const* t, int) {
    const ConfigKeyRow* row = FindConfigKey(t[0]);
    AddObsoleteParameter(row ? row->name : t[0]);
    return 1;
}
int32_t ParseSocket(const char* const* t, int n) {
    return ParseSocketKey(t, n);
}
// A user name that does not fit is refused: a cut one could name another
// account.
int32_t ParseUser(const char* const* t, int) {
    return SetPath(t, User, sizeof User);
}
int32_t ParseSocketTimeout(const char* const* t, int) {
    int32_t seconds;
    if (!ParseConfigNumber(t[1], false, seconds)) {
        SocketTimeout = kDefaultSocketTimeout;
        return 0;
    }
    SocketTimeout = seconds;
    return 1;
}
int32_t ParseMissingHeader(const char* const* t, int n) {
    return SetListValues(t, n, MissingHeader.get(), &MissingHeaderFirstUse);
}
int32_t ParseDebugFilter(const char* const* t, int) {
    return SetBool(t, DebugFilter);
}
int32_t ParseDebugConditions(const char* const* t, int) {
    return SetBool(t, DebugConditions);
}
int32_t ParseDebugMail(const char* const* t, int) {
    return SetBool(t, DebugMail);
}
int32_t ParseRunForeground(const char* const* t, int) {
    return SetBool(t, RunForeground);
}
int32_t ParseStopOnFirstInfected(const char* const* t, int) {
    return SetBool(t, StopOnFirstInfected);
}
int32_t ParseLogExtendedMailInfo(const char* const* t, int) {
    return SetBool(t, LogExtendedMailInfo);
}
int32_t ParsePool(const char* const* t, int n) {
    return ParseProcessesPool(t, n);
}
int32_t ParseBackupFilesTo(const char* const* t, int) {
    return SetPath(t, BackupFilesTo, sizeof BackupFilesTo);
}
int32_t ParseLogInfected(const char* const* t, int) {
    return SetBool(t, LogInfected);
}
int32_t ParseLogProcessInfo(const char* const* t, int) {
    return SetBool(t, LogProcessInfo);
}

} // namespace

ConfigKeyRow ConfigKeyTable[] = {
    {"FilesTypes", ParseFilesTypes, 2, kAnyTokenCount},
    {"UserMasks", ParseUserMasks, 2, kAnyTokenCount},
    {"ScanFiles", ParseScanFiles, 2, 2},
    {"HeuristicAnalysis", ParseHeuristicAnalysis, 2, 2},
    {"CheckPackedFiles", ParseCheckPackedFiles, 2, 2},
    {"CheckArchives", ParseCheckArchives, 2, 2},
    {"CheckEMailFiles", ParseCheckEMailFiles, 2, 2},
    {"RenameFilesTo", ParseRenameFilesTo, 2, 2},
    {"MoveFilesTo", ParseMoveFilesTo, 2, 2},
    {"ExcludePaths", ParseExcludePaths, 0, kAnyTokenCount},
    {"VirusBase", ParseVirusBase, 2, kAnyTokenCount},
    {"LogToFile", ParseLogToFile, 2, 2},
    {"OverwriteLog", ParseOverwriteLog, 2, 2},
    {"LogScanned", ParseLogScanned, 2, 2},
    {"LogPacked", ParseLogPacked, 2, 2},
    {"LogArchived", ParseLogArchived, 2, 2},
    {"LogFileName", ParseLogFileName, 2, 2},
    {"ClientsLogs", ParseClientsLogs, 2, 7},
    {"MaxBasesObsolescencePeriod", ParseMaxBasesObsolescencePeriod, 2, 2},
    {"LogEncoding", ParseLogEncoding, 2, 2},
    {"TempPath", ParseTempPath, 2, 2},
    {"MaxFileSizeToExtract", ParseMaxFileSizeToExtract, 2, 2},
    {"ShowProgressBar", ParseShowProgressBar, 2, 2},
    {"ProgressBar", ParseProgressBar, 2, 2},
    {"ProgressBarColor", ParseProgressBarColor, 2, 2},
    {"ScanPriority", ParseScanPriority, 2, 2},
    {"EnginePath", ParseEnginePath, 2, 2},
    {"UseDiskForSwap", ParseUseDiskForSwap, 2, 2},
    {"UseMaxMemory", ParseUseMaxMemory, 2, 2},
    {"LimitLog", ParseLimitLog, 2, 2},
    {"MaxLogSize", ParseMaxLogSize, 2, 2},
    {"OutputMode", ParseOutputMode, 2, 2},
    {"FollowLinks", ParseFollowLinks, 2, 2},
    {"FilesTypesWarnings", ParseFilesTypesWarnings, 2, 2},
    {"PidFile", ParsePidFile, 2, 2},
    {"MaxArchiveLevel", ParseMaxArchiveLevel, 2, 2},
    {"UpdatePath", ParseUpdatePath, 2, 2},
    {"BusyFile", ParseBusyFile, 2, 2},
    {"LogTime", ParseLogTime, 2, 2},
    {"SyslogFacility", ParseSyslogFacility, 2, 2},
    {"SyslogPriority", ParseSyslogPriority, 2, 2},
    {"LogInfo", ParseLogInfo, 2, 2},
    {"LogStatistics", ParseLogStatistics, 2, 2},
    {"MaxCompressionRatio", ParseMaxCompressionRatio, 2, 2},
    {"CompressionCheckThreshold", ParseCompressionCheckThreshold, 2, 2},
    {"AlertPath", ParseAlertPath, 2, 2},
    {"EnableDeleteArchiveAction", ParseEnableDeleteArchiveAction, 2, 2},
    {"RecodeNonprintable", ParseRecodeNonprintable, 2, 2},
    {"RecodeMode", ParseRecodeMode, 2, 2},
    {"RecodeChar", ParseRecodeChar, 2, 2},
    {"MailCommand", ParseMailCommand, 2, 2},
    {"MailTo", ParseMailTo, 1, 2},
    {"FileTimeout", ParseFileTimeout, 2, 2},
    {"ErrorLevel", ParseErrorLevel, 2, 2},
    {"MaxChildren", ParseObsoleteKey, 2, 2},
    // Without a value still a Socket key: a bad line that keeps the default listener away.
    {"Socket", ParseSocket, 1, kAnyTokenCount},
    {"User", ParseUser, 2, 2},
    {"SocketTimeout", ParseSocketTimeout, 2, 2},
    {"ScanEncodedHeaders", ParseObsoleteKey, 2, 2},
    {"MissingHeader", ParseMissingHeader, 2, kAnyTokenCount},
    {"FilterParts", ParseObsoleteKey, 2, 2},
    {"DebugFilter", ParseDebugFilter, 2, 2},
    {"DebugConditions", ParseDebugConditions, 2, 2},
    {"DebugMail", ParseDebugMail, 2, 2},
    {"RunForeground", ParseRunForeground, 2, 2},
    {"StopOnFirstInfected", ParseStopOnFirstInfected, 2, 2},
    {"LogExtendedMailInfo", ParseLogExtendedMailInfo, 2, 2},
    {"PreFork", ParseObsoleteKey, 2, 2},
    {"ProcessesPool", ParsePool, 2, 5},
    {"BackupFilesTo", ParseBackupFilesTo, 2, 2},
    {"LogInfected", ParseLogInfected, 2, 2},
    {"LogProcessInfo", ParseLogProcessInfo, 2, 2},
    {nullptr, nullptr, 0, 0},
};

const ConfigKeyRow* FindConfigKey(const char* name) {
    for (const ConfigKeyRow* row = ConfigKeyTable; row->name; ++row)
        if (strcasecmp(name, row->name) == 0) return row;
    return nullptr;
}

bool ParseBoolValue(const char* text, int32_t& out) {
    if (strcasecmp(text, "Yes") == 0 || strcasecmp(text, "On") == 0 || strcmp(text, "1") == 0) {
        out = 1;
        return true;
    }
    if (strcasecmp(text, "No") == 0 || strcasecmp(text, "Off") == 0 || strcmp(text, "0") == 0) {
        out = 0;
        return true;
    }
    return false;
}

bool ParseConfigNumber(const char* text, bool allowMinus, int32_t& out) {
    const char* digits = allowMinus && *text == '-' ? text + 1 : text;
    if (!*digits || strspn(digits, "0123456789") != strlen(digits)) return false;
    int32_t value = ParseNumber(text, allowMinus ? 1 : 0);
    // -1 is also ParseNumber's failure; only the text "-1" means it.
    if (value == -1 && strcmp(text, "-1") != 0) return false;
    out = value;
    return true;
}
