#include "shell/host/hostfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/alloc.h"
#include "base/filelayer.h"
#include "tests/shell/engine_calls.h"
#include "shell/host/hostservices.h"
#include "tests/shell/shell_fixture.h"

namespace {

class HostFilesTest : public ShellTest {
protected:
    // An engine started on the real table, for calls through its rows.
    EngineDispatcher StartEngine() {
        PrepareEngines(TARVO_ENGINE_DLL);
        int index = LoadEngine();
        EXPECT_GE(index, 0) << AllLines();
        return index >= 0 ? EngineAt(static_cast<uint32_t>(index))->dispatcher : nullptr;
    }

    std::string Read(int32_t handle, uint32_t max = 64) {
        std::string data(max, '\0');
        int32_t got = HostReadFile(nullptr, handle, &data[0], max);
        return got < 0 ? "<error>" : data.substr(0, static_cast<size_t>(got));
    }
};

TEST_F(HostFilesTest, TableRowsCarryTheContractsArgumentCounts) {
    // The counts of the engine's contract, row by row, written out apart from the row list the
    // table is built from.
    const uint32_t counts[] = {
        0, 1, 1, 1, 2, 1, 3, 3, 1, 1, // 0-9
        2, 2, 2, 1, 2, 2, 1, 3, 3, 1, // 10-19
        2, 5, 6, 6, 5, 0, 0, 1, 2, 0, // 20-29
        3, 3, 2, 1, 0, 4, 0, 4, 4, 2, // 30-39
        4, 4, 4, 4, 0, 0, 2, 1, 1, 1, // 40-49
        2, 1, 1, 1, 0, 2, 4, 4, 2, 1, // 50-59
        3, 0,                         // 60-61
    };
    static_assert(sizeof counts / sizeof counts[0] == TARVO_HOST_SERVICE_COUNT, "one count per row");
    for (uint32_t row = 0; row < TARVO_HOST_SERVICE_COUNT; row++)
        EXPECT_EQ(counts[row], HostServiceTable[row].argument_count) << "row " << row;
    EXPECT_EQ(nullptr, HostServiceTable[TARVO_HS_NONE_29].function);
    EXPECT_EQ(nullptr, HostServiceTable[TARVO_HS_NONE_61].function);
    for (uint32_t row = 0; row < TARVO_HOST_SERVICE_COUNT; row++) {
        if (row != TARVO_HS_NONE_29 && row != TARVO_HS_NONE_61) {
            EXPECT_NE(nullptr, HostServiceTable[row].function) << "row " << row;
        }
    }
}

TEST_F(HostFilesTest, ConstantRowsAnswerTheirConstantThroughTheEngine) {
    EngineDispatcher engine = StartEngine();
    ASSERT_NE(nullptr, engine);
    struct Case {
        uint32_t row;
        int32_t answer;
    };
    const Case cases[] = {{TARVO_HS_STUB_0, 0},      {TARVO_HS_STUB_21, 0},  {TARVO_HS_STUB_26, 0},
                          {TARVO_HS_RESERVED_28, 0}, {TARVO_HS_STUB_33, -1}, {TARVO_HS_STUB_35, 0},
                          {TARVO_HS_STUB_36, 0},     {TARVO_HS_STUB_37, -1}, {TARVO_HS_STUB_50, -1},
                          {TARVO_HS_STUB_58, -1},    {TARVO_HS_STUB_60, -1}, {TARVO_HS_DRIVE_COUNT, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(c.answer, CallRow(engine, nullptr, c.row, 1, 2, 3, 4)) << "row " << c.row;
    int32_t answer = 0;
    EXPECT_EQ(-1, engine(nullptr, TARVO_CMD_CALL_HOST_ROW, TARVO_HS_NONE_29, &answer, 0u)) << "an empty row";
    EXPECT_EQ(-1, engine(nullptr, TARVO_CMD_CALL_HOST_ROW, TARVO_HOST_SERVICE_COUNT, &answer, 0u));
}

TEST_F(HostFilesTest, EveryHandleServiceRefusesMinusOneAndTheStandardHandles) {
    EngineDispatcher engine = StartEngine();
    ASSERT_NE(nullptr, engine);
    char buffer[8] = "abcdefg";
    uint16_t date = 7, time = 7;
    for (int32_t handle : {-1, 0, 1, 2, 3}) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_CLOSE, handle));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_READ, handle, buffer, 1));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_WRITE, handle, buffer, 1));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_SEEK_TO_START, handle));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_SEEK_TO_END, handle));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_SEEK_FROM_START, handle, 1));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_SEEK_FROM_CURRENT, handle, 1));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_SEEK_FROM_END, handle, 1));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_FILE_LENGTH, handle));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_TRUNCATE, handle, 0));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_GET_DATE_AND_TIME, handle, &date, &time));
        EXPECT_EQ(-1, CallRow(engine, nullptr, TARVO_HS_SET_DATE_AND_TIME, handle, 1, 1));
    }
    EXPECT_EQ(7, date);
    for (int fd : {0, 1, 2}) EXPECT_NE(-1, fcntl(fd, F_GETFD)) << "descriptor " << fd << " left open";
}

