#include "shell/scan/scantask.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/shell/access_count.h"
#include "tests/shell/archive_maker.h"
#include "tests/shell/scan_fixture.h"
#include "shell/scan/actiongate.h"
#include "shell/host/hosthooks.h"
#include "shell/host/hostreport.h"
#include "shell/host/memfile.h"
#include "shell/host/objectaccess.h"
#include "shell/scan/scanresult.h"

namespace {

TEST_F(ScanTaskTest, CleanObjectIsReportedOk) {
    std::string path = Make("clean.txt", "nothing to see here");
    ScanOutcome out = Scan(path);
    EXPECT_EQ(0u, out.result);
    EXPECT_TRUE(Logged(path + " - Ok")) << AllLines();
    EXPECT_EQ(1u, out.stat.scanned);
    EXPECT_EQ(1u, out.stat.clean);
    EXPECT_EQ(0u, out.stat.leftInfected);
}

TEST_F(ScanTaskTest, CurableObjectIsCuredInPlaceAndScannedAgain) {
    std::string path = Make("cure.com", Signature("CURABLE") + " and the rest", 0750);
    Word(kInfectedActionWord) = kActionCure;
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_CURED, out.result & 0xFFu);
    EXPECT_EQ(std::string(Signature("CURABLE").size(), '\0') + " and the rest", Read(path));
    EXPECT_EQ(0750u, ModeOf(path));
    EXPECT_TRUE(Logged(path + " infected with Tarvo.Test.Curable")) << AllLines();
    EXPECT_TRUE(Logged(path + " - cured!")) << AllLines();
    EXPECT_TRUE(Logged(path + " - Ok")) << "the rescan finds it clean\n" << AllLines();
    EXPECT_EQ(1u, out.stat.cured);
    EXPECT_EQ(2u, out.stat.scanned);
    EXPECT_EQ(0u, out.stat.leftInfected);
    EXPECT_EQ(nullptr, ActionLockOwner) << "the cure's lock is let go";
}

TEST_F(ScanTaskTest, CureRefusedLeavesTheObjectInfected) {
    const std::string data = Signature("CURABLE") + " body";
    struct Case {
        const char* what;
        uint32_t infectedWord;
        uint32_t incurableWord;
        bool lockTaken;
    };
    // A lock held elsewhere is no verdict on the object: no incurable bit, and no action
    // that was meant for an object that cannot be cured.
    for (const Case& c :
         {Case{"cure not asked for", 0, 0, false}, Case{"the gate refuses", kActionCure, 0, true},
          Case{"the gate refuses, delete else", kActionCure | kActionDelete, 0, true},
          Case{"the gate refuses, incurable ones deleted", kActionCure, kActionDelete, true}}) {
        SCOPED_TRACE(c.what);
        std::string path = Make("refused.com", data);
        Word(kInfectedActionWord) = c.infectedWord;
        Word(kIncurableActionWord) = c.incurableWord;
        ScanTask other(settings_.get(), 0, kScanStackBudget);
        ActionLockOwner = c.lockTaken ? &other : nullptr;
        CapturedLines().clear();
        ScanOutcome out = Scan(path);
        EXPECT_EQ(TARVO_RESULT_INFECTED, out.result);
        EXPECT_EQ(data, Read(path));
        EXPECT_EQ(1u, out.stat.leftInfected);
        EXPECT_EQ(0u, out.stat.cured);
        EXPECT_EQ(0u, out.stat.deleted);
        EXPECT_EQ(c.lockTaken, Logged(path + " - cure put off, the action lock stayed busy: left infected"))
            << AllLines();
        ActionLockOwner = nullptr;
        unlink(path.c_str());
    }
}

