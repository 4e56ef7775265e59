#include "unix/config/cmdline.h"

#include <strings.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/logwriter.h"
#include "base/messages.h"
#include "base/outputmode.h"
#include "base/pathutil.h"
#include "unix/config/configreader.h"
#include "unix/config/daemonsettings.h"

std::unique_ptr<tvStringList> ArgumentList;
std::unique_ptr<tvStringList> BadOptionList;
std::unique_ptr<tvList> ObsoleteOptionList;

int32_t HelpFlag = 0;
int32_t VersionFlag = 0;
int32_t CheckOnlyFlag = 0;
int32_t DebugLevel = 0;
int32_t OldOptionFlag = 0;
int32_t StOptionFlag = 0;
int32_t NfOptionFlag = 1;
char StartFolder[kConfigPathSize] = "";

const uint32_t kUsageMessages[] = {78, 79, 80, 81, 82, 83, 86, 87};
const uint32_t kUsageMessageCount = sizeof kUsageMessages / sizeof kUsageMessages[0];

namespace {

// The configuration path of "-ini=": a relative one names a file under the start folder, whatever
// folder the process is in by now. Empty when it does not fit.
std::string IniPath(const char* path) {
    std::string full = path;
    if (path[0] != '/' && path[0] != '~' && StartFolder[0] != '\0')
        full = std::string(StartFolder) + "/" + path;
    if (full.size() > kConfigPathMax) return std::string();
    return full;
}

constexpr size_t kIniPrefixLength = 5; // "-ini=" or "-ini:"

bool IsIniArgument(const char* arg) {
    return strncasecmp(arg, "-ini=", kIniPrefixLength) == 0 ||
           strncasecmp(arg, "-ini:", kIniPrefixLength) == 0;
}

bool AllDigits(const char* text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

void SetVersionFlag() {
    VersionFlag = 1;
    LogFileName[0] = '\0';
}

// The path itself was taken by the pre-scan, expanded; this pass only
// checks it, so that the expansion stays.
int ParseIniOption(const char*, uint32_t length) {
    if (length < 6 || length - 4 > kConfigPathMax) return 1;
    IniGivenFlag = 1;
    return 0;
}

int ParseDebugOption(const char* text, uint32_t) {
    if (strcasecmp(text, "DBG") == 0) {
        DebugLevel = -1;
        return 0;
    }
    if (strncasecmp(text, "DBG:", 4) != 0 || !AllDigits(text + 4)) return 1;
    int32_t level = ParseNumber(text + 4, 0);
    if (level < 0) return 1;
    DebugLevel = level;
    return 0;
}

int ParseOldOption(const char*, uint32_t) {
    OldOptionFlag = 1;
    return 0;
}

int ParseTerminalOption(const char*, uint32_t) {
    OutputMode = OutputModeTerminal;
    return 0;
}

int ParseQuietOption(const char*, uint32_t) {
    OutputMode = OutputModeQuiet;
    return 0;
}

int ParseStOption(const char*, uint32_t) {
    StOptionFlag = 1;
    return 0;
}

int ParseHelpOption(const char*, uint32_t) {
    HelpFlag = 1;
    return 0;
}

int ParseVersionOption(const char*, uint32_t) {
    SetVersionFlag();
    return 0;
}

int ParseForegroundOption(const char* text, uint32_t) {
    const char* value = text + strlen("-foreground=");
    if (strcasecmp(value, "yes") == 0)
        RunForeground = 1;
    else if (strcasecmp(value, "no") == 0)
        RunForeground = 0;
    else
        return 1;
    return 0;
}

int ParseNfOption(const char*, uint32_t) {
    NfOptionFlag = 0;
    return 0;
}

int ParseCheckOnlyOption(const char*, uint32_t) {
    CheckOnlyFlag = 1;
    return 0;
}

const CommandLineOption* FindOption(const char* text) {
    for (const CommandLineOption* row = CommandLineOptionTable; row->compareLength; ++row)
        if (strncasecmp(text, row->name, row->compareLength) == 0) return row;
    return nullptr;
}

} // namespace

const CommandLineOption CommandLineOptionTable[] = {
    {4, 65535, "ini=", ParseIniOption},
    {3, 255, "DBG", ParseDebugOption},
    {3, 3, "OLD", ParseOldOption},
    {2, 2, "OT", ParseTerminalOption},
    {2, 2, "OQ", ParseQuietOption},
    {5, 5, "ST", ParseStOption},
    {1, 1, "?", ParseHelpOption},
    {4, 4, "help", ParseHelpOption},
    {7, 7, "version", ParseVersionOption},
    {5, 5, "-help", ParseHelpOption},
    {8, 8, "-version", ParseVersionOption},
    {12, 15, "-foreground=", ParseForegroundOption},
    {2, 2, "NF", ParseNfOption},
    {11, 11, "-check-only", ParseCheckOnlyOption},
    {0, 0, nullptr, nullptr},
};

void PrescanCommandLine(int argc, const char* const* argv) {
    ArgumentList = std::make_unique<tvStringList>(0);
    BadOptionList = std::make_unique<tvStringList>(0);
    ObsoleteOptionList = std::make_unique<tvList>(0);
    HelpFlag = 0;
    VersionFlag = 0;
    CheckOnlyFlag = 0;
    NoIniFlag = 0;
    IniGivenFlag = 0;

    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg) continue;
        if (ArgumentList) ArgumentList->AddString(arg);
        if (strcasecmp(arg, "-ni") == 0) {
            NoIniFlag = 1;
            continue;
        }
        if (!IsIniArgument(arg)) continue;
        if (IniGivenFlag) {
            PrintMessage("duplicated options \"%s\"", arg[4] == ':' ? "-ini:" : "-ini=");
            EndMessageLine(0);
        }
        // A path that does not fit is not cut: nothing is read then.
        const std::string path = IniPath(arg + kIniPrefixLength);
        if (path.empty() || !ExpandPath(path.c_str(), ConfigFilePath, 0)) ConfigFilePath[0] = '\0';
        NoIniFlag = 0;
        IniGivenFlag = 1;
    }
}