TEST_F(HostFilesTest, EngineMemoryFileGrowsByHalfAgainItsCapacityAndLength) {
    EngineDispatcher engine = StartEngine();
    ASSERT_NE(nullptr, engine);
    int32_t handle = CallRow(engine, nullptr, TARVO_HS_CREATE_FILE, "cured.out");
    ASSERT_GT(handle, static_cast<int32_t>(kMemoryFileHandleBase));
    MemoryFile* file = MemoryFiles->FindName("cured.out");
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(kMemoryFileInitialCapacity, file->capacity);
    std::string filler(16383, 'a');
    EXPECT_EQ(16383, CallRow(engine, nullptr, TARVO_HS_WRITE, handle, filler.data(), filler.size()));
    EXPECT_EQ(16384u, file->capacity);
    EXPECT_EQ(10, CallRow(engine, nullptr, TARVO_HS_WRITE, handle, "0123456789", 10));
    EXPECT_EQ((16384u + 10u) * 3 / 2, file->capacity);
    EXPECT_EQ(24591u, file->capacity);
    EXPECT_EQ(16393u, file->size);
    EXPECT_EQ(16393, CallRow(engine, nullptr, TARVO_HS_FILE_LENGTH, handle));
    EXPECT_EQ(16383, CallRow(engine, nullptr, TARVO_HS_SEEK_FROM_START, handle, 16383));
    char back[11] = {0};
    EXPECT_EQ(10, CallRow(engine, nullptr, TARVO_HS_READ, handle, back, 20));
    EXPECT_STREQ("0123456789", back);
    EXPECT_EQ(0, CallRow(engine, nullptr, TARVO_HS_CLOSE, handle));
    uint32_t size = 0;
    const uint8_t* data = GetMemoryFileData(&size, "cured.out");
    ASSERT_NE(nullptr, data) << "a closed memory file keeps its data";
    EXPECT_EQ(16393u, size);
}

TEST_F(HostFilesTest, MemoryFileSeeksStayBetweenStartAndEnd) {
    ASSERT_NE(nullptr, AddMemoryFile("abcd", 4, "four"));
    int32_t handle = HostOpenFile(nullptr, "four", TARVO_OPEN_READ);
    ASSERT_GT(handle, 3);
    struct Case {
        int32_t (*seek)(void*, int32_t, int32_t);
        int32_t start;
        int32_t offset;
        int32_t position;
    };
    const Case cases[] = {
        {HostSeekFromEnd, 0, 10, 0},       {HostSeekFromEnd, 0, 1, 3},       {HostSeekFromEnd, 0, -3, 4},
        {HostSeekFromCurrent, 2, -100, 0}, {HostSeekFromCurrent, 2, 100, 4}, {HostSeekFromCurrent, 2, 1, 3},
        {HostSeekFromStart, 0, 100, 4},    {HostSeekFromStart, 0, -1, 4},    {HostSeekFromStart, 0, 2, 2},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.start, HostSeekFromStart(nullptr, handle, c.start));
        EXPECT_EQ(c.position, c.seek(nullptr, handle, c.offset)) << c.start << " moved by " << c.offset;
        EXPECT_EQ(std::string("abcd").substr(static_cast<size_t>(c.position)), Read(handle));
    }
}

