#include "shell/host/memfile.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "base/alloc.h"
#include "base/processid.h"

std::unique_ptr<TvFileList> MemoryFiles;
uint32_t MemoryFileCounter = kMemoryFileHandleBase;
uint32_t MemoryFileHighestHandle = 0;
uint64_t MemoryFileSerial = 0;
MemoryFile* HeldMemoryFile = nullptr;

namespace {

using memfile::BlockOf;
using memfile::FileBlock;

char* BlockName(MemoryFile* file) {
    return reinterpret_cast<char*>(BlockOf(file) + 1);
}

// Frees what lies outside the file's own block, which its element frees. Inline: every file made
// goes through it.
inline void FreeOwnBlocks(MemoryFile* file) {
    if (file == HeldMemoryFile) HeldMemoryFile = nullptr;
    const FileBlock* block = BlockOf(file);
    if (!block->borrowed && file->data != block->blockData) MemFree(file->data);
    if (file->name != BlockName(file)) MemFree(file->name);
}

int64_t NowMillis() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Reads exactly size bytes, waiting at most what the budget holds: 0 or -1.
int ReadWithBudget(int fd, uint8_t* buffer, uint32_t size, int64_t& budget) {
    while (size) {
        int64_t start = NowMillis();
        if (budget == 0) return -1;
        pollfd p{fd, POLLIN, 0};
        int wait = budget < 0 ? -1 : budget > 1000000 ? 1000000 : static_cast<int>(budget);
        int ready = poll(&p, 1, wait);
        if (budget > 0) {
            int64_t spent = NowMillis() - start;
            budget = spent >= budget ? 0 : budget - spent;
        }
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            if (ready == 0 && budget != 0) continue;
            return -1;
        }
        ssize_t got = read(fd, buffer, size > 16384 ? 16384 : size);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) return -1;
        buffer += got;
        size -= static_cast<uint32_t>(got);
    }
    return 0;
}

// The name given, or "DATA[pid]" in buf.
const char* NameOrDefault(const char* name, char* buf, size_t size) {
    if (name && *name) return name;
    std::snprintf(buf, size, "DATA[%u]", static_cast<unsigned>(OwnPid()));
    return buf;
}

} // namespace

TvFileList::TvFileList()
    : spareBlock_(ListCore::NewNode(nullptr, sizeof(void*), sizeof(FileBlock) + kSpareNameLength + 1)) {}

TvFileList::~TvFileList() {
    DeleteAll();
    ListCore::FreeNode(spareBlock_);
}

int TvFileList::RemoveNode(ListNode* node) {
    if (!spareListed_ || node != spareBlock_) return tvPointerList::RemoveNode(node);
    if (DetachNode(node) != 0) return -1;
    spareListed_ = false;
    return 0;
}

void TvFileList::Clear() {
    if (spareListed_ && DetachNode(spareBlock_) == 0) spareListed_ = false;
    tvPointerList::Clear();
}

uint32_t TvFileList::ReplaceAt(uint32_t, const void*, size_t) {
    return kNoIndex;
}

uint32_t TvFileList::SetAt(uint32_t, const void*, size_t) {
    return kNoIndex;
}

MemoryFile* TvFileList::FindName(const char* name) {
    return name ? FindName(name, std::strlen(name)) : nullptr;
}

MemoryFile* TvFileList::NewFile(const char* name, uint32_t capacity) {
    return NewFile(name, std::strlen(name), capacity);
}

