#include "shell/host/hostservices.h"

#include <cstddef>
#include <cstdint>

#include "base/alloc.h"
#include "shell/host/hostdisk.h"
#include "shell/host/hostfiles.h"
#include "shell/host/hostreport.h"

namespace {

// No block the engine asks for may reach the 32-bit sign: sizes are words.
constexpr uint32_t kLargestBlock = 0x7FFFFFFFu;

template <typename Fn> TarvoHostFunction RowFunction(Fn fn) {
    return reinterpret_cast<TarvoHostFunction>(fn);
}
TarvoHostFunction RowFunction(std::nullptr_t) {
    return nullptr;
}

// Row 28 is reserved: it answers a constant.
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostReserved(void*, uint32_t, uint32_t) {
    return 0;
}

} // namespace

void* HostAllocateBlock(void*, uint32_t size) {
    void* block = size <= kLargestBlock ? MemAllocZeroed(size) : nullptr;
    return block ? block : reinterpret_cast<void*>(UINTPTR_MAX);
}

int32_t HostFreeBlock(void*, void* block) {
    if (block && block != reinterpret_cast<void*>(UINTPTR_MAX)) MemFree(block);
    return 0;
}

int32_t HostStubZero(void*) {
    return 0;
}

int32_t HostStubMinusOne(void*) {
    return -1;
}

// Each row in order: its number (checked below) and its function.
#define HOST_SERVICE_FUNCTIONS(X)                                                                            \
    X(TARVO_HS_STUB_0, HostStubZero)                                                                         \
    X(TARVO_HS_ALLOCATE, HostAllocateBlock)                                                                  \
    X(TARVO_HS_FREE, HostFreeBlock)                                                                          \
    X(TARVO_HS_CREATE_FILE, HostCreateFile)                                                                  \
    X(TARVO_HS_OPEN_FILE, HostOpenFile)                                                                      \
    X(TARVO_HS_CLOSE, HostCloseFile)                                                                         \
    X(TARVO_HS_READ, HostReadFile)                                                                           \
    X(TARVO_HS_WRITE, HostWriteFile)                                                                         \
    X(TARVO_HS_SEEK_TO_START, HostSeekToStart)                                                               \
    X(TARVO_HS_SEEK_TO_END, HostSeekToEnd)                                                                   \
    X(TARVO_HS_SEEK_FROM_START, HostSeekFromStart)                                                           \
    X(TARVO_HS_SEEK_FROM_CURRENT, HostSeekFromCurrent)                                                       \
    X(TARVO_HS_SEEK_FROM_END, HostSeekFromEnd)                                                               \
    X(TARVO_HS_FILE_LENGTH, HostFileLength)                                                                  \
    X(TARVO_HS_RENAME, HostRenameFile)                                                                       \
    X(TARVO_HS_TRUNCATE, HostTruncateFile)                                                                   \
    X(TARVO_HS_UNLINK, HostUnlinkFile)                                                                       \
    X(TARVO_HS_GET_DATE_AND_TIME, HostGetDateAndTime)                                                        \
    X(TARVO_HS_SET_DATE_AND_TIME, HostSetDateAndTime)                                                        \
    X(TARVO_HS_GET_ATTRIBUTES, HostGetAttributes)                                                            \
    X(TARVO_HS_SET_ATTRIBUTES, HostSetAttributes)                                                            \
    X(TARVO_HS_STUB_21, HostStubZero)                                                                        \
    X(TARVO_HS_READ_DISK_SECTORS, HostReadDiskSectors)                                                       \
    X(TARVO_HS_WRITE_DISK_SECTORS, HostWriteDiskSectors)                                                     \
    X(TARVO_HS_DISK_GEOMETRY, HostDiskGeometry)                                                              \
    X(TARVO_HS_DRIVE_COUNT, HostDriveCount)                                                                  \
    X(TARVO_HS_STUB_26, HostStubZero)                                                                        \
    X(TARVO_HS_CREATE_TEMPORARY_FILE, HostCreateTemporaryFile)                                               \
    X(TARVO_HS_RESERVED_28, HostReserved)                                                                    \
    X(TARVO_HS_NONE_29, nullptr)                                                                             \
    X(TARVO_HS_REPORT_PACKER, HostReportPacker)                                                              \
    X(TARVO_HS_VIRUS_FOUND, HostVirusFound)                                                                  \
    X(TARVO_HS_QUERY, HostQuery)                                                                             \
    X(TARVO_HS_STUB_33, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_34, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_35, HostStubZero)                                                                        \
    X(TARVO_HS_STUB_36, HostStubZero)                                                                        \
    X(TARVO_HS_STUB_37, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_38, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_39, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_40, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_41, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_42, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_43, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_44, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_45, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_46, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_47, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_48, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_49, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_50, HostStubMinusOne)                                                                    \
    X(TARVO_HS_ALLOCATE_51, HostAllocateBlock)                                                               \
    X(TARVO_HS_FREE_52, HostFreeBlock)                                                                       \
    X(TARVO_HS_STUB_53, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_54, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_55, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_56, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_57, HostStubMinusOne)                                                                    \
    X(TARVO_HS_STUB_58, HostStubMinusOne)                                                                    \
    X(TARVO_HS_ALLOCATE_59, HostAllocateBlock)                                                               \
    X(TARVO_HS_STUB_60, HostStubMinusOne)                                                                    \
    X(TARVO_HS_NONE_61, nullptr)

#define HOST_SERVICE_ROW(name, fn) {RowFunction(fn), name##_ARGC},
#define HOST_SERVICE_NUMBER(name, fn) name,

const HostServiceRow HostServiceTable[TARVO_HOST_SERVICE_COUNT] = {HOST_SERVICE_FUNCTIONS(HOST_SERVICE_ROW)};

namespace {

constexpr int kRowNumbers[] = {HOST_SERVICE_FUNCTIONS(HOST_SERVICE_NUMBER)};

constexpr bool RowsInOrder() {
    for (int i = 0; i < TARVO_HOST_SERVICE_COUNT; i++)
        if (kRowNumbers[i] != i) return false;
    return sizeof kRowNumbers / sizeof kRowNumbers[0] == TARVO_HOST_SERVICE_COUNT;
}
static_assert(RowsInOrder(), "one function per row, in row order");

} // namespace