TEST_F(HostFilesTest, DataFromTheDaemonIsReadOnlyToTheEngineUnlessOpenedForWriting) {
    ASSERT_NE(nullptr, AddMemoryFile("data", 4, "object"));
    int32_t handle = HostOpenFile(nullptr, "object", TARVO_OPEN_READ);
    ASSERT_GT(handle, 3);
    EXPECT_EQ(-1, HostWriteFile(nullptr, handle, "XX", 2));
    EXPECT_EQ(-1, HostTruncateFile(nullptr, handle, 0));
    EXPECT_EQ(-1, HostOpenFile(nullptr, "object", TARVO_OPEN_READ)) << "already open";
    EXPECT_EQ("data", Read(handle));
    EXPECT_EQ(0, HostCloseFile(nullptr, handle));
    handle = HostOpenFile(nullptr, "object", TARVO_OPEN_READ_WRITE);
    ASSERT_GT(handle, 3);
    EXPECT_EQ(2, HostWriteFile(nullptr, handle, "XX", 2));
    EXPECT_EQ(0, HostSeekToStart(nullptr, handle));
    EXPECT_EQ("XXta", Read(handle));
}

TEST_F(HostFilesTest, TruncatedMemoryFileShowsZerosWhenItGrowsAgain) {
    int32_t handle = HostCreateFile(nullptr, "grow");
    ASSERT_GT(handle, 3);
    ASSERT_EQ(6, HostWriteFile(nullptr, handle, "abcdef", 6));
    EXPECT_EQ(0, HostTruncateFile(nullptr, handle, 2));
    EXPECT_EQ(2, HostSeekToEnd(nullptr, handle)) << "the position was cut back";
    EXPECT_EQ(0, HostTruncateFile(nullptr, handle, 20000)) << "longer than the capacity";
    EXPECT_EQ(0, HostSeekToStart(nullptr, handle));
    std::string data = Read(handle, 30000);
    ASSERT_EQ(20000u, data.size());
    EXPECT_EQ(std::string("ab") + std::string(19998, '\0'), data);
}

TEST_F(HostFilesTest, OpenMemoryFileCannotBeUnlinkedButAClosedOneFreesItsName) {
    int32_t handle = HostCreateFile(nullptr, "temp.bin");
    ASSERT_GT(handle, 3);
    EXPECT_EQ(-1, HostCreateFile(nullptr, "temp.bin")) << "the name is taken";
    EXPECT_EQ(-1, HostUnlinkFile(nullptr, "temp.bin"));
    EXPECT_EQ(0, HostCloseFile(nullptr, handle));
    EXPECT_EQ(0, HostUnlinkFile(nullptr, "temp.bin"));
    EXPECT_EQ(nullptr, GetMemoryFileData(nullptr, "temp.bin"));
    int32_t again = HostCreateFile(nullptr, "temp.bin");
    EXPECT_GT(again, 3);
    EXPECT_NE(handle, again);
}

