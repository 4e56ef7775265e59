#include "shell/host/memfile.h"

#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "base/alloc.h"
#include "shell/host/hostfiles.h"
#include "tests/shell/shell_fixture.h"

namespace {

class MemoryFileTest : public ShellTest {};

std::string Data(const char* name) {
    uint32_t size = 0;
    const uint8_t* data = GetMemoryFileData(&size, name);
    return data ? std::string(reinterpret_cast<const char*>(data), size) : "<none>";
}

TEST_F(MemoryFileTest, AddedFileHoldsACopyUnderItsNameOrADefaultOne) {
    char source[] = "client data";
    const char* name = AddMemoryFile(source, 11, "object.eml");
    ASSERT_NE(nullptr, name);
    EXPECT_STREQ("object.eml", name);
    source[0] = 'X';
    EXPECT_EQ("client data", Data("object.eml"));
    EXPECT_EQ(nullptr, AddMemoryFile("other", 5, "object.eml")) << "a second file of that name";

    std::string expected = "DATA[" + std::to_string(getpid()) + "]";
    const char* unnamed = AddMemoryFile("x", 1, nullptr);
    ASSERT_NE(nullptr, unnamed);
    EXPECT_EQ(expected, unnamed);
    MemoryFile* file = MemoryFiles->FindName(unnamed);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(0u, file->mode);
    EXPECT_EQ(0u, file->open);
    EXPECT_EQ(1u, file->capacity);

    FreeMemoryFiles();
    EXPECT_EQ("<none>", Data("object.eml"));
    EXPECT_EQ(0u, MemoryFiles->Count());
}

TEST_F(MemoryFileTest, SmallFileIsOneBlockAndEveryBlockIsFreedHoweverItChanged) {
    ASSERT_EQ(0, CreateMemoryFileList());
    const std::string big(kMemoryFileBlockData + 1, 'b');
    struct Case {
        uint32_t size;
        uint32_t blocks;
        bool grow;
        bool rename;
    } cases[] = {
        {0, 1, false, false},
        {200, 1, false, false},
        {kMemoryFileBlockData, 1, false, false},
        {kMemoryFileBlockData + 1, 2, false, false},
        {200, 1, true, false},
        {200, 1, false, true},
        {200, 1, true, true},
        {kMemoryFileBlockData + 1, 2, true, true},
    };
    for (const Case& c : cases) {
        const uint32_t allocs = MemAllocCount(), frees = MemFreeCount();
        const int64_t bytes = MemBytesInUse();
        ASSERT_NE(nullptr, AddMemoryFile(big.data(), c.size, "part"));
        EXPECT_EQ(allocs + c.blocks, MemAllocCount()) << c.size;
        MemoryFile* file = MemoryFiles->FindName("part");
        ASSERT_NE(nullptr, file);
        EXPECT_EQ(0, c.grow ? GrowMemoryFile(file, 2 * kMemoryFileBlockData, 0) : 0);
        EXPECT_EQ(0, c.rename ? RenameMemoryFile(file, "renamed part") : 0);
        const char* name = c.rename ? "renamed part" : "part";
        EXPECT_EQ(big.substr(0, c.size), Data(name)) << c.size << c.grow << c.rename;
        MemoryFiles->DeleteFile(file);
        EXPECT_EQ("<none>", Data(name));
        EXPECT_EQ(MemAllocCount() - allocs, MemFreeCount() - frees) << c.size << c.grow << c.rename;
        EXPECT_EQ(bytes, MemBytesInUse());
    }
}

TEST_F(MemoryFileTest, NamesThatShareAStartAreToldApart) {
    ASSERT_NE(nullptr, AddMemoryFile("m", 1, "mail.eml"));
    ASSERT_NE(nullptr, AddMemoryFile("p", 1, "mail.eml/1"));
    ASSERT_NE(nullptr, AddMemoryFile("q", 1, "mail.eml/2"));
    EXPECT_EQ("m", Data("mail.eml"));
    EXPECT_EQ("q", Data("mail.eml/2"));
    for (const char* none : {"mail.em", "mail.eml/", "mail.eml/10", "mail.eml/3", ""})
        EXPECT_EQ("<none>", Data(none)) << none;
    ASSERT_EQ(0, RenameMemoryFile(MemoryFiles->FindName("mail.eml/1"), "mail.eml/1.Stripped"));
    EXPECT_EQ("<none>", Data("mail.eml/1"));
    EXPECT_EQ("p", Data("mail.eml/1.Stripped"));
}

// A borrowed file answers, reads, changes and goes as a copied one does, and the bytes it borrowed are
// never written through nor freed, whichever way the file is changed or goes.
TEST_F(MemoryFileTest, BorrowedFileActsAsACopyAndLeavesItsSourceAlone) {
    ASSERT_EQ(0, CreateMemoryFileList());
    enum Gone { kDeleteFile, kSinceMark, kAll, kUnlink };
    using Answers = std::vector<int32_t>;
    const std::string many(5000, 'w');
    const auto write = [](int32_t handle, int32_t at, const std::string& bytes) {
        return Answers{HostSeekFromStart(nullptr, handle, at),
                       HostWriteFile(nullptr, handle, bytes.data(), static_cast<uint32_t>(bytes.size()))};
    };
    const auto cut = [](int32_t handle, std::vector<uint32_t> lengths) {
        Answers answers;
        for (uint32_t length : lengths) answers.push_back(HostTruncateFile(nullptr, handle, length));
        return answers;
    };
    struct Case {
        const char* what;
        size_t size;
        uint32_t mode;
        std::function<Answers(int32_t)> change;
        bool ownData; // the borrowed file has data of its own afterwards
        Gone gone;
    } cases[] = {
        {"read", 200, TARVO_OPEN_READ, [](int32_t) { return Answers{}; }, false, kDeleteFile},
        {"changes refused in read mode", 200, TARVO_OPEN_READ,
         [&](int32_t h) {
             return Answers{write(h, 10, "XY")[1], cut(h, {20})[0]};
         },
         false, kSinceMark},
        {"overwritten", 200, TARVO_OPEN_READ_WRITE, [&](int32_t h) { return write(h, 10, "XYZ"); }, true,
         kAll},
        {"written past its end", 200, TARVO_OPEN_READ_WRITE,
         [&](int32_t h) { return write(h, 190, many.substr(0, 50)); }, true, kUnlink},
        {"grown beyond a block", 200, TARVO_OPEN_READ_WRITE, [&](int32_t h) { return write(h, 200, many); },
         true, kDeleteFile},
        {"a large one overwritten", 6000, TARVO_OPEN_READ_WRITE,
         [&](int32_t h) { return write(h, 4000, "XYZ"); }, true, kSinceMark},
        {"truncated shorter", 200, TARVO_OPEN_READ_WRITE, [&](int32_t h) { return cut(h, {20}); }, true,
         kAll},
        {"truncated longer", 200, TARVO_OPEN_READ_WRITE, [&](int32_t h) { return cut(h, {300}); }, true,
         kUnlink},
        {"truncated shorter, then longer", 200, TARVO_OPEN_READ_WRITE,
         [&](int32_t h) {
             return cut(h, {20, 5000});
         },
         true, kDeleteFile},
        {"empty, written", 0, TARVO_OPEN_READ_WRITE, [&](int32_t h) { return write(h, 0, "XYZ"); }, true,
         kSinceMark},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string source;
        for (size_t i = 0; i < c.size; ++i) source += static_cast<char>('a' + i % 26);
        const std::string pristine = source;
        // What the test keeps is taken before the counts.
        Answers answers[2];
        std::string contents[2];
        for (int i = 0; i < 2; ++i) {
            answers[i].reserve(8);
            contents[i].reserve(8000);
        }
        const uint32_t allocs = MemAllocCount(), frees = MemFreeCount();
        const int64_t bytes = MemBytesInUse();
        const uint64_t mark = MemoryFileMark();
        const char* const names[] = {"copied", "borrowed"};
        ASSERT_NE(nullptr, AddMemoryFile(source.data(), static_cast<uint32_t>(c.size), names[0]));
        ASSERT_NE(nullptr, AddBorrowedMemoryFile(source.data(), static_cast<uint32_t>(c.size), names[1]));
        MemoryFile* const files[] = {MemoryFiles->FindName(names[0]), MemoryFiles->FindName(names[1])};
        ASSERT_TRUE(files[0] && files[1]);
        // No bytes: nothing to borrow.
        if (c.size) {
            EXPECT_EQ(reinterpret_cast<uint8_t*>(&source[0]), files[1]->data) << "not copied";
        }
        for (int i = 0; i < 2; ++i) {
            const int32_t handle = HostOpenFile(nullptr, names[i], c.mode);
            ASSERT_GT(handle, 3);
            const Answers changed = c.change(handle);
            answers[i].assign(changed.begin(), changed.end());
            answers[i].push_back(HostFileLength(nullptr, handle));
            contents[i].resize(8000);
            contents[i].resize(static_cast<size_t>(HostReadFile(nullptr, handle, &contents[i][0], 8000)));
            EXPECT_EQ(0, HostCloseFile(nullptr, handle));
        }
        EXPECT_EQ(answers[0], answers[1]);
        EXPECT_EQ(contents[0], contents[1]);
        EXPECT_EQ(files[0]->capacity, files[1]->capacity);
        EXPECT_EQ(c.ownData, !MemoryFileBorrows(files[1]));
        EXPECT_EQ(pristine, source) << "written through";
        switch (c.gone) {
        case kDeleteFile:
            for (MemoryFile* file : files) MemoryFiles->DeleteFile(file);
            break;
        case kSinceMark:
            DeleteMemoryFilesSince(mark);
            break;
        case kAll:
            FreeMemoryFiles();
            break;
        case kUnlink:
            for (const char* name : names) EXPECT_EQ(0, HostUnlinkFile(nullptr, name));
            break;
        }
        EXPECT_EQ(0u, MemoryFiles->Count());
        EXPECT_EQ(pristine, source);
        EXPECT_EQ(MemAllocCount() - allocs, MemFreeCount() - frees)
            << "every block taken given back, no other";
        EXPECT_EQ(bytes, MemBytesInUse());
    }
}

// Without memory for data of its own, a borrowed file refuses the change and stays as it was.
TEST_F(MemoryFileTest, BorrowedFileWithoutMemoryForItsOwnDataRefusesTheChange) {
    std::string source(300, 's');
    ASSERT_NE(nullptr, AddBorrowedMemoryFile(source.data(), 300, "borrowed"));
    MemoryFile* file = MemoryFiles->FindName("borrowed");
    const int32_t handle = HostOpenFile(nullptr, "borrowed", TARVO_OPEN_READ_WRITE);
    ASSERT_GT(handle, 3);
    MemSetFailureBound(1);
    EXPECT_EQ(-1, HostWriteFile(nullptr, handle, "XY", 2));
    EXPECT_EQ(-1, HostTruncateFile(nullptr, handle, 10));
    MemSetFailureBound(0);
    EXPECT_TRUE(MemoryFileBorrows(file));
    EXPECT_EQ(300u, file->size);
    EXPECT_EQ(std::string(300, 's'), source);
    EXPECT_EQ(2, HostWriteFile(nullptr, handle, "XY", 2)) << "with memory again";
    EXPECT_EQ("XY" + std::string(298, 's'), Data("borrowed"));
    EXPECT_EQ(std::string(300, 's'), source);
}

// A part's object, a borrowing file with a short name, is made and freed without a block of its own
// (the list keeps one for it); a second one while it lives, or one with a long name, takes its own.
// Whichever way a file goes, it is never found again and its block serves the next one whole.
TEST_F(MemoryFileTest, ThePartObjectsBlockIsKeptAndEveryFileInItIsFreshAndFoundByItsOwnName) {
    ASSERT_EQ(0, CreateMemoryFileList());
    const std::string source(200, 'p');
    const std::string longName(TvFileList::kSpareNameLength + 1, 'n');
    // The ways a file goes: name is the file's, mark the one taken before it was made.
    using LetGo = std::function<void(const char* name, uint64_t mark)>;
    const LetGo deleteFile = [](const char* name, uint64_t) {
        MemoryFiles->DeleteFile(MemoryFiles->FindName(name));
    };
    const LetGo sinceMark = [](const char*, uint64_t mark) { DeleteMemoryFilesSince(mark); };
    const LetGo all = [](const char*, uint64_t) { FreeMemoryFiles(); };
    const LetGo unlink = [](const char* name, uint64_t) { EXPECT_EQ(0, HostUnlinkFile(nullptr, name)); };
    const LetGo removeLast = [](const char*, uint64_t) { EXPECT_EQ(0u, MemoryFiles->RemoveLast()); };
    struct Case {
        const char* how;
        const char* name;
        uint32_t blocks; // taken for the first file: 0 in the kept block, 1 beside it
        LetGo letGo;
    } cases[] = {
        {"since a mark", "mail.eml/part", 0, sinceMark},  {"deleted", "mail.eml/part", 0, deleteFile},
        {"all freed", "mail.eml/other", 0, all},          {"unlinked", "mail.eml/part", 0, unlink},
        {"list removal", "mail.eml/part", 0, removeLast}, {"long name", longName.c_str(), 1, sinceMark},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const uint32_t allocs = MemAllocCount(), frees = MemFreeCount();
        const int64_t bytes = MemBytesInUse();
        const uint64_t mark = MemoryFileMark();
        ASSERT_NE(nullptr, AddBorrowedMemoryFile(source.data(), 200, c.name));
        EXPECT_EQ(allocs + c.blocks, MemAllocCount());
        MemoryFile* file = MemoryFiles->FindName(c.name);
        ASSERT_NE(nullptr, file);
        EXPECT_EQ(0u, file->open);
        EXPECT_EQ(0u, file->position);
        EXPECT_EQ(0u, file->attributes);
        EXPECT_EQ(200u, file->size);
        EXPECT_TRUE(MemoryFileBorrows(file));
        // Changed the way the engine may change it, so that a file of the block after it is seen fresh.
        const int32_t handle = HostOpenFile(nullptr, c.name, TARVO_OPEN_READ);
        ASSERT_GT(handle, 3);
        EXPECT_EQ(0, HostSetDateAndTime(nullptr, handle, 7, 9));
        EXPECT_EQ(50, HostSeekFromStart(nullptr, handle, 50));
        EXPECT_EQ(0, HostCloseFile(nullptr, handle));
        EXPECT_EQ(0, HostSetAttributes(nullptr, c.name, 0x21));

        const uint32_t between = MemAllocCount();
        ASSERT_NE(nullptr, AddBorrowedMemoryFile(source.data(), 100, "second"));
        // The kept block holds one file at a time.
        EXPECT_EQ(between + 1 - c.blocks, MemAllocCount());
        MemoryFiles->DeleteFile(MemoryFiles->FindName("second"));

        c.letGo(c.name, mark);
        EXPECT_EQ(0u, MemoryFiles->Count());
        EXPECT_EQ("<none>", Data(c.name));
        EXPECT_EQ(MemAllocCount() - allocs, MemFreeCount() - frees);
        EXPECT_EQ(bytes, MemBytesInUse());

        // The next file in the block is a new one: its own name, nothing of the one before.
        ASSERT_NE(nullptr, AddBorrowedMemoryFile(source.data(), 20, "next"));
        EXPECT_EQ("<none>", Data(c.name));
        MemoryFile* next = MemoryFiles->FindName("next");
        ASSERT_NE(nullptr, next);
        EXPECT_EQ(0u, next->position);
        EXPECT_EQ(0u, next->attributes);
        EXPECT_EQ(0u, next->date);
        EXPECT_EQ(0u, next->time);
        EXPECT_EQ(20u, next->size);
        EXPECT_STREQ("next", next->name);
        FreeMemoryFiles();
    }
}

// A file lives in its element's block: the element is not replaced, which would free the file.
TEST_F(MemoryFileTest, AFilesElementIsNeverReplaced) {
    ASSERT_NE(nullptr, AddMemoryFile("c", 1, "copied"));
    ASSERT_NE(nullptr, AddBorrowedMemoryFile("b", 1, "borrowed"));
    const void* other = nullptr;
    for (uint32_t i : {0u, 1u}) {
        EXPECT_EQ(tvList::kNoIndex, MemoryFiles->ReplaceAt(i, &other, sizeof other));
        EXPECT_EQ(tvList::kNoIndex, MemoryFiles->SetAt(i, &other, sizeof other));
    }
    EXPECT_EQ(2u, MemoryFiles->Count());
    EXPECT_EQ("c", Data("copied"));
    EXPECT_EQ("b", Data("borrowed"));
}

TEST_F(MemoryFileTest, FilesMadeSinceAMarkGoAndTheOlderOnesStay) {
    ASSERT_NE(nullptr, AddMemoryFile("r", 1, "request"));
    ASSERT_NE(nullptr, AddMemoryFile("o", 1, "older"));
    const uint64_t mark = MemoryFileMark();
    ASSERT_NE(nullptr, AddMemoryFile("p", 1, "part"));
    ASSERT_NE(nullptr, AddMemoryFile("m", 1, "made"));
    ASSERT_EQ(0, RenameMemoryFile(MemoryFiles->FindName("older"), "older renamed"));
    ASSERT_EQ(0, RenameMemoryFile(MemoryFiles->FindName("made"), "made renamed"));
    // A file taken away in between leaves its place to no other.
    MemoryFiles->DeleteFile(MemoryFiles->FindName("request"));
    ASSERT_NE(nullptr, AddMemoryFile("q", 1, "request"));

    DeleteMemoryFilesSince(mark);
    EXPECT_EQ(1u, MemoryFiles->Count());
    EXPECT_EQ("o", Data("older renamed"));
    for (const char* gone : {"part", "made renamed", "request"}) EXPECT_EQ("<none>", Data(gone)) << gone;
    DeleteMemoryFilesSince(mark);
    EXPECT_EQ(1u, MemoryFiles->Count()) << "nothing more was made";
}

TEST_F(MemoryFileTest, HandlesStartAboveTheBaseAndSkipPastTheSignBit) {
    // Above every handle given out, and below the base: the next one is still above the base.
    MemoryFileHighestHandle = 0;
    MemoryFileCounter = 0;
    EXPECT_EQ(0x10001, NextMemoryFileHandle());
    EXPECT_EQ(0x10002, NextMemoryFileHandle());
    MemoryFileCounter = kMemoryFileHandleBase;
    EXPECT_EQ(0x10001, NextMemoryFileHandle());
    MemoryFileCounter = 0x7FFFFFFD;
    EXPECT_EQ(0x7FFFFFFE, NextMemoryFileHandle());
    EXPECT_EQ(0x10001, NextMemoryFileHandle()) << "never negative, never -1";

    // Once the counter came round, a handle that an open file still holds is passed over.
    ASSERT_NE(nullptr, AddMemoryFile("x", 1, "open"));
    MemoryFile* open = MemoryFiles->FindName("open");
    open->open = 1;
    open->handle = NextMemoryFileHandle();
    EXPECT_EQ(0x10002, open->handle);
    MemoryFileCounter = 0x7FFFFFFE;
    EXPECT_EQ(0x10001, NextMemoryFileHandle());
    EXPECT_EQ(0x10003, NextMemoryFileHandle());
}

class ReceiveTest : public MemoryFileTest {
protected:
    void SetUp() override {
        MemoryFileTest::SetUp();
        ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds_));
    }
    void TearDown() override {
        for (int fd : fds_)
            if (fd >= 0) close(fd);
        MemoryFileTest::TearDown();
    }
    int fds_[2] = {-1, -1};
};

