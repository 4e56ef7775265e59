#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/shell/archive_maker.h"
#include "tests/shell/scan_fixture.h"
#include "shell/scan/scanresult.h"

namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

class ContainerWalkTest : public ScanTaskTest {
protected:
    std::string Archive(const std::string& name, const Members& members) {
        return Make(name, MakeTar(members));
    }

    // Any captured line holding text.
    bool LoggedPart(const std::string& text) const {
        for (const std::string& line : CapturedLines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(ContainerWalkTest, MembersAreScannedOneByOne) {
    std::string path = Archive("a.tar", {{"a.txt", "hello"}, {"dir/b.com", Eicar()}, {"c.txt", "world"}});
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_CONTAINER | TARVO_RESULT_INFECTED, out.result);
    EXPECT_TRUE(Logged(path + " - archive TAR")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + "/a.txt - Ok")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + "/dir/b.com infected with EICAR-Test-File")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + "/c.txt - Ok")) << AllLines();
    EXPECT_EQ(4u, out.stat.scanned);
    EXPECT_EQ(3u, out.stat.scannedNested);
    EXPECT_EQ(1u, out.stat.infectedNested);
    EXPECT_EQ(1u, out.stat.leftInfected) << "the archive itself stays";
}

TEST_F(ContainerWalkTest, NestedArchivesStopAtTheNestingLimit) {
    std::string inner = MakeTar({{"v.com", Eicar()}});
    std::string path = Archive("outer.tar", {{"inner.tar", inner}});
    MaxArchiveLevel = 2;
    ScanOutcome out = Scan(path);
    EXPECT_TRUE(Logged(">>" + path + "/inner.tar - nesting limit! (2)")) << AllLines();
    EXPECT_EQ(0u, out.result & TARVO_RESULT_INFECTED);
    EXPECT_EQ(kScanFlagNestingLimit, out.flags & kScanFlagNestingLimit);
    EXPECT_EQ(1u, out.stat.nestingLimit);

    CapturedLines().clear();
    MaxArchiveLevel = 3;
    out = Scan(path);
    EXPECT_TRUE(Logged(">>" + path + "/inner.tar/v.com infected with EICAR-Test-File")) << AllLines();
    EXPECT_EQ(TARVO_RESULT_INFECTED, out.result & TARVO_RESULT_INFECTED);
    EXPECT_EQ(0u, out.flags);
}

