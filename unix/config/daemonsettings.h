// The process-wide settings of the daemon that are held by configuration
// keys, each named after its key. The log writer's keys, FollowLinks,
// SocketTimeout and LogProcessInfo, the keys of the scan task, the scan
// settings, the socket lists and the pool parameters live beside the code
// that reads them.
#pragma once

#include "shell/scan/nameformat.h" // RecodeNonprintable, RecodeMode, RecodeChar

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/tvstrlist.h"
#include "shell/settings/scankeys.h"
#include "unix/protocol/protocolsettings.h"

constexpr size_t kSettingPathSize = 4097;

// The virus-base masks.
extern std::unique_ptr<tvStringList> VirusBase;
extern int32_t OverwriteLog;
extern int32_t LogPacked;
// Hours; 0 switches the age check of the bases off.
extern int32_t MaxBasesObsolescencePeriod;
// The temporary folder as configured (kept across reloads), and the folder
// that temporary work files go to once it has been applied.
extern char TempPath[kSettingPathSize];
extern char SpoolPath[kSettingPathSize];
extern int32_t ShowProgressBar;
extern unsigned char ProgressBar[2];
extern int32_t ProgressBarColor;
extern int32_t ScanPriority;
extern char EnginePath[kSettingPathSize];
extern int32_t UseDiskForSwap;
// Bytes; -1 when not given.
extern int64_t UseMaxMemory;
extern char PidFile[kSettingPathSize];
extern char UpdatePath[kSettingPathSize];
extern char BusyFile[kSettingPathSize];
extern int32_t LogInfo;
extern int32_t LogStatistics;
extern char AlertPath[kSettingPathSize];
extern std::string MailCommand;
extern std::string MailTo;
// Seconds; 0 means no limit. SocketTimeout is the client protocol's.
extern int FileTimeout;
extern int32_t ErrorLevel;
// The account the daemon switches to.
extern char User[kSettingPathSize];
// Header names that a message's top-level headers must hold.
extern std::unique_ptr<tvStringList> MissingHeader;
extern int32_t DebugFilter;
extern int32_t DebugConditions;
extern int32_t DebugMail;
// Shared with "--foreground=".
extern int32_t RunForeground;
extern int32_t LogExtendedMailInfo;
extern char BackupFilesTo[kSettingPathSize];
extern int32_t LogInfected;

// Set by the defaults and by no key.
extern int32_t ListenBacklog;

// Every value that a load starts from; the keys kept across reloads
// (ClientsLogs, TempPath, ProgressBar, ProgressBarColor, UseMaxMemory,
// FilesTypesWarnings, SyslogFacility, SyslogPriority, MailCommand, MailTo,
// RunForeground, ProcessesPool) are not touched.
void SetDefaultSettings();

// The budget of a master-child exchange: SocketTimeout + FileTimeout
// seconds, summed without overflow and capped at 2147483.
int32_t PipeTimeoutSeconds();