// The actions on an infected object that cannot be cured.
TEST_F(ScanTaskTest, IncurableObjectGetsTheConfiguredAction) {
    const std::string data = Signature("DAILY") + " payload";
    struct Case {
        const char* what;
        uint32_t infected;
        uint32_t incurable;
        uint32_t bit;
        bool originalStays;
        const char* renamed;
        bool moved;
        const char* line;
    };
    const Case cases[] = {
        {"no action", 0, 0, 0, true, nullptr, false, nullptr},
        {"delete", kActionDelete, 0, TARVO_RESULT_DELETED, false, nullptr, false, " - deleted!"},
        {"rename", kActionRename, 0, TARVO_RESULT_RENAMED, false, "a.#om", false, " - renamed!"},
        {"move", kActionMove, 0, TARVO_RESULT_MOVED, false, nullptr, true, " - moved!"},
        {"cure, else delete", kActionCure | kActionDelete, 0, TARVO_RESULT_DELETED, false, nullptr, false,
         " - deleted!"},
        {"cure only: the incurable action", kActionCure, kActionMove, TARVO_RESULT_MOVED, false, nullptr,
         true, " - moved!"},
        {"leave alone", kActionLeaveAlone, 0, TARVO_RESULT_LEFT_ALONE, true, nullptr, false, " - ignored!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = Make("a.com", data);
        Word(kInfectedActionWord) = c.infected;
        Word(kIncurableActionWord) = c.incurable;
        CapturedLines().clear();
        ScanOutcome out = Scan(path);
        EXPECT_EQ(TARVO_RESULT_INFECTED, out.result & TARVO_RESULT_INFECTED);
        EXPECT_EQ(c.bit, out.result & (TARVO_RESULT_MASK_DONE | TARVO_RESULT_WRITE_ERROR));
        EXPECT_EQ(c.originalStays, Exists(path));
        EXPECT_TRUE(Logged(path + " infected with Tarvo.Test.Daily")) << AllLines();
        if (c.line) {
            EXPECT_TRUE(Logged(path + c.line)) << AllLines();
        }
        if (c.renamed) {
            EXPECT_EQ(data, Read(dir_ / c.renamed));
        }
        if (c.moved) {
            EXPECT_EQ(data, Read(quarantine_ + "/a.com"));
        }
        bool gone = c.bit == TARVO_RESULT_DELETED || c.bit == TARVO_RESULT_MOVED;
        EXPECT_EQ(gone ? 0u : 1u, out.stat.leftInfected);
        unlink(path.c_str());
        if (c.renamed) unlink((dir_ / c.renamed).c_str());
        if (c.moved) unlink((quarantine_ + "/a.com").c_str());
    }
}

TEST_F(ScanTaskTest, FailedDeleteIsAWriteError) {
    std::string path = Make("gone.com", Signature("DAILY"));
    Word(kInfectedActionWord) = kActionDelete;
    // Once the engine has read it, a folder takes the object's place.
    HookedTask task(settings_.get(), [&] {
        ASSERT_EQ(0, rename(path.c_str(), (path + ".old").c_str()));
        ASSERT_EQ(0, mkdir(path.c_str(), 0700));
    });
    ScanOutcome out = Finish(task, task.Scan(path.c_str(), 0));
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_WRITE_ERROR, out.result);
    EXPECT_TRUE(Logged(path + " - write error!")) << AllLines();
    EXPECT_EQ(1u, out.stat.writeErrors);
    EXPECT_EQ(0u, out.stat.deleted);
    EXPECT_EQ(1u, out.stat.leftInfected);
}

TEST_F(ScanTaskTest, RenameOntoAnExistingNameKeepsBoth) {
    std::string path = Make("b.exe", Signature("DAILY"), 0640);
    std::string taken = Make("b.#xe", "someone else's");
    Word(kInfectedActionWord) = kActionRename;
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_RENAMED, out.result);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ("someone else's", Read(taken));
    EXPECT_EQ(0644u, ModeOf(taken)) << "the mode went to the new name, not to this one";
    std::string renamed = dir_ / "b______0.#xe";
    EXPECT_EQ(Signature("DAILY"), Read(renamed));
    EXPECT_EQ(0640u, ModeOf(renamed));
}

TEST_F(ScanTaskTest, MoveIntoAFolderThatCannotBeMadeFails) {
    std::string path = Make("c.com", Signature("DAILY"));
    Make("plain", "a file, not a folder");
    CopyPathBuffer(MoveFilesTo, (dir_ / "plain/sub").c_str());
    Word(kInfectedActionWord) = kActionMove;
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_WRITE_ERROR, out.result);
    EXPECT_EQ(Signature("DAILY"), Read(path));
    EXPECT_EQ(1u, out.stat.writeErrors);
    EXPECT_EQ(1u, out.stat.leftInfected);
}

