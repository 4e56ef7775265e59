#include "base/processid.h"

#include <pthread.h>
#include <unistd.h>

namespace {

pid_t KeptId = 0;

void ForgetId() {
    KeptId = 0;
}

} // namespace

pid_t OwnPid() {
    if (KeptId == 0) {
        static const bool registered = pthread_atfork(nullptr, nullptr, ForgetId) == 0;
        const pid_t id = getpid();
        // Without the fork hook a kept id could be the parent's: ask every time.
        if (!registered) return id;
        KeptId = id;
    }
    return KeptId;
}
