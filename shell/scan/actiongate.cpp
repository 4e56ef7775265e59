#include "shell/scan/actiongate.h"

#include <unistd.h>

#include "shell/settings/scansettings.h"
#include "shell/scan/scantask.h"

ScanTask* volatile ActionLockOwner = nullptr;
uint32_t ActionLockWaitSeconds = 3;

namespace {

bool ActionClass(int32_t cls) {
    return cls == 1 || cls == 2 || (cls >= 4 && cls <= 9);
}

} // namespace

int MayApplyAction(ScanTask* task, uint32_t mask, int takeLock) {
    if (!task || task->Depth() != 0) return 0;
    if (mask & kActionLeaveAlone) return 1;
    if (!ActionClass(task->FoundClass())) return 0;
    if (!(mask & kActionCure)) return 1;
    if (!takeLock) return 0;
    for (uint32_t waited = 0; ActionLockOwner && ActionLockOwner != task; ++waited) {
        if (waited >= ActionLockWaitSeconds) {
            task->NoteActionLockBusy();
            return 0;
        }
        sleep(1);
    }
    ActionLockOwner = task;
    return 1;
}
