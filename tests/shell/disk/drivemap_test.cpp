// The drive map and sector access, with regular files standing in for disks.

#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "shell/disk/drivemap.h"
#include "shell/host/hostdisk.h"
#include "tests/base/scratch_dir.h"

namespace {

class DriveMapTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        devices = dir.path();
        partitions = dir / "partitions";
        PartitionsFile = partitions.c_str();
        DeviceFolder = devices.c_str();
    }
    void TearDown() override {
        ClearDriveMap();
        PartitionsFile = kDefaultPartitionsFile;
        DeviceFolder = kDefaultDeviceFolder;
    }
    // A disk of `sectors` sectors, sector i filled with the byte 'A' + i.
    void MakeDisk(const std::string& name, int sectors) {
        std::string bytes;
        for (int i = 0; i < sectors; ++i) bytes += std::string(kDiskSectorSize, static_cast<char>('A' + i));
        ASSERT_TRUE(dir.Write(name, bytes));
    }
    std::string Path(const std::string& name) const { return dir / name; }

    ScratchDir dir;
    std::string devices;
    std::string partitions;
};

TEST_F(DriveMapTest, WholeDisksGetKeysFrom128) {
    ASSERT_TRUE(dir.Write("partitions", "major minor  #blocks  name\n"
                                        "\n"
                                        "   3        0   1000 hda\n"
                                        "   3        1    500 hda1\n"
                                        "   8       16   2000 sdb\n"
                                        "   8       17   2000 sdb2\n"
                                        "garbage line\n"
                                        " 259        0   4000 nvme0n1p\n"));
    MakeDisk("hda", 2);
    MakeDisk("sdb", 3);
    ASSERT_EQ(BuildDriveMap(), 0);
    ASSERT_EQ(DriveMap.size(), 3u);
    EXPECT_STREQ(DriveMap.at(128).path(), Path("hda").c_str());
    EXPECT_EQ(DriveMap.at(128).sectors(), 2u);
    EXPECT_STREQ(DriveMap.at(129).path(), Path("sdb").c_str());
    EXPECT_EQ(DriveMap.at(129).sectors(), 3u);
    // Listed but missing: still numbered, and every access fails.
    EXPECT_STREQ(DriveMap.at(130).path(), Path("nvme0n1p").c_str());
    EXPECT_EQ(DriveMap.at(130).fd(), -1);
    char buffer[kDiskSectorSize];
    EXPECT_EQ(DriveMap.at(130).ReadSectors(0, 0, 1, 1, buffer), -1);

    // Built again: the same keys, not added to.
    ASSERT_EQ(BuildDriveMap(), 0);
    EXPECT_EQ(DriveMap.size(), 3u);
}

TEST_F(DriveMapTest, MissingPartitionsFile) {
    EXPECT_EQ(BuildDriveMap(), -1);
    EXPECT_TRUE(DriveMap.empty());
}

TEST_F(DriveMapTest, UnknownKeyIsNotAdded) {
    ASSERT_TRUE(dir.Write("partitions", "   3        0   1000 hda\n"));
    MakeDisk("hda", 1);
    ASSERT_EQ(BuildDriveMap(), 0);
    EXPECT_EQ(FindDrive(129), nullptr);
    EXPECT_EQ(FindDrive(0), nullptr);
    EXPECT_EQ(DriveMap.size(), 1u);
    ASSERT_NE(FindDrive(128), nullptr);
}

// Open descriptors of this process.
int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

// Only the whole disks of the map have a key; any other name is refused without being opened or
// added.
TEST_F(DriveMapTest, OnlyWholeDisksOfTheMapHaveAKey) {
    ASSERT_TRUE(dir.Write("partitions", "   3        0   1000 hda\n   3        1    500 hda1\n"));
    MakeDisk("hda", 1);
    MakeDisk("hda1", 1);
    MakeDisk("hdb", 1);
    ASSERT_EQ(BuildDriveMap(), 0);
    ASSERT_EQ(DriveMap.size(), 1u);
    const int open = OpenDescriptors();
    const struct {
        std::string name;
        uint32_t key;
    } cases[] = {
        {Path("hda"), 128},
        {Path("hdb"), 0},        // a device the partitions file does not list
        {Path("hda1"), 0},       // a partition, not a whole disk
        {devices + "/./hda", 0}, // the disk under another spelling
        {devices + "/../" + devices.substr(devices.rfind('/') + 1) + "/hda", 0},
        {"../../etc/passwd", 0},
        {"/etc/passwd", 0},
        {"hda", 0},
        {"", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DriveKeyFor(c.name.c_str()), c.key) << c.name;
        EXPECT_EQ(DriveMap.size(), 1u) << c.name;
        EXPECT_EQ(OpenDescriptors(), open) << c.name;
    }
    EXPECT_EQ(DriveKeyFor(nullptr), 0u);
    EXPECT_EQ(FindDrive(0), nullptr);
}

