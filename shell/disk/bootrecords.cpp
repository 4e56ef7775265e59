// The boot-record road of a scan context: the master boot record of each
// drive of the drive map, read through the engine's disk service and handed
// to the engine as a memory object.

#include <cstdio>

#include "engine/tarvo_engine_api.h"
#include "shell/disk/drivemap.h"
#include "shell/host/hostdisk.h"
#include "shell/settings/scansettings.h"
#include "shell/scan/scanthread.h"

namespace {

constexpr int32_t kMasterBootRecord = -2;

} // namespace

uint32_t ScanThread::ScanDrives(uint32_t) {
    if (!SettingsWord(kDiskWord)) return 0;
    uint32_t result = 0;
    const uint32_t count = static_cast<uint32_t>(DriveMap.size());
    for (uint32_t key = kFirstHardDriveKey;
         key < kFirstHardDriveKey + count && key - kFirstHardDriveKey < kDriveCount; ++key) {
        if (IsStopRequested()) break;
        uint8_t& done = driveDone_[key - kFirstHardDriveKey];
        if (done) continue;
        done = 1;
        result = ScanBootRecords(key);
    }
    return result;
}

uint32_t ScanThread::ScanBootRecords(uint32_t drive) {
    uint8_t sector[TARVO_SECTOR_SIZE] = {};
    // A sector that cannot be read is a read error, not a finding.
    if (HostReadDiskSectors(nullptr, drive, 0, 0, 1, 1, sector) != 0) return TARVO_RESULT_READ_ERROR;
    return ScanBootRecord(kMasterBootRecord, 0, drive, sector, 0, 0, 1);
}

uint32_t ScanThread::ScanBootRecord(int32_t kind, uint32_t, uint32_t drive, uint8_t* buffer,
                                    uint32_t cylinder, uint32_t head, uint32_t sector) {
    if (kind != kMasterBootRecord || !buffer) return 0;
    const DiskDevice* disk = FindDrive(drive);
    char name[kPathBufSize + 64];
    snprintf(name, sizeof name, "%s [%s %s%u]", disk ? disk->path() : "", "Master Boot Record", "HDD",
             drive - (kFirstHardDriveKey - 1));
    return ScanMemoryObject(name, reinterpret_cast<uintptr_t>(buffer), drive, cylinder, head, sector,
                            static_cast<uint32_t>(kind));
}