// The engine's unlink or rename of the object it is scanning reaches that file only: a name that
// leads elsewhere by now is refused and counted as a change refused, and so is an unlink of a
// window's file that holds more than the window (a rename moves the whole file, as the task's own
// rename does); any other name is the engine's to handle.
TEST_F(HostFilesTest, UnlinkOrRenameOfTheScannedObjectReachesThatFileOnly) {
    enum Interference { kNone, kOtherFile, kLink, kWindowPart, kNotHeld };
    struct Case {
        const char* what;
        bool rename;
        Interference interference;
        int32_t answer;
        uint32_t refused;
    };
    const Case cases[] = {
        {"unlink: the name still leads to it", false, kNone, 0, 0},
        {"unlink: another file put in its place", false, kOtherFile, -1, 1},
        {"unlink: a link put in its place", false, kLink, -1, 1},
        {"unlink: a window on a part of a bigger file", false, kWindowPart, -1, 1},
        {"unlink: a name that is not the scanned object", false, kNotHeld, 0, 0},
        {"rename: the name still leads to it", true, kNone, 0, 0},
        {"rename: another file put in its place", true, kOtherFile, -1, 1},
        {"rename: a link put in its place", true, kLink, -1, 1},
        {"rename: a window on a part of a bigger file", true, kWindowPart, 0, 0},
        {"rename: a name that is not the scanned object", true, kNotHeld, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(dir_.Write("object", "infected"));
        ASSERT_TRUE(dir_.Write("victim", "not to be touched"));
        const std::string object = dir_ / "object";
        const std::string victim = dir_ / "victim";
        const std::string renamed = dir_ / "object.vir";
        RefusedChanges = 0;
        if (c.interference == kWindowPart) {
            FileWindow.base = 2;
            FileWindow.length = 3;
        }
        if (c.interference != kNotHeld) {
            ASSERT_GE(OpenHeldFile(object.c_str(), TARVO_OPEN_READ), kLowestEngineHandle);
        }
        if (c.interference == kOtherFile) {
            ASSERT_EQ(0, rename(victim.c_str(), object.c_str()));
        } else if (c.interference == kLink) {
            ASSERT_EQ(0, unlink(object.c_str()));
            ASSERT_EQ(0, symlink(victim.c_str(), object.c_str()));
        }
        const int32_t answer = c.rename ? HostRenameFile(nullptr, object.c_str(), renamed.c_str())
                                        : HostUnlinkFile(nullptr, object.c_str());
        EXPECT_EQ(c.answer, answer);
        EXPECT_EQ(c.refused, RefusedChanges);
        EXPECT_EQ(0, HeldFile.active);
        struct stat st;
        EXPECT_EQ(c.answer == 0 ? -1 : 0, lstat(object.c_str(), &st)) << "the object's name";
        EXPECT_EQ(c.rename && c.answer == 0 ? 0 : -1, lstat(renamed.c_str(), &st)) << "the new name";
        const std::string victimPath = c.interference == kOtherFile ? object : victim;
        // Every case runs: a victim gone fails this case, not the rest.
        int fd = open(victimPath.c_str(), O_RDONLY);
        char text[32] = {0};
        EXPECT_GE(fd, 0) << "the victim is still there";
        if (fd >= 0) {
            EXPECT_GT(read(fd, text, sizeof text - 1), 0);
            close(fd);
        }
        EXPECT_STREQ("not to be touched", text);
        ResetFileWindow();
        RefusedChanges = 0;
        for (const std::string& name : {object, victim, renamed}) unlink(name.c_str());
    }
}

TEST_F(HostFilesTest, RenameGivesMemoryFilesTheNewNameAndRealFilesAFreeOne) {
    ASSERT_NE(nullptr, AddMemoryFile("m", 1, "old.mem"));
    EXPECT_EQ(0, HostRenameFile(nullptr, "old.mem", "new.mem"));
    EXPECT_EQ(nullptr, GetMemoryFileData(nullptr, "old.mem"));
    EXPECT_NE(nullptr, GetMemoryFileData(nullptr, "new.mem"));

    ASSERT_TRUE(dir_.Write("a.exe", "infected"));
    ASSERT_TRUE(dir_.Write("a.vir", "already there"));
    EXPECT_EQ(0, HostRenameFile(nullptr, (dir_ / "a.exe").c_str(), (dir_ / "a.vir").c_str()));
    EXPECT_EQ(-1, access((dir_ / "a.exe").c_str(), F_OK));
    int fd = open((dir_ / "a.vir").c_str(), O_RDONLY);
    char text[32] = {0};
    ASSERT_GE(fd, 0);
    EXPECT_GT(read(fd, text, sizeof text - 1), 0);
    close(fd);
    EXPECT_STREQ("already there", text) << "the existing file is kept";
}

// The engine's rename of a real file needs memory for its names; without it the rename fails (no
// exception reaches the engine) and the file stays where it was.
TEST_F(HostFilesTest, RenameWithoutMemoryFailsAndLeavesTheFile) {
    ASSERT_TRUE(dir_.Write("a.exe", "infected"));
    const std::string from = dir_ / "a.exe";
    const std::string to = dir_ / "a.vir";
    MemSetFailureBound(1);
    const int32_t renamed = HostRenameFile(nullptr, from.c_str(), to.c_str());
    MemSetFailureBound(0);
    EXPECT_EQ(-1, renamed);
    EXPECT_EQ(0, access(from.c_str(), F_OK));
    EXPECT_EQ(-1, access(to.c_str(), F_OK));
}

TEST_F(HostFilesTest, RealFileSeekFromEndCountsBackLikeAMemoryFile) {
    ASSERT_TRUE(dir_.Write("ten", "0123456789"));
    int32_t handle = HostOpenFile(nullptr, (dir_ / "ten").c_str(), TARVO_OPEN_READ);
    ASSERT_GE(handle, kLowestEngineHandle);
    EXPECT_EQ(7, HostSeekFromEnd(nullptr, handle, 3));
    EXPECT_EQ("789", Read(handle));
    EXPECT_EQ(0, HostSeekFromEnd(nullptr, handle, 20));
    EXPECT_EQ(10, HostSeekFromStart(nullptr, handle, -1)) << "a negative offset goes to the end";
    EXPECT_EQ(10, HostFileLength(nullptr, handle));
    EXPECT_EQ("0123456789", Read(handle)) << "the length rewinds";
    EXPECT_EQ(0, HostCloseFile(nullptr, handle));
}

TEST_F(HostFilesTest, AttributesAndDatesOfRealAndMemoryFiles) {
    ASSERT_TRUE(dir_.Write("plain", "x"));
    int mode = HostGetAttributes(nullptr, (dir_ / "plain").c_str());
    ASSERT_NE(-1, mode);
    EXPECT_TRUE(S_ISREG(static_cast<mode_t>(mode)));
    EXPECT_EQ(-1, HostGetAttributes(nullptr, (dir_ / "missing").c_str()));
    EXPECT_EQ(0, HostSetAttributes(nullptr, (dir_ / "plain").c_str(), 0));
    EXPECT_EQ(mode, HostGetAttributes(nullptr, (dir_ / "plain").c_str())) << "real files keep their mode";

    ASSERT_NE(nullptr, AddMemoryFile("m", 1, "mem"));
    EXPECT_EQ(0, HostSetAttributes(nullptr, "mem", 0x21));
    EXPECT_EQ(0x21, HostGetAttributes(nullptr, "mem"));
    int32_t handle = HostOpenFile(nullptr, "mem", TARVO_OPEN_READ);
    ASSERT_GT(handle, 3);
    EXPECT_EQ(0, HostSetDateAndTime(nullptr, handle, 0x3A21, 0x6000));
    uint16_t date = 0, time = 0;
    EXPECT_EQ(0, HostGetDateAndTime(nullptr, handle, &date, &time));
    EXPECT_EQ(0x3A21, date);
    EXPECT_EQ(0x6000, time);
}

TEST_F(HostFilesTest, HeldFileAnswersTheEnginesOpenAndSurvivesItsClose) {
    ASSERT_TRUE(dir_.Write("object", "payload"));
    std::string path = dir_ / "object";
    int32_t before = OpenFileCount;
    int32_t held = OpenHeldFile(path.c_str(), TARVO_OPEN_READ);
    ASSERT_GE(held, kLowestEngineHandle);
    EXPECT_EQ(held, HostOpenFile(nullptr, path.c_str(), TARVO_OPEN_READ));
    EXPECT_EQ("payload", Read(held));
    EXPECT_EQ(0, HostCloseFile(nullptr, held));
    EXPECT_EQ("payload", Read(held)) << "the close only rewound it";

    // Forgetting the held file closes it: a create of its name leaks nothing.
    ASSERT_EQ(0, HostCloseFile(nullptr, held));
    int32_t created = HostCreateFile(nullptr, path.c_str());
    EXPECT_GT(created, 3);
    EXPECT_EQ(0, HeldFile.active);
    EXPECT_EQ(before, OpenFileCount);
    EXPECT_EQ(-1, fcntl(held, F_GETFD)) << "the held descriptor was closed";
}

TEST_F(HostFilesTest, HeldFileLetsGoWhenOpenedInAnotherMode) {
    ASSERT_TRUE(dir_.Write("object", "payload"));
    std::string path = dir_ / "object";
    int32_t before = OpenFileCount;
    int32_t held = OpenHeldFile(path.c_str(), TARVO_OPEN_READ);
    ASSERT_GE(held, kLowestEngineHandle);
    int32_t other = HostOpenFile(nullptr, path.c_str(), TARVO_OPEN_READ_WRITE);
    ASSERT_GE(other, kLowestEngineHandle);
    EXPECT_EQ(0, HeldFile.active);
    EXPECT_EQ(0, HostCloseFile(nullptr, other));
    EXPECT_EQ(before, OpenFileCount) << "both descriptors are gone";
}

TEST_F(HostFilesTest, HeldMemoryFileIsTheEnginesToo) {
    const char* name = AddMemoryFile("sent by a client", 16, "client.dat");
    ASSERT_NE(nullptr, name);
    int32_t held = OpenHeldFile(name, TARVO_OPEN_READ);
    ASSERT_GT(held, 3);
    EXPECT_EQ(held, HostOpenFile(nullptr, name, TARVO_OPEN_READ)) << "not refused as already open";
    EXPECT_EQ(0, HostCloseFile(nullptr, held));
    EXPECT_EQ("sent by a client", Read(held));
    ReleaseHeldFile();
    EXPECT_EQ(-1, HostReadFile(nullptr, held, nullptr, 0)) << "closed for good";
}

// Only the held object's own name answers the held handle: not a name that it starts, nor one that
// starts it, nor one of its length that differs in a byte, short or long.
TEST_F(HostFilesTest, HeldHandleAnswersTheHeldNameOnly) {
    const std::string longName = "mail.eml/" + std::string(40, 'x') + "/[text/plain]";
    for (const std::string& heldName :
         {std::string("mail.eml/[text/plain]"), std::string("part"), longName}) {
        SCOPED_TRACE(heldName);
        std::vector<std::string> others = {heldName + "x", heldName.substr(0, heldName.size() - 1)};
        for (size_t at : {size_t{0}, heldName.size() / 2, heldName.size() - 1}) {
            others.push_back(heldName);
            others.back()[at] ^= 0x20;
        }
        for (const std::string& other : others) ASSERT_NE(nullptr, AddMemoryFile("o", 1, other.c_str()));
        ASSERT_NE(nullptr, AddMemoryFile("h", 1, heldName.c_str()));
        const int32_t held = OpenHeldFile(heldName.c_str(), TARVO_OPEN_READ);
        ASSERT_GT(held, 3);
        EXPECT_EQ(held, HostOpenFile(nullptr, heldName.c_str(), TARVO_OPEN_READ));
        for (const std::string& other : others) {
            const int32_t handle = HostOpenFile(nullptr, other.c_str(), TARVO_OPEN_READ);
            EXPECT_GT(handle, 3) << other;
            EXPECT_NE(held, handle) << other;
            EXPECT_EQ("o", Read(handle)) << other;
            EXPECT_EQ(0, HostCloseFile(nullptr, handle));
        }
        ReleaseHeldFile();
        FreeMemoryFiles();
    }
}

// A held memory file freed under the hold (the files of a part freed since a mark, all of a
// request's) is not reached again: the engine's close of its handle and the release find nothing.
TEST_F(HostFilesTest, HeldMemoryFileFreedUnderTheHoldIsNotReachedAgain) {
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all ? "all freed" : "freed since a mark");
        const uint64_t mark = MemoryFileMark();
        const char* name = AddMemoryFile("sent by a client", 16, "client.dat");
        ASSERT_NE(nullptr, name);
        const int32_t held = OpenHeldFile(name, TARVO_OPEN_READ);
        ASSERT_GT(held, 3);
        if (all)
            FreeMemoryFiles();
        else
            DeleteMemoryFilesSince(mark);
        EXPECT_EQ(-1, HostReadFile(nullptr, held, nullptr, 0));
        HostCloseFile(nullptr, held);
        ReleaseHeldFile();
        EXPECT_EQ(0, HeldFile.active);
        // The next file of that name is a fresh one, opened and closed as any other.
        name = AddMemoryFile("the next one", 12, "client.dat");
        ASSERT_NE(nullptr, name);
        const int32_t next = OpenHeldFile(name, TARVO_OPEN_READ);
        ASSERT_GT(next, 3);
        EXPECT_EQ("the next one", Read(next));
        ReleaseHeldFile();
        EXPECT_EQ(-1, HostReadFile(nullptr, next, nullptr, 0)) << "closed for good";
        FreeMemoryFiles();
    }
}

