#include "shell/engine/versionscreen.h"

#include "base/consolevideo.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "base/outputmode.h"

VersionScreenSource VersionSource = {nullptr, nullptr, nullptr};

namespace {

const char* TextOf(const char* (*hook)()) {
    const char* text = hook ? hook() : nullptr;
    return text ? text : "";
}

} // namespace

int PrintVersions() {
    OutputMode = OutputModeTerminal;
    ConsoleActive = 1;
    OpenConsoleVideo();
    PrintMessage("%s: %s", MessageText(204), TextOf(VersionSource.shellVersion));
    EndMessageLine(0);
    // Only a started engine knows its version.
    if (VersionSource.startEngine) VersionSource.startEngine();
    PrintMessage("%s: %s", MessageText(150), TextOf(VersionSource.engineVersion));
    EndMessageLine(0);
    CloseConsoleVideo();
    OutputMode = OutputModeQuiet;
    return 0;
}
