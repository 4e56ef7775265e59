#include "shell/disk/drivemap.h"

#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "base/filelayer.h"

const char* PartitionsFile = kDefaultPartitionsFile;
const char* DeviceFolder = kDefaultDeviceFolder;
std::map<uint32_t, DiskDevice> DriveMap;

namespace {

bool IsWholeDisk(const char* path, const char* name) {
    const int fd = FileOpen(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd >= 0) {
        hd_geometry geometry{};
        const int asked = ioctl(fd, HDIO_GETGEO, &geometry);
        FileClose(fd);
        if (asked == 0) return geometry.start == 0;
    }
    const size_t length = strlen(name);
    return length > 0 && !isdigit(static_cast<unsigned char>(name[length - 1]));
}

} // namespace

int NextWholeDisk(FILE* stream, char* path, size_t size) {
    char line[512];
    while (fgets(line, sizeof line, stream)) {
        // A line longer than the buffer: the rest is skipped, not read as a line of its own.
        if (!strchr(line, '\n'))
            for (int c; (c = fgetc(stream)) != EOF && c != '\n';) {
            }
        int major = 0, minor = 0;
        long long blocks = 0;
        char name[256];
        if (sscanf(line, " %d %d %lld %255[^\n ]", &major, &minor, &blocks, name) != 4) continue;
        const int n = snprintf(path, size, "%s/%s", DeviceFolder, name);
        if (n < 0 || static_cast<size_t>(n) >= size) continue;
        if (IsWholeDisk(path, name)) return 1;
    }
    return 0;
}

void ClearDriveMap() {
    DriveMap.clear();
}

int BuildDriveMap() {
    ClearDriveMap();
    FILE* stream = fopen(PartitionsFile, "re");
    if (!stream) return -1;
    uint32_t key = kFirstHardDriveKey;
    char path[kPathBufSize];
    while (NextWholeDisk(stream, path, sizeof path)) {
        DiskDevice device(path);
        device.Open();
        DriveMap.emplace(key++, static_cast<DiskDevice&&>(device));
    }
    fclose(stream);
    return 0;
}

DiskDevice* FindDrive(uint32_t key) {
    const auto found = DriveMap.find(key);
    return found == DriveMap.end() ? nullptr : &found->second;
}

uint32_t DriveKeyFor(const char* device) {
    // Any other name is refused: a client may not open files, or disks the map does not list.
    for (auto& entry : DriveMap)
        if (device && strcmp(entry.second.path(), device) == 0) return entry.first;
    return 0;
}