TEST_F(ReceiveTest, ReceivesExactlyTheSizeAnnounced) {
    ASSERT_EQ(12, write(fds_[1], "hello world!trailing", 12));
    int64_t budget = 5000;
    const char* name = ReceiveMemoryFile(12, "sent.bin", fds_[0], budget);
    ASSERT_NE(nullptr, name);
    EXPECT_EQ("hello world!", Data(name));
    EXPECT_GT(budget, 0);
}

TEST_F(ReceiveTest, ShortDataOrASpentBudgetLeavesNoFile) {
    ASSERT_EQ(3, write(fds_[1], "abc", 3));
    int64_t budget = 50;
    EXPECT_EQ(nullptr, ReceiveMemoryFile(10, "short.bin", fds_[0], budget));
    EXPECT_EQ(0, budget);
    EXPECT_EQ("<none>", Data("short.bin"));

    close(fds_[1]);
    fds_[1] = -1;
    budget = -1;
    EXPECT_EQ(nullptr, ReceiveMemoryFile(10, "closed.bin", fds_[0], budget)) << "the peer went away";
    EXPECT_EQ("<none>", Data("closed.bin"));
}

TEST_F(ReceiveTest, SizeBeyondTheLimitIsRefusedBeforeAnythingIsRead) {
    ASSERT_EQ(3, write(fds_[1], "abc", 3));
    int64_t budget = 5000;
    EXPECT_EQ(nullptr, ReceiveMemoryFile(kMemoryFileMaxReceive + 1, "huge", fds_[0], budget));
    char left[4] = {0};
    EXPECT_EQ(3, read(fds_[0], left, 3)) << "the data is there for a temporary file";
}

} // namespace
