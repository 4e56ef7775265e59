// Base object of the class library: lockable, with a changed flag.
#pragma once

#include <cstdint>

// The program is single-threaded: a lock only marks an object busy, so a
// lock that is already held can never be released by waiting. Taking it
// again fails (and asserts in debug builds) instead of spinning.
class tvObject {
public:
    explicit tvObject(int isLockable = 0) : lockable(isLockable ? 1 : 0) {}
    tvObject(const tvObject& other) : lockable(other.lockable) {}
    tvObject& operator=(const tvObject&) = delete;
    virtual ~tvObject();

    // Hook called while waiting for the lock.
    virtual void Idle() {}
    virtual int IsLockable() const { return static_cast<int>(lockable); }
    // The same without the virtual call: the lists' own brackets ask it for every operation.
    bool HasLock() const { return lockable != 0; }
    virtual int IsLocked() const { return static_cast<int>(locked); }
    virtual int IsChanged() const { return static_cast<int>(changed); }
    virtual void SetChanged(int v);
    // 0 once unlocked, -1 when still locked after Idle.
    virtual int WaitUnlocked();
    // 0 when taken (or not lockable), -1 when already held.
    virtual int Lock();
    virtual int MarkLocked();
    virtual int Unlock();
    virtual int SavePos() { return 0; }
    virtual int RestorePos() { return 0; }
    // 0 when locked and saved, -1 (nothing done) when the lock is held.
    virtual int LockAndSave();
    virtual int RestoreAndUnlock();

protected:
    uint32_t lockable = 0;
    uint32_t locked = 0;
    uint32_t changed = 0;
};
