#include "shell/hostdisk.h"

int32_t HostReadDiskSectors(void*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, void*) {
    return -1;
}

int32_t HostWriteDiskSectors(void*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, void*) {
    return -1;
}

int32_t HostDiskGeometry(void*, uint32_t, uint32_t*, uint32_t*, uint32_t*, uint32_t*) {
    return -1;
}

int32_t HostDriveCount(void*) {
    return 0;
}
