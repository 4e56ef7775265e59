// The boot-record road of a scan task over the drive map, through the stand-in engine.

#include <cstring>
#include <string>
#include <sys/stat.h>

#include "shell/disk/drivemap.h"
#include "tests/shell/scan_fixture.h"

namespace {

class BootRecordTest : public ScanTaskTest {
protected:
    void SetUp() override {
        ScanTaskTest::SetUp();
        devices_ = dir_ / "dev";
        ASSERT_EQ(0, mkdir(devices_.c_str(), 0700));
        partitions_ = dir_ / "partitions";
        ASSERT_TRUE(dir_.Write("partitions", "   3     0  1 hda\n   8    16  1 sdb\n   8    32  1 sdc\n"));
        std::string sector(TARVO_SECTOR_SIZE, 'm');
        sector.replace(3, Signature("BOOT-RECORD").size(), Signature("BOOT-RECORD"));
        ASSERT_TRUE(dir_.Write("dev/hda", sector));
        ASSERT_TRUE(dir_.Write("dev/sdb", std::string(TARVO_SECTOR_SIZE, 'c')));
        PartitionsFile = partitions_.c_str();
        DeviceFolder = devices_.c_str();
        ASSERT_EQ(0, BuildDriveMap());
        CapturedLines().clear();
    }
    void TearDown() override {
        ClearDriveMap();
        PartitionsFile = kDefaultPartitionsFile;
        DeviceFolder = kDefaultDeviceFolder;
        ScanTaskTest::TearDown();
    }
    std::string Record(const char* device, int n) const {
        return devices_ + "/" + device + " [Master Boot Record HDD" + std::to_string(n) + "]";
    }
    std::string devices_, partitions_;
};

TEST_F(BootRecordTest, EveryDriveOncePerTask) {
    Word(kDiskWord) = 1;
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    // sdc is listed but missing: the last drive's answer is its read error.
    EXPECT_EQ(TARVO_RESULT_READ_ERROR, task.ScanDrives(0));
    EXPECT_TRUE(Logged(Record("hda", 1) + " infected with Tarvo.Test.Boot")) << AllLines();
    EXPECT_TRUE(Logged(Record("sdb", 2) + " - Ok")) << AllLines();
    EXPECT_EQ(2u, task.TaskStat().scanned);
    EXPECT_EQ(1u, task.TaskStat().infected);
    CapturedLines().clear();
    EXPECT_EQ(0u, task.ScanDrives(0));
    EXPECT_TRUE(CapturedLines().empty()) << AllLines();
}

TEST_F(BootRecordTest, NothingWithoutTheDiskWord) {
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    EXPECT_EQ(0u, task.ScanDrives(128));
    EXPECT_EQ(0u, task.TaskStat().scanned);
}

TEST_F(BootRecordTest, CureWritesTheSectorBack) {
    Word(kInfectedActionWord) = kActionCure;
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_CURED, task.ScanBootRecords(128));
    EXPECT_TRUE(Logged(Record("hda", 1) + " - cured!")) << AllLines();
    EXPECT_EQ(1u, task.TaskStat().cured);
    std::string wiped(TARVO_SECTOR_SIZE, 'm');
    wiped.replace(3, Signature("BOOT-RECORD").size(), std::string(Signature("BOOT-RECORD").size(), '\0'));
    EXPECT_EQ(wiped, Read(devices_ + "/hda"));
}

TEST_F(BootRecordTest, ReportOnlyLeavesTheSector) {
    Word(kInfectedActionWord) = kActionCure | kActionDelete; // not the cure alone: the engine only reports
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    EXPECT_EQ(TARVO_RESULT_INFECTED, task.ScanBootRecords(128));
    EXPECT_NE(std::string::npos, Read(devices_ + "/hda").find(Signature("BOOT-RECORD")));
}

TEST_F(BootRecordTest, UnreadableDriveIsAReadError) {
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    EXPECT_EQ(TARVO_RESULT_READ_ERROR, task.ScanBootRecords(130));
    EXPECT_EQ(TARVO_RESULT_READ_ERROR, task.ScanBootRecords(200));
    EXPECT_EQ(3u, DriveMap.size());
    EXPECT_EQ(0u, task.TaskStat().infected);
}

// A request names a whole disk of the map by its path; any other device is refused with a read
// error and is neither opened nor added.
TEST_F(BootRecordTest, DiskObjectByName) {
    ASSERT_TRUE(dir_.Write("dev/hdd", std::string(TARVO_SECTOR_SIZE, 'd')));
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    EXPECT_EQ(TARVO_RESULT_READ_ERROR, task.Scan(("disk://" + devices_ + "/hdd").c_str(), 0));
    EXPECT_FALSE(Logged(Record("hdd", 4) + " - Ok")) << AllLines();
    EXPECT_EQ(3u, DriveMap.size());
    EXPECT_EQ(0u, task.Scan(("disk://" + devices_ + "/sdb").c_str(), 0));
    EXPECT_TRUE(Logged(Record("sdb", 2) + " - Ok")) << AllLines();
}

} // namespace