FileBlock* TvFileList::NewBlock(const char* name, size_t nameLength, uint32_t dataRoom, bool mayKeep) {
    const size_t nameBytes = nameLength + 1;
    FileBlock* block = nullptr;
    if (mayKeep && !spareListed_ && spareBlock_ && dataRoom == 0 && nameLength <= kSpareNameLength) {
        // Nothing a former file left in the block stays: every field of the record is written, one by
        // one (the fields set below are written once), and the name with its terminator.
        block = static_cast<FileBlock*>(AddRoomIn(spareBlock_));
        if (block) {
            spareListed_ = true;
            MemoryFile& file = block->file;
            file.mode = 0;
            file.open = 0;
            file.attributes = 0;
            file.date = 0;
            file.time = 0;
            file.handle = -1;
            file.position = 0;
            file.capacity = 0;
            file.size = 0;
            file.data = nullptr;
            file.name = nullptr;
            block->nameLength = 0;
            block->blockData = nullptr;
            block->borrowed = false;
            block->serial = 0;
        }
    }
    if (!block) block = static_cast<FileBlock*>(AddRoom(sizeof(FileBlock) + nameBytes + dataRoom));
    if (!block) return nullptr;
    MemoryFile* file = &block->file;
    file->name = BlockName(file);
    block->nameLength = nameLength;
    CopyShortBytes(file->name, name, nameBytes);
    file->handle = -1;
    block->serial = ++MemoryFileSerial;
    return block;
}

MemoryFile* TvFileList::NewFile(const char* name, size_t nameLength, uint32_t capacity) {
    const bool dataInBlock = capacity <= kMemoryFileBlockData;
    FileBlock* block = NewBlock(name, nameLength, dataInBlock ? capacity : 0);
    if (!block) return nullptr;
    MemoryFile* file = &block->file;
    if (dataInBlock) {
        block->blockData = reinterpret_cast<uint8_t*>(file->name + nameLength + 1);
        file->data = block->blockData;
    } else {
        file->data = static_cast<uint8_t*>(MemAllocZeroed(capacity));
        if (!file->data) {
            DeleteFile(file);
            return nullptr;
        }
    }
    file->capacity = capacity;
    return file;
}

MemoryFile* TvFileList::NewBorrowingFile(const char* name, size_t nameLength, const void* data,
                                         uint32_t size) {
    // No bytes: nothing to borrow.
    if (size == 0) return NewFile(name, nameLength, 0);
    FileBlock* block = NewBlock(name, nameLength, 0, true);
    if (!block) return nullptr;
    MemoryFile* file = &block->file;
    // Never written through: every change goes through MakeMemoryFileWritable first.
    file->data = const_cast<uint8_t*>(static_cast<const uint8_t*>(data));
    block->borrowed = true;
    file->capacity = size;
    file->size = size;
    return file;
}

void TvFileList::DeleteFile(MemoryFile* file) {
    if (!file) return;
    for (ListNode* node = core_->head; node; node = node->next)
        if (Stored(node->data) == file) {
            FreeOwnBlocks(file);
            RemoveNode(node);
            return;
        }
}

void TvFileList::DeleteSince(uint64_t mark) {
    // Files are listed in the order they were made: those made since are the last ones.
    while (core_->tail) {
        auto* file = static_cast<MemoryFile*>(Stored(core_->tail->data));
        if (BlockOf(file)->serial <= mark) return;
        FreeOwnBlocks(file);
        if (spareListed_ && core_->tail == spareBlock_) {
            DetachTailNode();
            spareListed_ = false;
        } else {
            RemoveTailNode();
        }
    }
}

void TvFileList::DeleteAll() {
    for (ListNode* node = core_->head; node; node = node->next)
        FreeOwnBlocks(static_cast<MemoryFile*>(Stored(node->data)));
    Clear();
}

int MakeMemoryFileList() {
    if (!MemoryFiles) MemoryFiles.reset(new (std::nothrow) TvFileList);
    return MemoryFiles ? 0 : -1;
}

int RenameMemoryFile(MemoryFile* file, const char* name) {
    const size_t n = std::strlen(name);
    char* copy = static_cast<char*>(MemAllocZeroed(n + 1));
    if (!copy) return -1;
    std::memcpy(copy, name, n);
    if (file->name != BlockName(file)) MemFree(file->name);
    file->name = copy;
    BlockOf(file)->nameLength = n;
    return 0;
}