TEST_F(HostFilesTest, WindowLimitsReadsAndSeeksToItsPart) {
    ASSERT_TRUE(dir_.Write("mail", "0123456789"));
    FileWindow.base = 2;
    FileWindow.length = 5;
    int32_t handle = HostOpenFile(nullptr, (dir_ / "mail").c_str(), TARVO_OPEN_READ);
    ASSERT_GE(handle, kLowestEngineHandle);
    EXPECT_EQ(handle, FileWindow.fd);
    EXPECT_EQ("23456", Read(handle));
    EXPECT_EQ(4, HostSeekFromEnd(nullptr, handle, 1));
    EXPECT_EQ("6", Read(handle));
    EXPECT_EQ(5, HostSeekFromStart(nullptr, handle, 100));
    EXPECT_EQ(0, HostSeekFromCurrent(nullptr, handle, -100));
    EXPECT_EQ(5, HostFileLength(nullptr, handle));
    EXPECT_EQ("23456", Read(handle));
    int32_t second = HostOpenFile(nullptr, (dir_ / "mail").c_str(), TARVO_OPEN_READ);
    EXPECT_EQ("0123456789", Read(second)) << "only the first file opened is the window";
    HostCloseFile(nullptr, second);
    EXPECT_EQ(0, HostCloseFile(nullptr, handle));
    EXPECT_EQ(-1, FileWindow.fd);
}

