#include "procmemory.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace bench {

namespace {

std::string ReadSmallFile(const std::string& path) {
    char buffer[8192];
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::string();
    const ssize_t n = read(fd, buffer, sizeof buffer);
    close(fd);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

long PeakKb(pid_t pid) {
    const std::string status = ReadSmallFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : atol(status.c_str() + at + 6);
}

pid_t ParentOf(pid_t pid) {
    const std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    char state = 0;
    long parent = 0;
    if (sscanf(stat.c_str() + close + 1, " %c %ld", &state, &parent) != 2 || state == 'Z') return 0;
    return static_cast<pid_t>(parent);
}

} // namespace

MemorySample SampleMemory(pid_t pid) {
    MemorySample out;
    if (pid <= 0) return out;
    out.processKb = PeakKb(pid);
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    while (const dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        const pid_t child = static_cast<pid_t>(atol(e->d_name));
        if (ParentOf(child) != pid) continue;
        const long kb = PeakKb(child);
        ++out.children;
        if (kb > out.maxChildKb) out.maxChildKb = kb;
    }
    closedir(proc);
    return out;
}

} // namespace bench