TEST_F(ContainerWalkTest, ExtractionLimits) {
    struct Case {
        const char* what;
        int64_t maxSize;
        int32_t ratio;
        int32_t threshold;
        const char* line;
        uint32_t flag;
        uint32_t ScanStat::*counter;
    };
    const Case cases[] = {
        {"no limits", -1, -1, -1, nullptr, 0, nullptr},
        {"too large", 1000, -1, -1, "/zeros.gz - file too large, skipped", kScanFlagTooLarge,
         &ScanStat::tooLarge},
        {"ratio too high", -1, 10, -1, "/zeros.gz - compression ratio is too high (1048576 : 1051)",
         kScanFlagRatioTooHigh, &ScanStat::compressionRatio},
        {"ratio under the threshold", -1, 10, 2048, nullptr, 0, nullptr},
        {"ratio over the threshold", -1, 10, 512,
         "/zeros.gz - compression ratio is too high (1048576 : 1051)", kScanFlagRatioTooHigh,
         &ScanStat::compressionRatio},
    };
    std::string path = Archive("z.tar", {{"zeros.gz", ZerosGzip()}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MaxFileSizeToExtract = c.maxSize;
        MaxCompressionRatio = c.ratio;
        CompressionCheckThreshold = c.threshold;
        CapturedLines().clear();
        ScanOutcome out = Scan(path);
        EXPECT_EQ(c.flag, out.flags);
        if (c.line) {
            EXPECT_TRUE(Logged(">" + path + c.line)) << AllLines();
            EXPECT_EQ(1u, out.stat.*(c.counter));
            EXPECT_EQ(1u, out.stat.scanned);
        } else {
            EXPECT_TRUE(Logged(">" + path + "/zeros.gz packed by GZIP")) << AllLines();
            EXPECT_EQ(2u, out.stat.scanned);
            EXPECT_EQ(1048576u + MakeTar({{"zeros.gz", ZerosGzip()}}).size(), out.stat.bytesScanned);
        }
    }
}

// Damaged or protected members are reported and skipped; the walk goes on.
TEST_F(ContainerWalkTest, MembersThatCannotBeScanned) {
    std::string stored = MakeStoredGzip(std::string(3000, 'x'));
    std::string badCrc = stored;
    badCrc[badCrc.size() - 8] ^= 0x55;
    std::string truncated = stored.substr(0, 40) + stored.substr(stored.size() - 8);
    std::string path = Archive("e.tar", {{"p.bin", Signature("MARKER-PASSWORD")},
                                         {"c.bin", Signature("MARKER-CRC-ERROR")},
                                         {"d.bin", Signature("MARKER-DECOMPRESSION-ERROR")},
                                         {"crc.gz", badCrc},
                                         {"cut.gz", truncated},
                                         {"v.com", Eicar()}});
    ScanOutcome out = Scan(path);
    EXPECT_TRUE(Logged(">" + path + "/p.bin - password protected, skipped")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + "/c.bin - CRC error!")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + "/d.bin - decompression error!")) << AllLines();
    EXPECT_TRUE(LoggedPart(path + "/crc.gz - CRC error!")) << AllLines();
    EXPECT_TRUE(LoggedPart(path + "/cut.gz - decompression error!")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + "/v.com infected with EICAR-Test-File")) << AllLines();
    EXPECT_EQ(1u, out.stat.skippedNested);
    EXPECT_EQ(2u, out.stat.decompressionErrors);
    EXPECT_EQ(2u, out.stat.crcErrors);
    EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_PASSWORD_PROTECTED | TARVO_RESULT_CRC_ERROR,
              out.result &
                  (TARVO_RESULT_INFECTED | TARVO_RESULT_PASSWORD_PROTECTED | TARVO_RESULT_CRC_ERROR));
}

// Failures that end the walk: what comes after them is not scanned.
TEST_F(ContainerWalkTest, FatalAnswersEndTheWalk) {
    std::string broken = MakeTar({{"a.txt", "a"}, {"v.com", Eicar()}});
    broken[512 + 512 + 148] ^= 1; // the second header's checksum
    struct Case {
        const char* what;
        std::string archive;
        const char* line;
    };
    const Case cases[] = {
        {"header CRC error", MakeTar({{"h.bin", Signature("MARKER-HEADER-CRC-ERROR")}, {"v.com", Eicar()}}),
         "/h.bin - header CRC error!"},
        {"the engine answers -1", MakeTar({{"r.bin", Signature("MARKER-REFUSE")}, {"v.com", Eicar()}}),
         "/r.bin - header CRC error!"},
        {"a damaged header", broken, "/ - header CRC error!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = Make("f.tar", c.archive);
        CapturedLines().clear();
        ScanOutcome out = Scan(path);
        EXPECT_TRUE(Logged(">" + path + c.line)) << AllLines();
        EXPECT_FALSE(LoggedPart("v.com")) << AllLines();
        EXPECT_EQ(0u, out.result & TARVO_RESULT_INFECTED);
    }
}

// An archive may hold a name again (an appended update): each is scanned.
TEST_F(ContainerWalkTest, RepeatedNamesAreScannedEachTime) {
    std::string path =
        Archive("u.tar", {{"setup.com", std::string(Eicar().size(), 'x')}, {"setup.com", Eicar()}});
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_CONTAINER | TARVO_RESULT_INFECTED, out.result);
    EXPECT_TRUE(Logged(">" + path + "/setup.com - Ok")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + "/setup.com infected with EICAR-Test-File")) << AllLines();
    EXPECT_FALSE(Logged(path + " - Ok")) << AllLines();
    EXPECT_EQ(2u, out.stat.scannedNested);
    EXPECT_EQ(1u, out.stat.infectedNested);
}