int32_t NextMemoryFileHandleSearched() {
    for (;;) {
        if (++MemoryFileCounter > 0x7FFFFFFEu || MemoryFileCounter <= kMemoryFileHandleBase)
            MemoryFileCounter = kMemoryFileHandleBase + 1;
        auto handle = static_cast<int32_t>(MemoryFileCounter);
        if (MemoryFileCounter > MemoryFileHighestHandle) {
            MemoryFileHighestHandle = MemoryFileCounter;
            return handle;
        }
        if (!MemoryFiles || !MemoryFiles->FindHandle(handle)) return handle;
    }
}

int GrowMemoryFile(MemoryFile* file, uint32_t need, uint32_t extra) {
    FileBlock* block = BlockOf(file);
    if (need <= file->capacity && !block->borrowed) return 0;
    if (need > kMemoryFileMaxSize) return -1;
    // A borrowed file's own data is as large as a copy's would be, until it has to grow.
    uint64_t capacity = file->capacity;
    if (need > capacity) {
        capacity = (capacity + extra) * 3 / 2;
        if (capacity < need) capacity = need;
        if (capacity > kMemoryFileMaxSize) capacity = kMemoryFileMaxSize;
    }
    auto* data = static_cast<uint8_t*>(MemAllocZeroed(static_cast<size_t>(capacity)));
    if (!data) return -1;
    std::memcpy(data, file->data, file->size);
    if (!block->borrowed && file->data != block->blockData) MemFree(file->data);
    block->borrowed = false;
    file->data = data;
    file->capacity = static_cast<uint32_t>(capacity);
    return 0;
}

namespace {

// A closed file of that name (of length characters, strlen) holding size bytes of data, copied or
// borrowed: its name, or null.
[[gnu::always_inline]] inline const char* AddFile(const void* data, uint32_t size, const char* name,
                                                  size_t length, bool borrow) {
    char buf[32];
    if (length == 0) {
        name = NameOrDefault(nullptr, buf, sizeof buf);
        length = std::strlen(name);
    }
    if (size > kMemoryFileMaxSize || (size && !data) || CreateMemoryFileList() != 0 ||
        MemoryFiles->FindName(name, length))
        return nullptr;
    if (borrow) {
        MemoryFile* file = MemoryFiles->NewBorrowingFile(name, length, data, size);
        return file ? file->name : nullptr;
    }
    MemoryFile* file = MemoryFiles->NewFile(name, length, size);
    if (!file) return nullptr;
    if (size) CopyShortBytes(file->data, data, size);
    file->size = size;
    return file->name;
}

} // namespace

const char* AddMemoryFile(const void* data, uint32_t size, const char* name) {
    return AddFile(data, size, name, name ? std::strlen(name) : 0, false);
}

const char* AddBorrowedMemoryFile(const void* data, uint32_t size, const char* name) {
    return AddBorrowedMemoryFile(data, size, name, name ? std::strlen(name) : 0);
}

// Flattened: made for every scanned part, the file takes no call of its own below this one but for
// the list's append and the C library.
[[gnu::flatten]] const char* AddBorrowedMemoryFile(const void* data, uint32_t size, const char* name,
                                                   size_t nameLength) {
    return AddFile(data, size, name, nameLength, true);
}

const char* ReceiveMemoryFile(uint32_t size, const char* name, int fd, int64_t& budget) {
    char buf[32];
    name = NameOrDefault(name, buf, sizeof buf);
    if (size > kMemoryFileMaxReceive || CreateMemoryFileList() != 0 || MemoryFiles->FindName(name))
        return nullptr;
    MemoryFile* file = MemoryFiles->NewFile(name, size);
    if (!file) return nullptr;
    if (ReadWithBudget(fd, file->data, size, budget) != 0) {
        MemoryFiles->DeleteFile(file);
        return nullptr;
    }
    file->size = size;
    return file->name;
}

const uint8_t* GetMemoryFileData(uint32_t* size, const char* name) {
    MemoryFile* file = MemoryFiles ? MemoryFiles->FindName(name) : nullptr;
    if (!file) return nullptr;
    if (size) *size = file->size;
    return file->data;
}

void FreeMemoryFiles() {
    if (MemoryFiles) MemoryFiles->DeleteAll();
}
