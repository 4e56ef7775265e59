#include "unix/daemon/helperprocess.h"

#include <dirent.h>
#include <sys/resource.h>
#include <syslog.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <vector>

#include "base/logwriter.h"

namespace {

// Beyond this a scan of every possible number takes too long; /proc lists the open ones.
constexpr long kDescriptorScanLimit = 65536;

} // namespace

void CloseDescriptorsFrom(int first) {
    // The open descriptors are collected before any is closed: closing while the folder is read
    // would close the folder's own descriptor.
    std::vector<int> open;
    bool listed = false;
    if (DIR* dir = opendir("/proc/self/fd")) {
        listed = true;
        const int own = dirfd(dir);
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
            const int fd = atoi(entry->d_name);
            if (fd >= first && fd != own) open.push_back(fd);
        }
        closedir(dir);
    }
    if (listed) {
        for (int fd : open) close(fd);
        return;
    }
    long limit = sysconf(_SC_OPEN_MAX);
    if (limit < 0 || limit > kDescriptorScanLimit) limit = kDescriptorScanLimit;
    for (long fd = first; fd < limit; ++fd) close(static_cast<int>(fd));
}

void ResetSignalDispositions() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s = 1; s < NSIG; ++s) {
        if (s == SIGKILL || s == SIGSTOP) continue;
        sigaction(s, &action, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

void PrepareHelperProcess() {
    ClearLogBuffers();
    ForgetHeldLogLines();
    // The syslog connection is one of the descriptors closed below: the next line opens a new one.
    closelog();
    CloseDescriptorsFrom(3);
    ResetSignalDispositions();
}
