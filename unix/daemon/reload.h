// The reload that SIGHUP asks for, run by the master loop: options, engine and bases, listeners and
// pid file anew.
#pragma once

// 0 when the daemon goes on with the new settings (also when there was nothing to do), -1 when the
// options no longer load or the listeners cannot be reconciled; the master then ends with status 1.
int ReloadDaemon();
