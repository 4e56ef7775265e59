// The file services of the host table: one file layer over real files
// (system descriptors) and memory files, with the held file and the file
// window. The daemon calls the same functions directly.
//
// Every service takes the calling context first (unused here). Handles below
// kLowestEngineHandle are refused with -1, and no real file the engine gets
// has a descriptor below it.
#pragma once

#include <cstdint>

#include "base/pathutil.h"
#include "engine/tarvo_engine_api.h"
#include "shell/host/memfile.h"
#include "shell/scan/objectentry.h"

constexpr int32_t kLowestEngineHandle = 4;

// The object the scan task is about to hand to the engine. While it is
// active, the engine's open of the same name and mode answers its handle and
// the engine's close of that handle only rewinds it.
struct HeldFileState {
    char name[kPathBufSize];
    size_t nameLength; // of name, without its terminator
    uint32_t mode;
    int32_t handle; // -1 none
    uint32_t active;
    // The real file behind the handle: an open of the name in another mode
    // (the engine about to cure) must reach this file and no other.
    FileIdentity identity;
};
extern HeldFileState HeldFile;

// The memory file that handle is when it is the held object's and that object a memory file, else
// null. Inline: the engine's every call on the held object asks.
inline MemoryFile* HeldMemoryFileOf(int32_t handle) {
    MemoryFile* file = HeldMemoryFile;
    return file && HeldFile.active && file->open && file->handle == handle ? file : nullptr;
}

// Opens name through the open service and holds it: the handle, or -1.
int32_t OpenHeldFile(const char* name, uint32_t mode);
// The same for a name of length characters (strlen) that the caller measured already.
int32_t OpenHeldFile(const char* name, size_t length, uint32_t mode);
// ReleaseHeldFile of a held file.
void LetGoOfHeldFile();
// Closes the held file for good and clears it. Inline: every object lets go more than once, and
// nothing held is already the state it leaves.
inline void ReleaseHeldFile() {
    if (HeldFile.active) LetGoOfHeldFile();
}
// The held file lets go of name: its handle is closed, so that the create,
// rename or unlink that follows leaks no descriptor.
void ForgetHeldName(const char* name);

// The part of a server file that a request scans. Set by the request road
// (offset and length); the first real file opened while a length is set and
// no descriptor is held becomes the window's descriptor.
struct FileWindowState {
    int64_t base;
    int64_t length; // 0: no window
    int64_t position;
    int64_t end; // the file's size, measured when the descriptor is taken
    int32_t fd;  // -1 none
    // Set by the envelope skip: the window is a whole mail message after
    // its envelope. Otherwise it is a part of a bigger file (a mailbox, a
    // disk image), whose bytes outside it belong to others.
    uint32_t envelope;
};
extern FileWindowState FileWindow;

// No window: length 0, no descriptor (an open one is not closed).
void ResetFileWindow();
// Whether the window marks a part of a bigger file that does not reach from
// its start to its end: removing the object would remove more than it.
bool WindowIsPartOfFile();

// Counts changes that the file services refused because they would have
// reached beyond the scanned object: a cut past the end of a window that
// stops short of the file's end, an open for writing or an unlink of the
// held object's name that no longer leads to the file that was scanned, an
// unlink of a window's file that holds more than the window. The scan task
// reports them as write errors and clears the count.
extern uint32_t RefusedChanges;

// Opens a real file through the counted file layer with no descriptor below
// kLowestEngineHandle: the descriptor, or -1 with errno set.
int OpenEngineDescriptor(const char* path, int flags);

TARVO_ALIGN_STACK int32_t TARVO_CDECL HostCreateFile(void* context, const char* name);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostOpenFile(void* context, const char* name, uint32_t mode);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostCloseFile(void* context, int32_t handle);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostReadFile(void* context, int32_t handle, void* buffer,
                                                   uint32_t length);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostWriteFile(void* context, int32_t handle, const void* buffer,
                                                    uint32_t length);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostSeekToStart(void* context, int32_t handle);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostSeekToEnd(void* context, int32_t handle);
// Seeks answer the new position. Negative offsets from the start go to the
// end; from the end, the offset counts back towards the start. Every move
// stops at the start and at the end of the file.
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostSeekFromStart(void* context, int32_t handle, int32_t offset);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostSeekFromCurrent(void* context, int32_t handle, int32_t offset);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostSeekFromEnd(void* context, int32_t handle, int32_t offset);
// The length; the file is rewound.
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostFileLength(void* context, int32_t handle);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostRenameFile(void* context, const char* oldName, const char* newName);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostTruncateFile(void* context, int32_t handle, uint32_t length);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostUnlinkFile(void* context, const char* name);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostGetDateAndTime(void* context, int32_t handle, uint16_t* date,
                                                         uint16_t* time);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostSetDateAndTime(void* context, int32_t handle, uint16_t date,
                                                         uint16_t time);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostGetAttributes(void* context, const char* name);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostSetAttributes(void* context, const char* name, uint32_t attributes);
// A new real file "trv%05u.tmp.%d" (counter, process id) in TempPath, made
// with O_EXCL and O_NOFOLLOW and mode 0600; its name goes to name
// (TARVO_PATH_SIZE bytes). The descriptor, or -1 (also with UseDiskForSwap off).
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostCreateTemporaryFile(void* context, char* name);

// The counter of temporary names: the next one to try.
extern uint32_t TemporaryFileCounter;
