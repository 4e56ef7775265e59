#include "shell/host/hostdisk.h"

#include "shell/disk/drivemap.h"

int32_t HostReadDiskSectors(void*, uint32_t drive, uint32_t a, uint32_t b, uint32_t sector, uint32_t count,
                            void* buffer) {
    DiskDevice* disk = FindDrive(drive);
    return disk ? disk->ReadSectors(a, b, sector, count, buffer) : -1;
}

int32_t HostWriteDiskSectors(void*, uint32_t drive, uint32_t a, uint32_t b, uint32_t sector, uint32_t count,
                             void* buffer) {
    DiskDevice* disk = FindDrive(drive);
    return disk ? disk->WriteSectors(a, b, sector, count, buffer) : -1;
}

int32_t HostDiskGeometry(void*, uint32_t drive, uint32_t* g0, uint32_t* g2, uint32_t* g1,
                         uint32_t* driveCount) {
    DiskDevice* disk = FindDrive(drive);
    if (!disk || disk->sectors() == 0) return -1;
    if (g0) *g0 = disk->g0;
    if (g2) *g2 = disk->g2;
    if (g1) *g1 = disk->g1;
    if (driveCount) *driveCount = static_cast<uint32_t>(DriveMap.size());
    return 0;
}

int32_t HostDriveCount(void*) {
    return static_cast<int32_t>(DriveMap.size());
}
