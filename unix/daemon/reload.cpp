#include "unix/daemon/reload.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/logwriter.h"
#include "base/messages.h"
#include "base/pathutil.h"
#include "unix/config/configreader.h"
#include "unix/config/daemonsettings.h"
#include "unix/pool/listeners.h"
#include "unix/daemon/pidfile.h"
#include "unix/pool/processpool.h"
#include "unix/daemon/startup.h"
#include "unix/protocol/signalflags.h"

namespace {

int ReloadRunning = 0;

// The log as the daemon writes it: where, and in which form.
struct SavedLogTarget {
    int toFile;
    int toSyslog;
    int time;
    int encoding;
    int facility;
    int priority;
    char fileName[sizeof LogFileName];
};

SavedLogTarget SaveLogTarget() {
    SavedLogTarget saved{LogToFile, LogToSyslog, LogTime, LogEncoding, SyslogFacility, SyslogPriority, {}};
    memcpy(saved.fileName, LogFileName, sizeof saved.fileName);
    return saved;
}

void RestoreLogTarget(const SavedLogTarget& saved) {
    LogToFile = saved.toFile;
    LogToSyslog = saved.toSyslog;
    LogTime = saved.time;
    LogEncoding = saved.encoding;
    SyslogFacility = saved.facility;
    SyslogPriority = saved.priority;
    memcpy(LogFileName, saved.fileName, sizeof LogFileName);
}

void ChangeToRoot() {
    if (chdir("/") != 0) {
    }
}

// The folder of the configuration file, "" when its path names none.
std::string ConfigFolder() {
    const char* slash = strrchr(ConfigFilePath, '/');
    if (slash == nullptr) return std::string();
    if (slash == ConfigFilePath) return "/";
    return std::string(ConfigFilePath, static_cast<size_t>(slash - ConfigFilePath));
}

} // namespace

int ReloadDaemon() {
    if (ForkMarker == 0 || ReloadRunning) return 0;
    ReloadRunning = 1;
    const std::string folder = ConfigFolder();
    char oldPidPath[kPathBufSize];
    ExpandedPidFile(oldPidPath);
    const SavedLogTarget logTarget = SaveLogTarget();
    PrintMessage("%s", MessageText(111));
    EndMessageLine(0);

    ReloadingOptions = 1;
    ReleaseResources();
    // Until the load has succeeded, its lines belong to no log: a failed one tells its reason in the
    // log the daemon was writing, whatever the new settings read before the failure said.
    HoldLogLines();
    // Relative paths of the configuration resolve against its folder.
    if (!folder.empty() && chdir(folder.c_str()) != 0) {
        PrintMessage("'chdir' failed for '%s' - %s", folder.c_str(), strerror(errno));
        EndMessageLine(0);
    }
    int result = LoadOptions(SavedArgc, SavedArgv);
    ChangeToRoot();
    if (result == 0 && ReconcileListeners(oldPidPath) != 0) {
        // A pid file that the reconciliation began at a new path is no one's either.
        char newPidPath[kPathBufSize];
        ExpandedPidFile(newPidPath);
        if (newPidPath[0] != '\0' && strcmp(newPidPath, oldPidPath) != 0) unlink(newPidPath);
        ReloadFlag = 0;
        result = -1;
    }
    if (result != 0) {
        // The master ends now: with the pid file it wrote and the log it wrote to, not those of the
        // defaults that a load which failed half-way leaves behind.
        memcpy(PidFile, oldPidPath, sizeof PidFile < sizeof oldPidPath ? sizeof PidFile : sizeof oldPidPath);
        PidFile[sizeof PidFile - 1] = '\0';
        RestoreLogTarget(logTarget);
    }
    WriteHeldLogLines();
    ReloadingOptions = 0;
    ReloadRunning = 0;
    return result;
}
