// The daemon is steered by signals. The handlers of reload, shutdown and statistics only set flags;
// the master loop does the work, and its wait lets the signals in atomically, so that one arriving
// just before the wait is not lost. SIGCHLD and SIGALRM run the pool's reaping and watchdog, which
// are written to run in a handler (they hold the pool's table signals back and queue the
// replacement children for the loop).
#pragma once

#include <csignal>

// sigaction with the pool signals (SIGUSR1, SIGHUP, SIGCHLD, SIGALRM) as mask and SA_NOCLDSTOP,
// SA_RESTART when restart is set; a null handler does nothing. 1, or 0 after a message.
int SetSignalHandler(int signal, void (*handler)(int), int restart);
int IgnoreSignal(int signal);
int BlockSignal(int signal);
int UnblockSignal(int signal);
int BlockPoolSignals();
int UnblockPoolSignals();

// The master's handlers; they realign the stack, which an emulated i386 process may enter them
// with at 4 bytes.
void OnReloadSignal(int signal);
void OnTerminateSignal(int signal);
void OnStatisticsSignal(int signal);
void OnChildSignal(int signal);
void OnAlarmSignal(int signal);

// In the order the master needs them: SIGUSR1, SIGPIPE ignored, SIGTERM, SIGABRT and SIGINT,
// SIGHUP (then unblocked: it is blocked from the start of the program), SIGCHLD, SIGALRM. 1 when
// every one was installed.
int InstallMasterSignalHandlers();
// Forgets that a shutdown was asked for (for a process that starts again, and for tests).
void ResetTerminateGuard();
