// The id of this process, asked of the kernel once per process rather than
// for every log line and file lock.
#pragma once

#include <sys/types.h>

// getpid(), kept: a child made by fork() asks the kernel again.
pid_t OwnPid();