TEST_F(HostFilesTest, WindowPastTheEndOfTheFileShrinksToWhatExists) {
    ASSERT_TRUE(dir_.Write("short", "0123"));
    FileWindow.base = 2;
    FileWindow.length = 100;
    int32_t handle = HostOpenFile(nullptr, (dir_ / "short").c_str(), TARVO_OPEN_READ);
    ASSERT_GE(handle, kLowestEngineHandle);
    EXPECT_EQ(2, HostFileLength(nullptr, handle));
    EXPECT_EQ("23", Read(handle));
    HostCloseFile(nullptr, handle);
}

std::string TemporaryName(const ScratchDir& dir, unsigned counter) {
    char name[64];
    std::snprintf(name, sizeof name, "trv%05u.tmp.%d", counter, static_cast<int>(getpid()));
    return dir / name;
}

TEST_F(HostFilesTest, TemporaryFilesAreNewPrivateFilesNamedByTheCounter) {
    char name[TARVO_PATH_SIZE] = {0};
    int32_t fd = HostCreateTemporaryFile(nullptr, name);
    ASSERT_GE(fd, kLowestEngineHandle);
    EXPECT_EQ(TemporaryName(dir_, 0), name);
    struct stat st {};
    ASSERT_EQ(0, lstat(name, &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(0600u, st.st_mode & 0777u);
    EXPECT_EQ(0, HostCloseFile(nullptr, fd));

    // A link planted under the next name is passed over, its target untouched.
    ASSERT_TRUE(dir_.Write("target", "keep me"));
    ASSERT_EQ(0, symlink((dir_ / "target").c_str(), TemporaryName(dir_, 1).c_str()));
    fd = HostCreateTemporaryFile(nullptr, name);
    ASSERT_GE(fd, kLowestEngineHandle);
    EXPECT_EQ(TemporaryName(dir_, 2), name);
    EXPECT_EQ(4, HostWriteFile(nullptr, fd, "junk", 4));
    EXPECT_EQ(0, HostCloseFile(nullptr, fd));
    int t = open((dir_ / "target").c_str(), O_RDONLY);
    char text[16] = {0};
    ASSERT_GE(t, 0);
    EXPECT_EQ(7, read(t, text, sizeof text));
    close(t);
    EXPECT_STREQ("keep me", text);
}

TEST_F(HostFilesTest, TemporaryCounterRunsBackToZeroAfter99999) {
    TemporaryFileCounter = 99999;
    char name[TARVO_PATH_SIZE] = {0};
    int32_t fd = HostCreateTemporaryFile(nullptr, name);
    ASSERT_GE(fd, kLowestEngineHandle);
    EXPECT_EQ(TemporaryName(dir_, 99999), name);
    HostCloseFile(nullptr, fd);
    EXPECT_EQ(0u, TemporaryFileCounter);
}

TEST_F(HostFilesTest, TemporaryFilesNeedDiskForSwapAndAFolder) {
    char name[TARVO_PATH_SIZE] = {0};
    UseDiskForSwap = 0;
    EXPECT_EQ(-1, HostCreateTemporaryFile(nullptr, name));
    UseDiskForSwap = 1;
    CopyPathBuffer(TempPath, (dir_ / "no/such/folder").c_str());
    EXPECT_EQ(-1, HostCreateTemporaryFile(nullptr, name)) << "gives up at once";
    EXPECT_EQ(1u, TemporaryFileCounter);
}

// In a fresh process the first file opened would get descriptor 3.
TEST_F(HostFilesTest, EngineNeverGetsADescriptorBelowFour) {
    ASSERT_TRUE(dir_.Write("object", "x"));
    std::string path = dir_ / "object";
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        for (int fd = 3; fd < 64; fd++) close(fd);
        int32_t before = OpenFileCount;
        int32_t handle = HostOpenFile(nullptr, path.c_str(), TARVO_OPEN_READ);
        bool high = handle >= kLowestEngineHandle && fcntl(3, F_GETFD) == -1;
        bool closed = HostCloseFile(nullptr, handle) == 0 && OpenFileCount == before;
        _exit(high && closed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
