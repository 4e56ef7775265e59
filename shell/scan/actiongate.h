// The gate every action on a found object passes, asked by the scan task
// before it changes a file and by the engine before it cures one; and the
// action lock that a cure holds while the engine rewrites the object.
#pragma once

#include <cstdint>

class ScanTask;

// The task that holds the action lock, or null.
extern ScanTask* volatile ActionLockOwner;
// How long a task waits, in 1-second sleeps, for a lock another task holds.
// Nothing runs beside the waiting task that could let go of it, so the wait
// is bounded and then refused.
extern uint32_t ActionLockWaitSeconds;

// 1 when the action mask may be applied to the task's current object, else
// 0: nothing inside a container; leaving alone always; only for the finding
// classes 1, 2 and 4 to 9; a mask with the cure bit only with the lock,
// which takeLock takes for the task.
int MayApplyAction(ScanTask* task, uint32_t mask, int takeLock);

inline bool HoldsActionLock(const ScanTask* task) {
    return task && ActionLockOwner == task;
}
// Lets go of the lock when task holds it. Inline: every scanned object asks, and hardly any holds it.
inline void ReleaseActionLock(const ScanTask* task) {
    if (HoldsActionLock(task)) ActionLockOwner = nullptr;
}