TEST_F(ScanTaskTest, MovedCopyLosesTheSetIdBitsAndNeverOverwrites) {
    std::string path = Make("d.com", Signature("DAILY"), 06755);
    ASSERT_EQ(06755u, ModeOf(path));
    Word(kInfectedActionWord) = kActionMove;
    ASSERT_EQ(0, mkdir(quarantine_.c_str(), 0700));
    std::string earlier = quarantine_ + "/d.com";
    ASSERT_TRUE(dir_.Write("infected/d.com", "moved before"));
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_MOVED, out.result);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ("moved before", Read(earlier));
    std::string copy = quarantine_ + "/d______0.com";
    EXPECT_EQ(Signature("DAILY"), Read(copy));
    EXPECT_EQ(0755u, ModeOf(copy));
    EXPECT_EQ(1u, out.stat.moved);
    EXPECT_EQ(0u, out.stat.leftInfected);
}

TEST_F(ScanTaskTest, ExcludedAndFilteredObjectsGiveTheEngineBack) {
    ASSERT_EQ(0, mkdir((dir_ / "skip").c_str(), 0700));
    std::string excluded = Make("skip/e.com", Signature("DAILY"));
    settings_->excludePaths.AddString((dir_.path() + "//skip").c_str());
    ScanOutcome out = Scan(excluded);
    EXPECT_EQ(0u, out.result);
    EXPECT_TRUE(Logged(excluded + " - ignored because specified in the ExcludePaths option")) << AllLines();
    EXPECT_EQ(0u, out.stat.scanned);

    std::string filtered = Make("f.qqq", Signature("DAILY"));
    Word(kFilterModeWord) = kFilterByType;
    out = Scan(filtered);
    EXPECT_EQ(0u, out.result);
    EXPECT_EQ(kScanFlagFiltered, out.flags);
    EXPECT_EQ(1u, out.stat.skipped);
    EXPECT_TRUE(Logged(filtered + " - unknown file type, skipped")) << AllLines();
}

// A long ExcludePaths costs a scan nothing when no entry can match the object's folder: no entry is
// looked up on the disk, for an object on the disk or in memory.
TEST_F(ScanTaskTest, ExcludePathsThatCannotMatchAreNotLookedUp) {
    const std::string path = Make("clean.txt", "nothing to see here");
    ConnectHostServices();
    ASSERT_EQ(0, CreateMemoryFileList());
    const std::string data = "in memory";
    const char* name = AddMemoryFile(data.data(), static_cast<uint32_t>(data.size()), "client.txt");
    ASSERT_NE(nullptr, name);
    const auto lookups = [&] {
        const unsigned long before = AccessCalls;
        EXPECT_EQ(0u, Scan(path).result);
        ScanTask task(settings_.get(), 0, kScanStackBudget);
        EXPECT_EQ(0u, task.Scan(name, data.size()));
        return AccessCalls - before;
    };
    const unsigned long without = lookups();
    for (int i = 0; i < 1000; ++i)
        settings_->excludePaths.AddString(("/srv/excluded/folder" + std::to_string(i)).c_str());
    EXPECT_EQ(without, lookups());
    EXPECT_FALSE(Logged(path + " - ignored because specified in the ExcludePaths option")) << AllLines();
    ShellObjectAccess = FileLayerAccess;
}

