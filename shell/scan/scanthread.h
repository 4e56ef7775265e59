// Scan contexts: what one scanning job needs, with a private copy of the
// scan settings. "Thread" means scan context; the program runs no threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/tvstrlist.h"
#include "shell/settings/scansettings.h"

class ScanThreadBase {
public:
    static constexpr size_t kMaskTextSize = 4100;

    // A copy of settings, or of the process-wide settings when null (of
    // those, the words only: the lists are shared); the defaults when there
    // are none.
    explicit ScanThreadBase(const TarvoMainSettings* settings);
    ScanThreadBase(const ScanThreadBase&) = delete;
    ScanThreadBase& operator=(const ScanThreadBase&) = delete;

    virtual int IsStopRequested() = 0;
    virtual ~ScanThreadBase() = default;
    virtual uint64_t GetId() const { return id_; }
    virtual void Idle() {}
    // 1 to scan, 0 to skip, by the settings' filter. header, when given,
    // holds the object's first headerLen bytes.
    virtual int FilterFile(const char* name, uint64_t size, const uint8_t* header, size_t headerLen);
    virtual uint32_t Scan(const char* path, uint64_t size) = 0;
    virtual uint32_t ScanPath(const char* path, uint64_t size) { return Scan(path, size); }
    virtual bool MatchMasks(const char* name, int mode);

    TarvoMainSettings& Settings() { return settings_; }
    const TarvoMainSettings& Settings() const { return settings_; }
    uint32_t SettingsWord(int n) const { return settings_.word[n]; }

    // With the own mask set, the filter matches base names against text
    // instead of the name masks.
    void SetOwnMask(const char* text);

protected:
    char maskText_[kMaskTextSize] = {};
    uint32_t ownMask_ = 0;

private:
    uint64_t id_;
    uint32_t reserved_ = 0;
    TarvoMainSettings settings_;
};

class ScanThread : public ScanThreadBase {
public:
    static constexpr size_t kDriveCount = 128;

    explicit ScanThread(const TarvoMainSettings* settings);

    int IsStopRequested() override { return 0; }
    ~ScanThread() override = default;

    virtual void SetAbort() { abort_ = 1; }
    virtual uint32_t GetStateFlag() const { return stateFlag_; }
    // The boot-record road of disk requests, over the drive map. With the
    // settings' disk word set, every drive of the map once per context; the
    // answer is the last drive's.
    virtual uint32_t ScanDrives(uint32_t drive);
    // The master boot record of the drive: read error bits when its first
    // sector cannot be read, else ScanBootRecord of it.
    virtual uint32_t ScanBootRecords(uint32_t drive);
    // The record in buffer (one sector) under its name, handed to
    // ScanMemoryObject with the six values of engine command 5: the buffer,
    // the drive key, cylinder, head, sector and kind. Only the master boot
    // record (kind -2) is scanned.
    virtual uint32_t ScanBootRecord(int32_t kind, uint32_t active, uint32_t drive, uint8_t* buffer,
                                    uint32_t cylinder, uint32_t head, uint32_t sector);
    // A named in-memory object handed to the engine; nothing here. v1 holds
    // a pointer (the sector buffer).
    virtual uint32_t ScanMemoryObject(const char* name, uintptr_t v1, uint32_t v2, uint32_t v3, uint32_t v4,
                                      uint32_t v5, uint32_t v6);

    uint32_t AbortFlag() const { return abort_; }

protected:
    uint8_t driveDone_[kDriveCount] = {};
    uint32_t stateFlag_ = 1;
    volatile uint32_t abort_ = 0;
    tvStringList names_{1};
    uint32_t reserved2_ = 0;
};