void AddBadArgument(const char* argument) {
    if (strcmp(argument, "-h") == 0) {
        HelpFlag = 1;
        return;
    }
    if (strcmp(argument, "-v") == 0) {
        SetVersionFlag();
        return;
    }
    if (BadOptionList) BadOptionList->AddString(argument);
}

int ParseCommandLine() {
    if (ArgumentList) {
        // The handlers never touch the argument list, so a plain walk will do.
        for (void* p = ArgumentList->First(); p; p = ArgumentList->Next()) {
            const char* arg = static_cast<const char*>(p);
            if (strcmp(arg, "-ni") == 0) continue;
            if (arg[0] != '-') {
                AddBadArgument(arg);
                continue;
            }
            const char* text = arg + 1;
            size_t length = strlen(text);
            const CommandLineOption* row = FindOption(text);
            if (!row || length > row->maxLength || row->handler(text, static_cast<uint32_t>(length)) != 0)
                AddBadArgument(arg);
        }
    }
    return !BadOptionList || BadOptionList->IsEmpty() ? 1 : 0;
}

const char* FirstBadOption() {
    return BadOptionList ? static_cast<const char*>(BadOptionList->First()) : nullptr;
}

const char* NextBadOption() {
    return BadOptionList ? static_cast<const char*>(BadOptionList->Next()) : nullptr;
}

const char* FirstObsoleteOption() {
    return ObsoleteOptionList ? static_cast<const char*>(ObsoleteOptionList->First()) : nullptr;
}

const char* NextObsoleteOption() {
    return ObsoleteOptionList ? static_cast<const char*>(ObsoleteOptionList->Next()) : nullptr;
}

void PrintUsage() {
    for (uint32_t i = 0; i < kUsageMessageCount; ++i) {
        const char* text = MessageText(kUsageMessages[i]);
        if (strcmp(text, "<empty>") == 0) break;
        PrintMessage("%s", text);
        EndMessageLine(0);
    }
}

int OptionsExitStatus() {
    return VersionFlag || CheckOnlyFlag ? 0 : 255;
}

void RememberStartFolder() {
    if (getcwd(StartFolder, sizeof StartFolder) == nullptr) StartFolder[0] = '\0';
}
