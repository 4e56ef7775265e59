#include "unix/daemon/signals.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/logwriter.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/poolparams.h"
#include "unix/pool/poolsignals.h"
#include "unix/pool/processpool.h"
#include "unix/protocol/protocolsettings.h"
#include "unix/protocol/signalflags.h"

namespace {

volatile sig_atomic_t TerminateGuard = 0;

void SignalFailure(const char* what, int signal) {
    const int error = errno;
    if (signal >= 0)
        PrintMessage("[%d] %s %d failed - %s", static_cast<int>(ForkMarker), what, signal, strerror(error));
    else
        PrintMessage("[%d] %s failed - %s", static_cast<int>(ForkMarker), what, strerror(error));
    EndMessageLine(0);
}

int ChangeMask(int how, const sigset_t& set, const char* what, int signal) {
    if (sigprocmask(how, &set, nullptr) == 0) return 1;
    SignalFailure(what, signal);
    return 0;
}

} // namespace

int SetSignalHandler(int signal, void (*handler)(int), int restart) {
    if (handler == nullptr) return 1;
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_mask = PoolSignalSet();
    action.sa_flags = SA_NOCLDSTOP | (restart ? SA_RESTART : 0);
    if (sigaction(signal, &action, nullptr) == 0) return 1;
    const int error = errno;
    PrintMessage("[%d] sigaction(%d,..) failed - %s", static_cast<int>(ForkMarker), signal, strerror(error));
    EndMessageLine(0);
    return 0;
}

int IgnoreSignal(int signal) {
    return SetSignalHandler(signal, SIG_IGN, 0);
}

int BlockSignal(int signal) {
    return ChangeMask(SIG_BLOCK, SignalSetOf({signal}), "block signal", signal);
}

int UnblockSignal(int signal) {
    return ChangeMask(SIG_UNBLOCK, SignalSetOf({signal}), "unblock signal", signal);
}

int BlockPoolSignals() {
    return ChangeMask(SIG_BLOCK, PoolSignalSet(), "block signals", -1);
}

int UnblockPoolSignals() {
    return ChangeMask(SIG_UNBLOCK, PoolSignalSet(), "unblock signals", -1);
}

__attribute__((force_align_arg_pointer)) void OnReloadSignal(int) {
    if (ForkMarker == 0) return;
    StopFlag = 0;
    ReloadFlag = 1;
}

__attribute__((force_align_arg_pointer)) void OnTerminateSignal(int signal) {
    if (ForkMarker == 0) {
        FileTimeout = 1;
        SocketTimeout = 1;
        ReloadFlag = 0;
        StopFlag = 1;
        return;
    }
    if (TerminateGuard) return;
    TerminateGuard = 1;
    // From now on a reload can no longer cancel the shutdown.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGHUP, &ignore, nullptr);
    ReloadFlag = 0;
    StopFlag = 1;
    // Every pending transfer gives up within about a second.
    FileTimeout = 1;
    SocketTimeout = 1;
    ShutdownSignal = signal;
}

__attribute__((force_align_arg_pointer)) void OnStatisticsSignal(int) {
    if (PoolParameters.statistics) RequestPoolStatistics();
}

__attribute__((force_align_arg_pointer)) void OnChildSignal(int) {
    if (ForkMarker != 0) ReapChildren(1);
}

__attribute__((force_align_arg_pointer)) void OnAlarmSignal(int) {
    const int saved = errno;
    PoolWatchdog();
    alarm(static_cast<unsigned>(PoolParameters.timerPeriod > 0 ? PoolParameters.timerPeriod : 1));
    errno = saved;
}

int InstallMasterSignalHandlers() {
    int ok = SetSignalHandler(SIGUSR1, OnStatisticsSignal, 0);
    ok &= IgnoreSignal(SIGPIPE);
    ok &= SetSignalHandler(SIGTERM, OnTerminateSignal, 0);
    ok &= SetSignalHandler(SIGABRT, OnTerminateSignal, 0);
    ok &= SetSignalHandler(SIGINT, OnTerminateSignal, 0);
    ok &= SetSignalHandler(SIGHUP, OnReloadSignal, 0);
    ok &= UnblockSignal(SIGHUP);
    ok &= SetSignalHandler(SIGCHLD, OnChildSignal, 0);
    ok &= SetSignalHandler(SIGALRM, OnAlarmSignal, 0);
    return ok;
}

void ResetTerminateGuard() {
    TerminateGuard = 0;
}
