// Memory files: named byte buffers that the engine reads and writes through
// the host services like files. Request data arrives in them, and every file
// the engine creates is one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/shortbytes.h"
#include "base/tvptrlist.h"

struct MemoryFile {
    uint32_t mode; // 0 read, 1 write, 2 read-write (as last opened)
    uint32_t open;
    uint32_t attributes;
    uint16_t date;
    uint16_t time;
    int32_t handle; // valid while open
    uint32_t position;
    uint32_t capacity; // bytes of data
    uint32_t size;     // bytes in use; the rest of data is zero
    uint8_t* data;
    char* name;
};

namespace memfile {
// A file's own block after its list element's header: the record first (the list holds its
// address), what the block keeps of it, then its name and a small file's data.
struct FileBlock {
    MemoryFile file;
    size_t nameLength; // of file.name, without its terminator
    // Where a small file's data lies in the block (null for a larger file): data leaves it when the
    // file grows. The name lies there until a rename.
    uint8_t* blockData;
    // The data is its maker's (AddBorrowedMemoryFile): read where it lies, never written through and
    // never freed here. Cleared when GrowMemoryFile gives the file data of its own.
    bool borrowed;
    // The order of making: above the mark of MemoryFileMark for a file made since.
    uint64_t serial;
};

inline FileBlock* BlockOf(MemoryFile* file) {
    return reinterpret_cast<FileBlock*>(file);
}
} // namespace memfile

// Capacity of a file the engine creates.
constexpr uint32_t kMemoryFileInitialCapacity = 16384;
// Data up to this size shares the record's block: what a growth leaves of it unused is small.
constexpr uint32_t kMemoryFileBlockData = 4096;
// No memory file grows beyond this (answers and positions are 32-bit words).
constexpr uint32_t kMemoryFileMaxSize = 0x7FFFFFFFu;
// Request data larger than this is not taken into memory: the caller falls
// back to a temporary file.
constexpr uint32_t kMemoryFileMaxReceive = 64u * 1024u * 1024u;
// The first handle given out is one above this.
constexpr uint32_t kMemoryFileHandleBase = 0x10000;

// The memory files; owns them (data, name and record). A file's record and name lie in its element's
// own block, and so does the data of a small file: a file is one block to make and to free, and a
// part's object none (the list keeps a block for it).
class TvFileList : public tvPointerList {
public:
    TvFileList();
    TvFileList(const TvFileList&) = delete;
    TvFileList& operator=(const TvFileList&) = delete;
    ~TvFileList() override;

    // A removal of the element of the kept block (see spareBlock_) keeps the block.
    int RemoveNode(ListNode* node) override;
    void Clear() override;
    // A file lives in its element's block: replacing the element would free the file under its users.
    // Refused (kNoIndex).
    uint32_t ReplaceAt(uint32_t i, const void* data, size_t size) override;
    uint32_t SetAt(uint32_t i, const void* data, size_t size) override;

    // The file of that name (compared exactly), or null.
    MemoryFile* FindName(const char* name);
    // The same for a name of that length (strlen) that the caller measured already. Inline: every
    // object is looked for by name when it is made and when it is opened.
    MemoryFile* FindName(const char* name, size_t length) {
        if (!name) return nullptr;
        // Names of one message's objects share a long start: the lengths tell most apart. Names are
        // unique; the newest files, those being scanned, are looked at first.
        for (ListNode* node = core_->tail; node; node = node->prev) {
            auto* file = static_cast<MemoryFile*>(Stored(node->data));
            if (file && memfile::BlockOf(file)->nameLength == length &&
                SameShortBytes(file->name, name, length))
                return file;
        }
        return nullptr;
    }
    // The open file holding that handle, or null. Inline: the engine's every file call asks.
    MemoryFile* FindHandle(int32_t handle) {
        // Open handles are unique; the newest files are the ones in use.
        for (ListNode* node = core_->tail; node; node = node->prev) {
            auto* file = static_cast<MemoryFile*>(Stored(node->data));
            if (file && file->open && file->handle == handle) return file;
        }
        return nullptr;
    }
    // A new listed file: closed, mode 0, with a copy of name and capacity
    // bytes of zeroed data. Null when memory runs out.
    MemoryFile* NewFile(const char* name, uint32_t capacity);
    // The same for a name of nameLength characters (strlen) measured already.
    MemoryFile* NewFile(const char* name, size_t nameLength, uint32_t capacity);
    // A new listed file like NewFile's whose size bytes of data are borrowed: they must outlive the
    // file and not change while it lives (no bytes: an empty file of its own). Null when memory runs
    // out.
    MemoryFile* NewBorrowingFile(const char* name, size_t nameLength, const void* data, uint32_t size);
    // Frees the file and takes it off the list (a file not listed is left alone).
    void DeleteFile(MemoryFile* file);
    // Frees every file made since the mark of MemoryFileMark.
    void DeleteSince(uint64_t mark);
    // Frees every file; the list is empty afterwards.
    void DeleteAll();

    // The longest name of a file that the kept block holds.
    static constexpr size_t kSpareNameLength = 255;

private:
    // A listed file's block with room for dataRoom bytes of data after its name; the name copied in,
    // the rest zero. mayKeep: the kept block may be it (for no data room), whose record is zero but
    // for what is set and whose bytes past the name are no file's. Null when memory runs out.
    memfile::FileBlock* NewBlock(const char* name, size_t nameLength, uint32_t dataRoom,
                                 bool mayKeep = false);

