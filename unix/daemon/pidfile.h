// The pid file: the master's pid, then one line per listening socket.
#pragma once

#include <sys/types.h>

// Writes "pid\n" and one "name\n" line per listener, in list order, to path (already expanded).
// 0, or -1 when the file cannot be written completely.
int WritePidFile(const char* path, pid_t pid);
// The expanded PidFile path into buffer (kPathBufSize bytes); "" when it does not fit.
char* ExpandedPidFile(char* buffer);
// Removes the file at the expanded PidFile path.
void RemovePidFile();
