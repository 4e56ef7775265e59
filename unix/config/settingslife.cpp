#include "unix/config/settingslife.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/pathutil.h"
#include "shell/loader/enginemodule.h"
#include "shell/settings/scansettings.h"
#include "unix/config/cmdline.h"
#include "unix/config/configkeys.h"
#include "unix/config/configreader.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/socketconfig.h"

// The header rules of the mail processing, when it is linked in.
void FreeFilterRules() __attribute__((weak));

void (*DefaultSettingsHook)() = nullptr;

namespace {

std::unique_ptr<TarvoMainSettings> ownedMainSettings;

void CopyText(char* out, size_t size, const char* text) {
    if (size == 0) return;
    size_t n = strnlen(text, size - 1);
    memcpy(out, text, n);
    out[n] = '\0';
}

} // namespace

void ResolveProgramPath(const char* argv0, char* out, size_t size) {
    if (!argv0) argv0 = "";
    if (argv0[0] == '~' || argv0[0] == '.' || argv0[0] == '/') {
        char expanded[kPathBufSize];
        if (ExpandPath(argv0, expanded, 1) && strlen(expanded) < size) {
            CopyText(out, size, expanded);
            return;
        }
        CopyText(out, size, argv0);
        return;
    }
    const char* path = getenv("PATH");
    if (path) {
        const char* p = path;
        while (*p == ':') ++p;
        while (*p) {
            const char* end = strchr(p, ':');
            size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
            if (length + strlen(argv0) + 1 < kPathMax) {
                std::string candidate(p, length);
                candidate += '/';
                candidate += argv0;
                if (access(candidate.c_str(), R_OK | X_OK) == 0 && candidate.size() < size) {
                    CopyText(out, size, candidate.c_str());
                    return;
                }
            }
            if (!end) break;
            p = end + 1;
        }
    }
    CopyText(out, size, argv0);
}

int InitSettings(int argc, const char* const* argv) {
    char programPath[kPathBufSize];
    ResolveProgramPath(argc > 0 ? argv[0] : nullptr, programPath, sizeof programPath);
    SetProgramPath(programPath);
    int result = CreateSettings();
    PrescanCommandLine(argc, argv);
    return result;
}

int CreateSettings() {
    UnixSocketList = std::make_unique<tvList>(1);
    InetSocketList = std::make_unique<tvList>(1);
    DefaultAddressList = std::make_unique<tvStringList>(1);
    SocketKeyGiven = 0;
    // A reload that keeps the loaded engine keeps its module list too; the
    // release before any other load has deleted it.
    if (!EngineModules) EngineModules = std::make_unique<PE_Lib>();
    VirusBase = std::make_unique<tvStringList>(1);
    MissingHeader = std::make_unique<tvStringList>(1);
    ownedMainSettings = std::make_unique<TarvoMainSettings>();
    MainSettings = ownedMainSettings.get();
    ConfigErrorList = std::make_unique<ConfigErrorLines>();
    ObsoleteParameterList = std::make_unique<std::vector<ObsoleteParameter>>();
    SetDefaultSettings();
    CopyText(SpoolPath, sizeof SpoolPath, "/var/tarvo/spool");
    if (DefaultSettingsHook) DefaultSettingsHook();
    bool complete = UnixSocketList && InetSocketList && DefaultAddressList && EngineModules && VirusBase &&
                    MissingHeader && MainSettings && ConfigErrorList && ObsoleteParameterList;
    return complete ? 0 : -1;
}

void FreeSettings() {
    DefaultAddressList.reset();
    if (FreeFilterRules) FreeFilterRules();
    UnixSocketList.reset();
    ClearInetSocketList();
    InetSocketList.reset();
    if (ConfigTargetSettings == MainSettings) ConfigTargetSettings = nullptr;
    MainSettings = nullptr;
    ownedMainSettings.reset();
    MissingHeader.reset();
    VirusBase.reset();
    ConfigErrorList.reset();
    ObsoleteParameterList.reset();
}

void FreeAllSettings() {
    FreeSettings();
    ArgumentList.reset();
    BadOptionList.reset();
    ObsoleteOptionList.reset();
}

void ResetSettings() {
    FreeSettings();
    CreateSettings();
}
