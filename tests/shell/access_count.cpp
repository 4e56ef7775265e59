#include "tests/shell/access_count.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

unsigned long AccessCalls = 0;

extern "C" int access(const char* path, int mode) noexcept {
    ++AccessCalls;
    return static_cast<int>(syscall(SYS_faccessat, AT_FDCWD, path, mode));
}
