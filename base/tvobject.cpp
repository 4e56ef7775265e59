#include "base/tvobject.h"

#include <cassert>

tvObject::~tvObject() {
    // Destroying a busy object is a caller's bug; report it, then go on.
    if (lockable && locked) assert(!"object destroyed while locked");
    lockable = locked = changed = 0;
}

// A single word needs no lock, and taking one here would fail inside a
// bracket that already holds it.
void tvObject::SetChanged(int v) {
    changed = v ? 1 : 0;
}

int tvObject::WaitUnlocked() {
    if (!lockable || !locked) return 0;
    Idle();
    return locked ? -1 : 0;
}

int tvObject::Lock() {
    if (!lockable) return 0;
    if (WaitUnlocked() != 0) {
        assert(!"lock taken again");
        return -1;
    }
    locked = 1;
    return 0;
}

int tvObject::MarkLocked() {
    if (lockable) locked = 1;
    return static_cast<int>(locked);
}

int tvObject::Unlock() {
    if (lockable) locked = 0;
    return static_cast<int>(locked);
}

int tvObject::LockAndSave() {
    if (Lock() != 0) return -1;
    SavePos();
    return 0;
}

int tvObject::RestoreAndUnlock() {
    RestorePos();
    return Unlock();
}