    // A block taken with the list and freed with it, for the element of one borrowing file at a time
    // whose name is not longer than kSpareNameLength: the object of a scanned part, made and freed
    // for every part, takes no block of its own. Null when it could not be had.
    ListNode* spareBlock_ = nullptr;
    // Whether the kept block is listed, holding a file.
    bool spareListed_ = false;
};

// The memory file that the held object of the file services is, or null. Freeing that file clears
// it: the holder never reaches a freed file.
extern MemoryFile* HeldMemoryFile;

// The process-wide list, or null before CreateMemoryFileList.
extern std::unique_ptr<TvFileList> MemoryFiles;
// The last handle given out.
extern uint32_t MemoryFileCounter;

// The open memory file holding that handle, or null.
inline MemoryFile* MemoryFileByHandle(int32_t handle) {
    return MemoryFiles ? MemoryFiles->FindHandle(handle) : nullptr;
}
// Makes the list (when missing): 0, or -1 when out of memory.
int MakeMemoryFileList();
// Creates the list unless it exists: 0, or -1 when out of memory. Inline: every added file asks.
inline int CreateMemoryFileList() {
    return MemoryFiles ? 0 : MakeMemoryFileList();
}
// The serial of the last file made.
extern uint64_t MemoryFileSerial;
// A mark of the files made so far, for DeleteMemoryFilesSince. Inline: every scanned part asks.
inline uint64_t MemoryFileMark() {
    return MemoryFileSerial;
}
// Frees every memory file made since mark, renamed ones too; the older ones stay.
inline void DeleteMemoryFilesSince(uint64_t mark) {
    if (MemoryFiles) MemoryFiles->DeleteSince(mark);
}
// Gives the file (a listed one) a copy of name: 0, or -1 (file unchanged) when out of memory.
int RenameMemoryFile(MemoryFile* file, const char* name);
// The highest handle given out: a handle above it is held by no file.
extern uint32_t MemoryFileHighestHandle;
// NextMemoryFileHandle once the counter is not above every handle given out, or is about to wrap.
int32_t NextMemoryFileHandleSearched();
// The next memory-file handle: above kMemoryFileHandleBase, never -1 and
// never one that an open memory file holds. Inline: until the counter wraps, the next one is free.
inline int32_t NextMemoryFileHandle() {
    if (MemoryFileCounter < kMemoryFileHandleBase || MemoryFileCounter < MemoryFileHighestHandle ||
        MemoryFileCounter >= 0x7FFFFFFEu)
        return NextMemoryFileHandleSearched();
    MemoryFileHighestHandle = ++MemoryFileCounter;
    return static_cast<int32_t>(MemoryFileCounter);
}
// Grows the data of the file (a listed one) to hold at least need bytes: (capacity + extra) x 1.5
// bytes, zero-filled. A borrowed file gets data of its own even where need fits: its capacity, or
// grown as above, the borrowed bytes copied in. 0, or -1 (file unchanged) when memory runs out or the
// file would pass kMemoryFileMaxSize.
int GrowMemoryFile(MemoryFile* file, uint32_t need, uint32_t extra);
// Whether the file's data is borrowed (AddBorrowedMemoryFile): not to be written through.
inline bool MemoryFileBorrows(MemoryFile* file) {
    return memfile::BlockOf(file)->borrowed;
}
// Readies the file's data to be changed, up to need bytes: its own, and large enough (GrowMemoryFile).
// The file services change a listed file's data or size only after it. 0, or -1 (file unchanged) as
// GrowMemoryFile.
// Inline: a change that fits a file's own data needs nothing.
inline int MakeMemoryFileWritable(MemoryFile* file, uint32_t need, uint32_t extra) {
    return need <= file->capacity && !MemoryFileBorrows(file) ? 0 : GrowMemoryFile(file, need, extra);
}

// A closed memory file holding a copy of size bytes of data; a null or empty
// name becomes "DATA[pid]". Its name (owned by the file), or null when out of
// memory or when a memory file of that name exists.
const char* AddMemoryFile(const void* data, uint32_t size, const char* name);
// The same without the copy: the file borrows the bytes, for a caller whose data outlives the file and
// does not change while it lives. The file reads as a copy would; the first change gives it data of
// its own, and the borrowed bytes are never written nor freed.
const char* AddBorrowedMemoryFile(const void* data, uint32_t size, const char* name);
// The same for a name of nameLength characters (strlen) that the caller measured already.
const char* AddBorrowedMemoryFile(const void* data, uint32_t size, const char* name, size_t nameLength);
// The same, filled with size bytes read from descriptor fd against budget
// (milliseconds, lowered by the time spent; negative: no limit). Null on
// failure, and at once for more than kMemoryFileMaxReceive bytes.
const char* ReceiveMemoryFile(uint32_t size, const char* name, int fd, int64_t& budget);
// The data of the memory file of that name and its size, or null.
const uint8_t* GetMemoryFileData(uint32_t* size, const char* name);
// Frees every memory file.
void FreeMemoryFiles();
