// Whether a wait sleeps or spins, told without timing it: the waiting code runs in a child, and the
// parent reads the child's scheduler state now and then while it waits. A process that retries at
// once is runnable at every look, however slow the machine; one that waits in the kernel is found
// asleep. The samples are taken only between the child's "waiting now" and its end.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

namespace {

struct WaitSamples {
    int taken = 0;
    int asleep = 0;
    int exitStatus = -1;
};

// The state letter of /proc/<pid>/stat ('R', 'S', ...), or 0.
inline char ProcessState(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() ? 0 : line[close + 2];
}

// Runs wait() in a child after prepare() (both in the child); wait's answer is the child's exit
// status. Samples every 20 ms while the child runs.
inline WaitSamples SampleWhileWaiting(const std::function<void()>& prepare,
                                      const std::function<int()>& wait) {
    WaitSamples out;
    int started[2];
    if (pipe(started) != 0) return out;
    const pid_t pid = fork();
    if (pid == 0) {
        close(started[0]);
        if (prepare) prepare();
        close(started[1]); // waiting now
        _exit(wait());
    }
    close(started[1]);
    char c;
    while (read(started[0], &c, 1) < 0) {
    }
    close(started[0]);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        const char state = ProcessState(pid);
        if (state == 'R') {
            ++out.taken;
        } else if (state == 'S' || state == 'D') {
            ++out.taken;
            ++out.asleep;
        }
        usleep(20000);
    }
    out.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

} // namespace