// Each class of finding with its own action word.
TEST_F(ScanTaskTest, FindingsOfEveryClass) {
    struct Case {
        const char* signature;
        const char* text;
        int word;
        uint32_t action;
        uint32_t result;
        uint32_t ScanStat::*counter;
        bool countsInfected;
    };
    const Case cases[] = {
        {"SUSPICIOUS", "probably infected with Tarvo.Test.Suspicious", kSuspiciousActionWord, kActionDelete,
         TARVO_RESULT_SUSPICIOUS | TARVO_RESULT_DELETED, &ScanStat::suspicious, false},
        {"ADWARE", "contains an advertising software Tarvo.Test.Adware", kAdwareActionWord, 0,
         TARVO_RESULT_INFECTED, &ScanStat::adware, true},
        {"DIALER", "contains a dialer program Tarvo.Test.Dialer", kDialerActionWord, kActionRename,
         TARVO_RESULT_INFECTED | TARVO_RESULT_RENAMED, &ScanStat::dialers, true},
        {"JOKE", "contains a joke (hoax) program Tarvo.Test.Joke", kJokeActionWord, kActionLeaveAlone, 0,
         &ScanStat::ignored, false},
        {"RISKWARE", "contains a potentially dangerous software Tarvo.Test.Riskware", kRiskwareActionWord,
         kActionMove, TARVO_RESULT_INFECTED | TARVO_RESULT_MOVED, &ScanStat::riskware, true},
        {"HACKTOOL", "contains an intrusion tool Tarvo.Test.Hacktool", kHacktoolActionWord, kActionLeaveAlone,
         0, &ScanStat::ignored, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signature);
        std::string path = Make("g.com", Signature(c.signature));
        Word(c.word) = c.action;
        CapturedLines().clear();
        ScanOutcome out = Scan(path);
        EXPECT_EQ(c.result, out.result);
        EXPECT_TRUE(Logged(path + " " + c.text)) << AllLines();
        EXPECT_EQ(1u, out.stat.*(c.counter));
        EXPECT_EQ(c.countsInfected ? 1u : 0u, out.stat.infected);
        unlink(path.c_str());
        unlink((dir_ / "g.#om").c_str());
    }
}

TEST_F(ScanTaskTest, ModificationUsesTheIncurableAction) {
    std::string path = Make("m.bin", "lead " + Signature("MODIFICATION") + " tail");
    Word(kIncurableActionWord) = kActionDelete;
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_MODIFICATION | TARVO_RESULT_DELETED, out.result);
    EXPECT_TRUE(Logged(path + " infected with modification of Tarvo.Test.Modification")) << AllLines();
    EXPECT_EQ(1u, out.stat.modifications);
    EXPECT_FALSE(Exists(path));
}

TEST_F(ScanTaskTest, PatternsAreFoundWhereverTheObjectHoldsThem) {
    // The engine reads an object's first 512 bytes, then chunks of 64 KB that overlap by a pattern.
    const size_t chunk = 65536;
    const struct {
        const char* where;
        size_t size;
        size_t at;
        const char* signature;
        uint32_t result;
    } cases[] = {
        {"anywhere, in the first 512 bytes", 400, 300, "MODIFICATION", TARVO_RESULT_MODIFICATION},
        {"anywhere, past the first 512 bytes", 2000, 600, "MODIFICATION", TARVO_RESULT_MODIFICATION},
        {"anywhere, at the object's end", 3000, 3000 - 23, "MODIFICATION", TARVO_RESULT_MODIFICATION},
        {"anywhere, across the first chunk's end", chunk + 5000, chunk - 10, "MODIFICATION",
         TARVO_RESULT_MODIFICATION},
        {"anywhere, in the second chunk", chunk + 5000, chunk + 100, "MODIFICATION",
         TARVO_RESULT_MODIFICATION},
        {"at the start of a small object", 30, 0, "SUSPICIOUS", TARVO_RESULT_SUSPICIOUS},
        {"at the start of a big object", chunk + 5000, 0, "SUSPICIOUS", TARVO_RESULT_SUSPICIOUS},
        {"a start pattern elsewhere", 2000, 1000, "SUSPICIOUS", 0},
    };
    const uint32_t kinds = TARVO_RESULT_INFECTED | TARVO_RESULT_MODIFICATION | TARVO_RESULT_SUSPICIOUS;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        std::string data(c.size, '.');
        const std::string signature = Signature(c.signature);
        ASSERT_LE(c.at + signature.size(), data.size());
        data.replace(c.at, signature.size(), signature);
        const std::string path = Make("p.bin", data);
        EXPECT_EQ(c.result, Scan(path).result & kinds);
        unlink(path.c_str());
    }
}

TEST_F(ScanTaskTest, OriginFindingIsInfectedAndIncurable) {
    std::string path = Make("o.com", Signature("ORIGIN"));
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_INCURABLE, out.result);
}

