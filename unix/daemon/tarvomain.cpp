#include "unix/daemon/tarvomain.h"

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "base/filelayer.h"
#include "base/logwriter.h"
#include "shell/host/hosthooks.h"
#include "unix/config/cmdline.h"
#include "unix/daemon/daemonstart.h"
#include "unix/pool/processpool.h"
#include "unix/daemon/signals.h"
#include "unix/daemon/startup.h"

int TarvoMain(int argc, char** argv) {
    // Held back until the master has its handler: a SIGHUP before that must not end the launcher.
    BlockSignal(SIGHUP);
    setlocale(LC_CTYPE, "");
    SavedArgc = argc;
    SavedArgv = argv;
    setvbuf(stdout, nullptr, _IONBF, 0);
    InitOpenFileLimit();
    ForkMarker = getpid();
    ConnectHostServices();
    RememberStartFolder();
    if (chdir("/") != 0) {
        PrintMessage("'chdir' failed for root - %s", strerror(errno));
        EndMessageLine(0);
    }
    if (LoadOptions(argc, argv) != 0) {
        ShutdownCleanup();
        return FailedOptionsExitStatus();
    }
    FirstStart = 0;
    return StartDaemon();
}
