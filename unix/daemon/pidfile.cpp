#include "unix/daemon/pidfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "base/pathutil.h"
#include "unix/config/daemonsettings.h"
#include "unix/pool/listeners.h"

int WritePidFile(const char* path, pid_t pid) {
    if (path == nullptr || path[0] == '\0') return -1;
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) {
        close(fd);
        return -1;
    }
    bool ok = fprintf(file, "%u\n", static_cast<unsigned>(pid)) > 0;
    char name[kSocketNameSize];
    for (uint32_t i = 0; ok && Listeners.At(i) != nullptr; ++i)
        ok = fprintf(file, "%s\n", Listeners.At(i)->Name(name, sizeof name)) > 0;
    if (fclose(file) != 0) ok = false;
    return ok ? 0 : -1;
}

char* ExpandedPidFile(char* buffer) {
    if (ExpandPath(PidFile, buffer, 0) == nullptr) buffer[0] = '\0';
    return buffer;
}

void RemovePidFile() {
    char path[kPathBufSize];
    if (ExpandedPidFile(path)[0] != '\0') unlink(path);
}