TEST_F(DriveMapTest, SectorReadsAndWrites) {
    MakeDisk("disk", 3);
    DiskDevice disk(Path("disk").c_str());
    ASSERT_EQ(disk.Open(), 0);
    EXPECT_EQ(disk.sectors(), 3u);
    std::vector<char> buffer(2 * kDiskSectorSize);

    // The three-part address with the geometry at 0 is sector - 1.
    ASSERT_EQ(disk.ReadSectors(7, 9, 2, 1, buffer.data()), 0);
    EXPECT_EQ(std::string(buffer.data(), kDiskSectorSize), std::string(kDiskSectorSize, 'B'));
    ASSERT_EQ(disk.ReadSectors(0, 0, 2, 2, buffer.data()), 0);
    EXPECT_EQ(buffer[kDiskSectorSize], 'C');

    const std::string wiped(kDiskSectorSize, '\0');
    ASSERT_EQ(disk.WriteSectors(0, 0, 1, 1, wiped.data()), 0);
    ASSERT_EQ(disk.ReadSectors(0, 1, buffer.data()), 0);
    EXPECT_EQ(std::string(buffer.data(), kDiskSectorSize), wiped);

    // Sector 0 of the three-part address, past the end, and a run that crosses the end fail.
    EXPECT_EQ(disk.ReadSectors(0, 0, 0, 1, buffer.data()), -1);
    EXPECT_EQ(disk.ReadSectors(3, 1, buffer.data()), -1);
    EXPECT_EQ(disk.ReadSectors(2, 2, buffer.data()), -1);
    EXPECT_EQ(disk.WriteSectors(2, 2, buffer.data()), -1);
    EXPECT_EQ(disk.ReadSectors(0, 0, buffer.data()), -1);
}

TEST_F(DriveMapTest, ShortDeviceReadIsAnError) {
    // The size is not known (a device that cannot be measured): the read itself must come up short.
    ASSERT_TRUE(dir.Write("half", std::string(kDiskSectorSize / 2, 'x')));
    DiskDevice disk(Path("half").c_str());
    ASSERT_EQ(disk.Open(), 0);
    EXPECT_EQ(disk.sectors(), 0u);
    char buffer[kDiskSectorSize];
    EXPECT_EQ(disk.ReadSectors(0, 1, buffer), -1);
}

TEST_F(DriveMapTest, ReadOnlyDeviceReadsButCannotWrite) {
    MakeDisk("ro", 1);
    ASSERT_EQ(chmod(Path("ro").c_str(), 0400), 0);
    if (access(Path("ro").c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights to write anything";
    DiskDevice disk(Path("ro").c_str());
    ASSERT_EQ(disk.Open(), 0);
    char buffer[kDiskSectorSize];
    EXPECT_EQ(disk.ReadSectors(0, 1, buffer), 0);
    EXPECT_EQ(disk.WriteSectors(0, 1, buffer), -1);
}

} // namespace

namespace {

// The engine's disk services over the map.
TEST_F(DriveMapTest, HostDiskServices) {
    ASSERT_TRUE(dir.Write("partitions", "   3        0   1000 hda\n   3   64  0 hdb\n"));
    MakeDisk("hda", 2);
    ASSERT_TRUE(dir.Write("hdb", ""));
    ASSERT_EQ(BuildDriveMap(), 0);
    EXPECT_EQ(HostDriveCount(nullptr), 2);

    char buffer[kDiskSectorSize];
    ASSERT_EQ(HostReadDiskSectors(nullptr, 128, 0, 0, 2, 1, buffer), 0);
    EXPECT_EQ(buffer[0], 'B');
    memset(buffer, 'W', sizeof buffer);
    ASSERT_EQ(HostWriteDiskSectors(nullptr, 128, 0, 0, 1, 1, buffer), 0);
    memset(buffer, 0, sizeof buffer);
    ASSERT_EQ(HostReadDiskSectors(nullptr, 128, 0, 0, 1, 1, buffer), 0);
    EXPECT_EQ(buffer[511], 'W');

    uint32_t g0 = 9, g2 = 9, g1 = 9, count = 9;
    EXPECT_EQ(HostDiskGeometry(nullptr, 128, &g0, &g2, &g1, &count), 0);
    EXPECT_EQ(g0 + g1 + g2, 0u);
    EXPECT_EQ(count, 2u);
    // An empty device has no geometry.
    EXPECT_EQ(HostDiskGeometry(nullptr, 129, &g0, &g2, &g1, &count), -1);

    // Keys not in the map fail, and the map stays as it was.
    EXPECT_EQ(HostReadDiskSectors(nullptr, 130, 0, 0, 1, 1, buffer), -1);
    EXPECT_EQ(HostWriteDiskSectors(nullptr, 127, 0, 0, 1, 1, buffer), -1);
    EXPECT_EQ(HostDiskGeometry(nullptr, 131, &g0, &g2, &g1, &count), -1);
    EXPECT_EQ(HostDriveCount(nullptr), 2);
}

} // namespace
