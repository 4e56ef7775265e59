// The disk-sector services of the host table (rows 22 to 25), over the
// drives of the drive map. A drive key that is not in the map fails and is
// not added to it.
#pragma once

#include <cstdint>

#include "engine/tarvo_engine_api.h"

// Sectors of drive key drive: address parts a and b, first sector (from 1),
// count, buffer of count x 512 bytes. 0, or -1.
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostReadDiskSectors(void* context, uint32_t drive, uint32_t a,
                                                          uint32_t b, uint32_t sector, uint32_t count,
                                                          void* buffer);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostWriteDiskSectors(void* context, uint32_t drive, uint32_t a,
                                                           uint32_t b, uint32_t sector, uint32_t count,
                                                           void* buffer);
// The geometry words g0, g2, g1 and the drive count: 0, or -1.
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostDiskGeometry(void* context, uint32_t drive, uint32_t* g0,
                                                       uint32_t* g2, uint32_t* g1, uint32_t* driveCount);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostDriveCount(void* context);