// An engine that hands out the same object for ever: the walk ends, and the
// archive whose rest was never seen is not reported clean.
TEST_F(ContainerWalkTest, EngineThatRepeatsItselfCutsTheWalkShort) {
    std::string path = Archive("r.tar", {{"s.bin", Signature("MARKER-REPEAT")}, {"v.com", Eicar()}});
    ScanOutcome out = Scan(path);
    EXPECT_TRUE(Logged(">" + path + "/s.bin - Ok")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + "/s.bin - read error!")) << AllLines();
    EXPECT_FALSE(LoggedPart("v.com")) << AllLines();
    EXPECT_FALSE(Logged(path + " - Ok")) << AllLines();
    EXPECT_EQ(TARVO_RESULT_CONTAINER | TARVO_RESULT_READ_ERROR, out.result);
    EXPECT_EQ(1u, out.stat.readErrors);
    EXPECT_EQ(0u, out.stat.clean - out.stat.cleanNested) << "the archive is not counted clean";
}

// The engine hands out no more members than its limit (400 per unit of the limit word): an archive
// with one member more says so, whatever that member holds, and is never taken for clean.
TEST_F(ContainerWalkTest, MembersPastTheEnginesLimitAreNeverAnsweredClean) {
    struct Case {
        const char* what;
        int members;
        std::string last;
        bool cut;
    };
    const Case cases[] = {
        {"at the limit", 400, "clean", false},
        {"one clean member past it", 401, "clean", true},
        {"one infected member past it", 401, Eicar(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Members members;
        for (int i = 0; i < c.members; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "m%03d", i);
            members.emplace_back(name, i + 1 == c.members ? c.last : "clean");
        }
        std::string path = Archive("l.tar", members);
        Word(kLimitWord) = 1;
        CapturedLines().clear();
        ScanOutcome out = Scan(path);
        char last[16];
        std::snprintf(last, sizeof last, "/m%03d", c.members - 1);
        if (c.cut) {
            EXPECT_EQ(TARVO_RESULT_CONTAINER | TARVO_RESULT_READ_ERROR, out.result);
            EXPECT_TRUE(Logged(">" + path + last + " - read error!")) << AllLines();
            EXPECT_EQ(1u, out.stat.readErrors);
            EXPECT_FALSE(Logged(path + " - Ok")) << AllLines();
            EXPECT_EQ(0u, out.stat.clean - out.stat.cleanNested) << "the archive is not counted clean";
        } else {
            EXPECT_EQ(TARVO_RESULT_CONTAINER, out.result);
            EXPECT_TRUE(Logged(">" + path + last + " - Ok")) << AllLines();
            EXPECT_EQ(0u, out.stat.readErrors);
        }
        EXPECT_EQ(400u, out.stat.scannedNested);
    }
}

TEST_F(ContainerWalkTest, StopOnFirstInfectedEndsTheWalk) {
    std::string path = Archive("s.tar", {{"one.com", Eicar()}, {"two.com", Signature("DAILY")}});
    StopOnFirstInfected = 1;
    ScanOutcome out = Scan(path);
    EXPECT_TRUE(Logged(">" + path + "/one.com infected with EICAR-Test-File")) << AllLines();
    EXPECT_FALSE(LoggedPart("two.com")) << AllLines();
    EXPECT_EQ(1u, out.stat.scannedNested);

    CapturedLines().clear();
    StopOnFirstInfected = 0;
    out = Scan(path);
    EXPECT_TRUE(Logged(">" + path + "/two.com infected with Tarvo.Test.Daily")) << AllLines();
    EXPECT_EQ(2u, out.stat.scannedNested);
}

// What becomes of an infected archive by its action word.
TEST_F(ContainerWalkTest, ActionsOnTheInfectedArchive) {
    struct Case {
        const char* what;
        uint32_t word;
        int32_t enableDelete;
        uint32_t bit;
        bool stays;
        const char* line;
        uint32_t leftInfected;
    };
    const Case cases[] = {
        {"delete without EnableDeleteArchiveAction", kActionDelete, 0, 0, true, nullptr, 1},
        {"delete with EnableDeleteArchiveAction", kActionDelete, 1, TARVO_RESULT_DELETED, false,
         " - deleted!", 0},
        {"rename or delete", kActionRename | kActionDelete, 0, 0, false, " - renamed!", 1},
        {"move", kActionMove, 0, TARVO_RESULT_MOVED, false, " - moved!", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = Archive("i.tar", {{"v.com", Eicar()}});
        Word(kContainerActionWord) = c.word;
        EnableDeleteArchiveAction = c.enableDelete;
        CapturedLines().clear();
        ScanOutcome out = Scan(path);
        EXPECT_EQ(c.bit, out.result & (TARVO_RESULT_DELETED | TARVO_RESULT_MOVED));
        EXPECT_EQ(c.stays, Exists(path));
        if (c.line) {
            EXPECT_TRUE(Logged(path + c.line)) << AllLines();
        }
        EXPECT_EQ(c.leftInfected, out.stat.leftInfected);
        unlink(path.c_str());
        unlink((dir_ / "i.#ar").c_str());
        unlink((quarantine_ + "/i.tar").c_str());
    }
}

TEST_F(ContainerWalkTest, PackedArchiveIsWalkedInside) {
    std::string path = Make("t.tgz", MakeStoredGzip(MakeTar({{"v.com", Eicar()}})));
    ScanOutcome out = Scan(path);
    EXPECT_TRUE(Logged(path + " packed by GZIP")) << AllLines();
    EXPECT_TRUE(LoggedPart(path + "/v.com infected with EICAR-Test-File")) << AllLines();
    EXPECT_EQ(TARVO_RESULT_INFECTED, out.result & TARVO_RESULT_INFECTED);
}

TEST_F(ContainerWalkTest, ClosedArchivesAndTheStackGuard) {
    std::string path = Archive("c.tar", {{"v.com", Eicar()}});
    Word(kArchivesWord) = 0;
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_CONTAINER, out.result) << "not opened";
    EXPECT_FALSE(LoggedPart("v.com")) << AllLines();

    Word(kArchivesWord) = 1;
    CapturedLines().clear();
    out = Scan(path, 0x20000);
    EXPECT_EQ(TARVO_RESULT_NO_MEMORY_TO_EXTRACT, out.result & ~TARVO_RESULT_CONTAINER);
    EXPECT_TRUE(LoggedPart("Stack overflow!")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + " - not enough memory to extract!")) << AllLines();
    EXPECT_FALSE(LoggedPart("v.com")) << AllLines();
}

TEST_F(ContainerWalkTest, ContentFilterSeesTheMembersFirstBytes) {
    std::string path =
        Archive("m.tar", {{"x.dat", "hello, plain text"}, {"y.dat", "MZ " + Signature("MODIFICATION")}});
    Word(kFilterModeWord) = kFilterByContent;
    ScanOutcome out = Scan(path);
    EXPECT_TRUE(Logged(">" + path + "/x.dat - unknown file type, skipped")) << AllLines();
    EXPECT_TRUE(Logged(">" + path + "/y.dat infected with modification of Tarvo.Test.Modification"))
        << AllLines();
    EXPECT_EQ(kScanFlagFiltered, out.flags);
    EXPECT_EQ(1u, out.stat.skipped);
}

} // namespace
