// The start of the daemon: listeners, the fork into the background, the pid file, and the master's
// entry into the process pool.
#pragma once

// How long the launcher waits for the new master to take over, in seconds.
extern int DaemonReadyTimeoutSeconds;

// 0 in the launcher after a successful start, and in the master when the pool loop returns with 0;
// 64 when listeners, fork, pid file or the standard handles fail (or the pool cannot start).
int StartDaemon();
