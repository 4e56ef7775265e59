// A disk opened for the boot-record scan: its block device, its size in
// sectors, and sector reads and writes for the engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/pathutil.h"

constexpr uint32_t kDiskSectorSize = 512;

// The size of the device open at fd in 512-byte sectors, into *sectors: 0,
// or -1. A regular file (standing in for a disk) answers its own size.
int GetDeviceSectors(int fd, uint64_t* sectors);

class DiskDevice {
public:
    DiskDevice() = default;
    explicit DiskDevice(const char* path);
    ~DiskDevice();
    DiskDevice(DiskDevice&& other) noexcept;
    DiskDevice& operator=(DiskDevice&& other) noexcept;
    DiskDevice(const DiskDevice&) = delete;
    DiskDevice& operator=(const DiskDevice&) = delete;

    // Opens the device read-write, read-only when that is refused, and
    // measures it: 0, or -1.
    int Open();
    void Close();

    // count sectors from the first (numbered from 0): exactly count x 512
    // bytes moved, or -1. Nothing beyond the end of a measured device.
    int ReadSectors(uint64_t first, uint32_t count, void* buffer);
    int WriteSectors(uint64_t first, uint32_t count, const void* buffer);
    // The same by the three-part address: (b x g0 + a) x g1 + sector - 1.
    // Sectors are numbered from 1 there: sector 0 is refused.
    int ReadSectors(uint32_t a, uint32_t b, uint32_t sector, uint32_t count, void* buffer);
    int WriteSectors(uint32_t a, uint32_t b, uint32_t sector, uint32_t count, const void* buffer);

    int fd() const { return fd_; }
    const char* path() const { return path_; }
    uint64_t sectors() const { return sectors_; }
    // The geometry words; g0 to g3 stay 0.
    uint32_t g0 = 0, g1 = 0, g2 = 0, g3 = 0;

private:
    int Address(uint32_t a, uint32_t b, uint32_t sector, uint64_t* first) const;
    int Transfer(uint64_t first, uint32_t count, void* buffer, bool write);

    int fd_ = -1;
    char path_[kPathBufSize] = {};
    uint64_t sectors_ = 0;
};
