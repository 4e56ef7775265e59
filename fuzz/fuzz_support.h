// What the fuzz targets share: a quiet log, and the checks that one input left nothing behind.
#pragma once

#include <dirent.h>
#include <sys/time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/logwriter.h"

namespace {

// Lines that would go to syslog are dropped; the fuzzer's output stays its own.
inline void DiscardLogLine(int, const char*, const char*) {}

inline void QuietLog() {
    LogSyslogSend = DiscardLogLine;
    LogToSyslog = 1;
    RunningAsDaemon = 1;
}

// The entries of a folder, "." and ".." left out; -1 when it cannot be read.
inline int FolderEntries(const char* path) {
    DIR* dir = opendir(path);
    if (!dir) return -1;
    int count = 0;
    while (const dirent* e = readdir(dir))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) count++;
    closedir(dir);
    return count;
}

// The descriptors the process holds (the one that reads /proc/self/fd not counted).
inline int OpenDescriptors() {
    const int entries = FolderEntries("/proc/self/fd");
    return entries < 0 ? -1 : entries - 1;
}

// A fault the sanitizers cannot see: reported, then the fuzzer stops on the input.
[[noreturn]] inline void Fault(const char* what) {
    fprintf(stderr, "fuzz fault: %s\n", what);
    abort();
}

// libFuzzer finds hangs with a periodic SIGALRM; the scan alarm's alarm(0) would stop it for good.
class KeepFuzzerTimer {
public:
    KeepFuzzerTimer() { getitimer(ITIMER_REAL, &saved_); }
    ~KeepFuzzerTimer() {
        if (saved_.it_interval.tv_sec || saved_.it_interval.tv_usec) {
            itimerval again = saved_;
            again.it_value = saved_.it_interval;
            setitimer(ITIMER_REAL, &again, nullptr);
        }
    }
    KeepFuzzerTimer(const KeepFuzzerTimer&) = delete;
    KeepFuzzerTimer& operator=(const KeepFuzzerTimer&) = delete;

private:
    itimerval saved_{};
};

} // namespace
