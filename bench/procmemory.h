// The peak resident memory (VmHWM) of a daemon's processes, from /proc.
#pragma once

#include <sys/types.h>

namespace bench {

struct MemorySample {
    long processKb = 0;  // the process itself (the master, or a threaded daemon)
    long maxChildKb = 0; // the largest of its children
    int children = 0;
};

MemorySample SampleMemory(pid_t pid);

} // namespace bench