TEST_F(ScanTaskTest, PackedObjectIsReportedAndScannedInside) {
    std::string path = Make("p.gz", MakeStoredGzip(Eicar()));
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_INFECTED, out.result);
    EXPECT_TRUE(Logged(path + " packed by GZIP")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + " infected with EICAR-Test-File")) << AllLines();

    std::string compressed = Make("q.gz", ModificationGzip());
    out = Scan(compressed);
    EXPECT_EQ(TARVO_RESULT_MODIFICATION, out.result);
}

// An engine that answers "cured" for ever, and one that is always busy.
int32_t CuredCalls = 0;
TARVO_CDECL int32_t AlwaysCured(void*, uint32_t command, ...) {
    if (command == TARVO_CMD_SCAN_OBJECT) {
        ++CuredCalls;
        return TARVO_RESULT_INFECTED | TARVO_RESULT_CURED;
    }
    return 0;
}

// At the cap the object is still infected: nothing was treated.
TEST_F(ScanTaskTest, RescansAfterACureAreCapped) {
    std::string path = Make("loop.com", "whatever");
    Word(kInfectedActionWord) = kActionCure;
    EngineInstance* fake = EngineAt(1);
    fake->module = 1;
    fake->dispatcher = AlwaysCured;
    instance_->busy = 1;
    for (bool singleObjectRoad : {false, true}) {
        SCOPED_TRACE(singleObjectRoad ? "ScanFile" : "Scan");
        CuredCalls = 0;
        CapturedLines().clear();
        ScanTask task(settings_.get(), 0, kScanStackBudget);
        uint32_t result = singleObjectRoad ? task.ScanFile(path.c_str(), 0) : task.Scan(path.c_str(), 0);
        EXPECT_EQ(static_cast<int32_t>(kMaxCureRescans), CuredCalls);
        EXPECT_EQ(TARVO_RESULT_INFECTED, result);
        EXPECT_EQ(0u, task.TaskStat().cured);
        EXPECT_EQ(0u, task.TotalStat().cured);
        EXPECT_EQ(1u, task.TaskStat().leftInfected);
        EXPECT_TRUE(Logged(path + " - the cure did not hold, left infected")) << AllLines();
        EXPECT_EQ(0u, fake->busy);
    }
    instance_->busy = 0;
    *fake = EngineInstance{};
}

TEST_F(ScanTaskTest, NoEngineForAnAbortedOrStarvedTask) {
    std::string path = Make("h.com", Signature("DAILY"));
    ScanTask aborted(settings_.get(), 0, kScanStackBudget);
    aborted.SetAbort();
    EXPECT_EQ(0u, aborted.Scan(path.c_str(), 0));
    EXPECT_EQ(0u, aborted.TaskStat().scanned);
    EXPECT_EQ(0u, aborted.TaskStat().readErrors);

    // A scan that did not happen is never clean.
    uint32_t savedPolls = EngineWaitPolls;
    EngineWaitPolls = 3;
    instance_->busy = 1;
    for (bool singleObjectRoad : {false, true}) {
        SCOPED_TRACE(singleObjectRoad ? "ScanFile" : "Scan");
        CapturedLines().clear();
        ScanTask starved(settings_.get(), 0, kScanStackBudget);
        uint32_t result =
            singleObjectRoad ? starved.ScanFile(path.c_str(), 0) : starved.Scan(path.c_str(), 0);
        EXPECT_EQ(TARVO_RESULT_READ_ERROR, result);
        EXPECT_EQ(1u, starved.TaskStat().readErrors);
        EXPECT_EQ(0u, starved.TaskStat().scanned);
        EXPECT_TRUE(Logged(path + " - not scanned: no engine instance was free in time")) << AllLines();
    }
    instance_->busy = 0;
    EngineWaitPolls = savedPolls;
}

TEST_F(ScanTaskTest, TimeoutIsCountedOnce) {
    std::string path = Make("t.com", "slow");
    ScanTimeoutFlag = 1;
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    task.Scan(path.c_str(), 0);
    EXPECT_TRUE(task.Stopped());
    EXPECT_EQ(1u, task.TaskStat().timeouts);
    EXPECT_TRUE(Logged(path + " -  - timeout!")) << AllLines();
}

