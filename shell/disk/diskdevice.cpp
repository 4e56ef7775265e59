#include "shell/disk/diskdevice.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/filelayer.h"

int GetDeviceSectors(int fd, uint64_t* sectors) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return -1;
    if (S_ISREG(st.st_mode)) {
        *sectors = static_cast<uint64_t>(st.st_size) / kDiskSectorSize;
        return 0;
    }
    unsigned long small = 0;
    if (ioctl(fd, BLKGETSIZE, &small) != 0) {
        if (errno != EFBIG) return -1;
        small = 0; // more sectors than the word holds: the 64-bit size tells
    }
    uint64_t bytes = 0;
    if (ioctl(fd, BLKGETSIZE64, &bytes) == 0 && bytes != 0 && bytes / kDiskSectorSize != small) {
        *sectors = bytes / kDiskSectorSize;
        return 0;
    }
    *sectors = small;
    return 0;
}

DiskDevice::DiskDevice(const char* path) {
    CopyPathBuffer(path_, path ? path : "");
}

DiskDevice::~DiskDevice() {
    Close();
}

DiskDevice::DiskDevice(DiskDevice&& other) noexcept {
    *this = static_cast<DiskDevice&&>(other);
}

DiskDevice& DiskDevice::operator=(DiskDevice&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        memcpy(path_, other.path_, sizeof path_);
        sectors_ = other.sectors_;
        g0 = other.g0;
        g1 = other.g1;
        g2 = other.g2;
        g3 = other.g3;
        other.fd_ = -1;
        other.sectors_ = 0;
    }
    return *this;
}

int DiskDevice::Open() {
    Close();
    if (!path_[0]) return -1;
    fd_ = FileOpen(path_, O_RDWR | O_CLOEXEC, 0);
    if (fd_ < 0) fd_ = FileOpen(path_, O_RDONLY | O_CLOEXEC, 0);
    if (fd_ < 0) return -1;
    if (GetDeviceSectors(fd_, &sectors_) != 0) sectors_ = 0;
    return 0;
}

void DiskDevice::Close() {
    if (fd_ >= 0) FileClose(fd_);
    fd_ = -1;
    sectors_ = 0;
}

int DiskDevice::Transfer(uint64_t first, uint32_t count, void* buffer, bool write) {
    if (fd_ < 0 || !buffer || count == 0) return -1;
    if (sectors_ != 0 && (first >= sectors_ || count > sectors_ - first)) return -1;
    const uint64_t bytes = static_cast<uint64_t>(count) * kDiskSectorSize;
    if (bytes > static_cast<uint64_t>(SSIZE_MAX) ||
        first > static_cast<uint64_t>(INT64_MAX) / kDiskSectorSize)
        return -1;
    const off_t offset = static_cast<off_t>(first * kDiskSectorSize);
    char* at = static_cast<char*>(buffer);
    size_t done = 0;
    const size_t total = static_cast<size_t>(bytes);
    while (done < total) {
        const ssize_t n = write ? pwrite(fd_, at + done, total - done, offset + static_cast<off_t>(done))
                                : pread(fd_, at + done, total - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1; // an error, or the end of the device before the last sector
        done += static_cast<size_t>(n);
    }
    return 0;
}

int DiskDevice::ReadSectors(uint64_t first, uint32_t count, void* buffer) {
    return Transfer(first, count, buffer, false);
}

int DiskDevice::WriteSectors(uint64_t first, uint32_t count, const void* buffer) {
    return Transfer(first, count, const_cast<void*>(buffer), true);
}

int DiskDevice::Address(uint32_t a, uint32_t b, uint32_t sector, uint64_t* first) const {
    if (sector == 0) return -1;
    *first = (static_cast<uint64_t>(b) * g0 + a) * g1 + sector - 1;
    return 0;
}

int DiskDevice::ReadSectors(uint32_t a, uint32_t b, uint32_t sector, uint32_t count, void* buffer) {
    uint64_t first = 0;
    return Address(a, b, sector, &first) == 0 ? ReadSectors(first, count, buffer) : -1;
}

int DiskDevice::WriteSectors(uint32_t a, uint32_t b, uint32_t sector, uint32_t count, const void* buffer) {
    uint64_t first = 0;
    return Address(a, b, sector, &first) == 0 ? WriteSectors(first, count, buffer) : -1;
}