// Request data held in memory is scanned, cured and moved like a file.
TEST_F(ScanTaskTest, MemoryObjects) {
    ConnectHostServices();
    ASSERT_EQ(0, CreateMemoryFileList());
    const std::string curable = Signature("CURABLE") + " in memory";
    const char* name = AddMemoryFile(curable.data(), static_cast<uint32_t>(curable.size()), "client.exe");
    ASSERT_NE(nullptr, name);
    Word(kInfectedActionWord) = kActionCure;
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    uint32_t result = task.Scan(name, curable.size());
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_CURED, result);
    uint32_t size = 0;
    const uint8_t* data = GetMemoryFileData(&size, "client.exe");
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(std::string(Signature("CURABLE").size(), '\0') + " in memory",
              std::string(reinterpret_cast<const char*>(data), size));

    const std::string infected = Signature("DAILY");
    name = AddMemoryFile(infected.data(), static_cast<uint32_t>(infected.size()), "DATA[1]");
    ASSERT_NE(nullptr, name);
    Word(kInfectedActionWord) = kActionMove;
    ScanOutcome out = Scan(name);
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_MOVED, out.result);
    EXPECT_EQ(nullptr, GetMemoryFileData(&size, "DATA[1]")) << "the memory file is gone";
    EXPECT_EQ(infected, Read(quarantine_ + "/DATA[1]"));
    ShellObjectAccess = FileLayerAccess;
}

TEST_F(ScanTaskTest, SingleObjectRoadScansWithoutTheFilter) {
    std::string path = Make("part.qqq", Signature("CURABLE") + " part");
    Word(kFilterModeWord) = kFilterByType;
    Word(kInfectedActionWord) = kActionCure;
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    uint32_t result = task.ScanFile(path.c_str(), 0);
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_CURED, result);
    EXPECT_EQ(1u, task.TaskStat().scanned) << "counted once";
    EXPECT_EQ(1u, task.TaskStat().cured);
    EXPECT_EQ(0u, instance_->busy);

    std::string archive = Make("part.tar", MakeTar({{"v.com", Eicar()}}));
    ScanTask walker(settings_.get(), 0, kScanStackBudget);
    EXPECT_EQ(TARVO_RESULT_INFECTED, walker.ScanFile(archive.c_str(), 0) & TARVO_RESULT_INFECTED);
}

// An engine that reports a finding for a container and answers only the
// container bit: the finding is processed once, then the container walked.
int32_t ContainerTypeCalls = 0;
TARVO_CDECL int32_t FoundInContainer(void* context, uint32_t command, ...) {
    switch (command) {
    case TARVO_CMD_SCAN_OBJECT:
        HostVirusFound(nullptr, context, "Whole.Container", TARVO_CLASS_INFECTED);
        return TARVO_RESULT_CONTAINER;
    case TARVO_CMD_CONTAINER_TYPE:
        ++ContainerTypeCalls;
        return 1;
    case TARVO_CMD_CONTAINER_NEXT:
        return TARVO_RESULT_NO_MORE_OBJECTS;
    case TARVO_CMD_FINDING_CLASS:
        return -1;
    default:
        return 0;
    }
}

TEST_F(ScanTaskTest, ContainerWithItsOwnFindingIsProcessedThenWalked) {
    std::string path = Make("w.tar", "not really an archive");
    EngineInstance* fake = EngineAt(1);
    fake->module = 1;
    fake->dispatcher = FoundInContainer;
    instance_->busy = 1;
    ContainerTypeCalls = 0;
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    uint32_t result = task.Scan(path.c_str(), 0);
    instance_->busy = 0;
    *fake = EngineInstance{};
    EXPECT_EQ(TARVO_RESULT_CONTAINER | TARVO_RESULT_INFECTED, result);
    EXPECT_EQ(1, ContainerTypeCalls);
    EXPECT_EQ(1u, task.TaskStat().infected);
    EXPECT_TRUE(Logged(path + " infected with Whole.Container")) << AllLines();
}

} // namespace
