#include "shell/host/hostfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/filelayer.h"
#include "base/shortbytes.h"
#include "base/strutil.h"
#include "shell/host/memfile.h"
#include "shell/host/nothrowservice.h"
#include "shell/scan/objectnames.h"
#include "shell/settings/shellkeys.h"

HeldFileState HeldFile = {{0}, 0, 0, -1, 0, {}};
FileWindowState FileWindow = {0, 0, 0, 0, -1, 0};
uint32_t RefusedChanges = 0;
uint32_t TemporaryFileCounter = 0;

namespace {

constexpr uint32_t kTemporaryNameTries = 100000;
constexpr uint32_t kTemporaryCounterMax = 99999;

bool Refused(int32_t handle) {
    return handle < kLowestEngineHandle;
}

MemoryFile* MemoryByName(const char* name) {
    return MemoryFiles ? MemoryFiles->FindName(name) : nullptr;
}

[[gnu::always_inline]] inline MemoryFile* MemoryByName(const char* name, size_t length) {
    return MemoryFiles ? MemoryFiles->FindName(name, length) : nullptr;
}

bool IsWindow(int32_t handle) {
    return FileWindow.fd != -1 && handle == FileWindow.fd;
}

// Whether name, of length characters (strlen), is the held object's: the lengths tell most names
// apart, and equal ones are compared without the C library.
bool SameName(const char* name, size_t length) {
    return HeldFile.active && length == HeldFile.nameLength && SameShortBytes(HeldFile.name, name, length);
}

bool SameName(const char* name) {
    return HeldFile.active && name && SameName(name, std::strlen(name));
}

int32_t Answer(int64_t v) {
    return v < 0 || v > INT32_MAX ? -1 : static_cast<int32_t>(v);
}

uint32_t Clamp(int64_t v, uint32_t size) {
    return v < 0 ? 0 : v > size ? size : static_cast<uint32_t>(v);
}

// Positions the window's descriptor at window position p (already clamped).
int32_t WindowSeek(int64_t p) {
    FileWindow.position = p;
    if (FileSeek(FileWindow.fd, static_cast<off_t>(FileWindow.base + p), SEEK_SET) < 0) return -1;
    return Answer(p);
}

int64_t WindowClamp(int64_t p) {
    return p < 0 ? 0 : p > FileWindow.length ? FileWindow.length : p;
}

// The open memory file holding that handle, the held one looked at first: the engine works on it, and
// knowing it takes no walk of the list. Inline: every file service on a handle asks.
[[gnu::always_inline]] inline MemoryFile* MemoryFileOf(int32_t handle) {
    MemoryFile* held = HeldMemoryFileOf(handle);
    return held ? held : MemoryFileByHandle(handle);
}

void CloseMemoryFile(MemoryFile* file) {
    file->open = 0;
    file->handle = -1;
}

// Closes a handle for good, whatever it is.
int32_t CloseForGood(int32_t handle) {
    if (MemoryFile* file = MemoryFileOf(handle)) {
        CloseMemoryFile(file);
        return 0;
    }
    if (IsWindow(handle)) {
        FileWindow.fd = -1;
        FileWindow.position = 0;
    }
    return FileClose(handle) == 0 ? 0 : -1;
}

// Rewinds the held file instead of closing it.
int32_t RewindHeld() {
    int32_t handle = HeldFile.handle;
    if (MemoryFile* file = MemoryFileOf(handle)) {
        file->position = 0;
        return 0;
    }
    if (IsWindow(handle)) return WindowSeek(0) < 0 ? -1 : 0;
    return FileSeek(handle, 0, SEEK_SET) < 0 ? -1 : 0;
}

// The first real file opened under a window length becomes its descriptor.
void TakeWindow(int fd) {
    if (FileWindow.length == 0 || FileWindow.fd != -1) return;
    FileWindow.fd = fd;
    FileWindow.end = FileSize(fd);
    if (FileWindow.end < 0) FileWindow.end = 0;
    if (FileWindow.base < 0 || FileWindow.base > FileWindow.end) FileWindow.base = FileWindow.end;
    if (FileWindow.length < 0 || FileWindow.length > FileWindow.end - FileWindow.base)
        FileWindow.length = FileWindow.end - FileWindow.base;
    WindowSeek(0);
}

int64_t RealSize(int32_t handle) {
    int64_t size = FileSize(handle);
    return size < 0 ? -1 : size;
}

// Opens a memory file for the engine: its new handle, or -1 when it is open already.
int32_t OpenMemoryFile(MemoryFile* file, uint32_t mode, bool noteHeld) {
    if (file->open) return -1;
    file->open = 1;
    file->mode = mode;
    file->position = 0;
    file->handle = NextMemoryFileHandle();
    if (noteHeld) {
        HeldFile.handle = file->handle;
        HeldMemoryFile = file;
    }
    return file->handle;
}

// Opens the real file name for the engine. noteHeld: it is the held object, not open yet; scanned:
// the file the held object was, when it is opened anew in another mode.
int32_t OpenRealFile(const char* name, uint32_t mode, bool noteHeld, const FileIdentity& scanned) {
    int flags = mode == TARVO_OPEN_READ ? O_RDONLY : mode == TARVO_OPEN_WRITE ? O_WRONLY : O_RDWR;
    // A link put in the object's place is not followed unless links are.
    if ((noteHeld || scanned.known) && !FollowLinks) flags |= O_NOFOLLOW;
    int fd = OpenEngineDescriptor(name, flags);
    // Another file, or a link, where the scanned one was.
    bool elsewhere = fd < 0 && errno == ELOOP && (flags & O_NOFOLLOW);
    if (fd >= 0 && scanned.known && !SameFile(IdentityOf(fd), scanned)) {
        FileClose(fd);
        fd = -1;
        elsewhere = true;
    }
    if (fd < 0) {
        if (elsewhere && scanned.known && mode != TARVO_OPEN_READ) ++RefusedChanges;
        return -1;
    }
    if (noteHeld) {
        HeldFile.handle = fd;
        HeldFile.identity = IdentityOf(fd);
    }
    TakeWindow(fd);
    return fd;
}

// Opens name (of that length) for the engine; held: name is the held object's, not open in mode yet.
int32_t OpenFile(const char* name, size_t length, uint32_t mode, bool held) {
    // The held object opened anew in another mode must still be that file.
    FileIdentity scanned;
    if (held) {
        if (HeldFile.mode != mode) {
            scanned = HeldFile.identity;
            ReleaseHeldFile();
            held = false;
        }
    }
    const bool noteHeld = held && HeldFile.handle == -1;
    if (MemoryFile* file = MemoryByName(name, length)) return OpenMemoryFile(file, mode, noteHeld);
    return OpenRealFile(name, mode, noteHeld, scanned);
}

// A read or a write of length bytes of a real file by io (length -> bytes done or -1), kept inside the
// window when the handle is the window's.
template <class Io> int32_t TransferRealFile(int32_t handle, uint32_t length, Io io) {
    if (IsWindow(handle)) {
        const int64_t left = FileWindow.length - FileWindow.position;
        if (left < static_cast<int64_t>(length)) length = static_cast<uint32_t>(left < 0 ? 0 : left);
        const ssize_t done = io(length);
        if (done > 0) FileWindow.position += done;
        return Answer(done);
    }
    return Answer(io(length));
}

// The reads and seeks of real files, kept apart: the engine's calls on a memory file, the usual
// ones, take none of their frame.
__attribute__((noinline)) int32_t ReadRealFile(int32_t handle, void* buffer, uint32_t length) {
    return TransferRealFile(handle, length, [&](uint32_t n) { return FileRead(handle, buffer, n); });
}

__attribute__((noinline)) int32_t SeekRealFile(int32_t handle, int32_t offset) {
    if (IsWindow(handle)) return WindowSeek(offset < 0 ? FileWindow.length : WindowClamp(offset));
    if (offset < 0) return Answer(FileSeek(handle, 0, SEEK_END));
    return Answer(FileSeek(handle, offset, SEEK_SET));
}

} // namespace

int OpenEngineDescriptor(const char* path, int flags) {
    // The lowest free descriptor is what open() hands out: fill the low ones
    // for the span of the open so that the file lands above them.
    int placeholders[kLowestEngineHandle];
    int count = 0;
    while (count < kLowestEngineHandle) {
        int fd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) break;
        if (fd >= kLowestEngineHandle) {
            close(fd);
            break;
        }
        placeholders[count++] = fd;
    }
    int fd = FileOpen(path, flags, 0);
    int saved = errno;
    while (count) close(placeholders[--count]);
    if (fd >= 0 && fd < kLowestEngineHandle) {
        FileClose(fd);
        fd = -1;
        saved = EMFILE;
    }
    errno = saved;
    return fd;
}

int32_t OpenHeldFile(const char* name, uint32_t mode) {
    return OpenHeldFile(name, name ? std::strlen(name) : 0, mode);
}

int32_t OpenHeldFile(const char* name, size_t length, uint32_t mode) {
    ReleaseHeldFile();
    if (!name || length == 0 || length > kPathMax) return -1;
    CopyShortBytes(HeldFile.name, name, length + 1);
    HeldFile.nameLength = length;
    HeldFile.mode = mode;
    HeldFile.handle = -1;
    HeldFile.active = 1;
    MemoryFile* file = MemoryByName(name, length);
    const int32_t handle = file ? OpenMemoryFile(file, mode, true) : OpenRealFile(name, mode, true, {});
    if (handle == -1) ReleaseHeldFile();
    return handle;
}

void LetGoOfHeldFile() {
    const int32_t handle = HeldFile.handle;
    MemoryFile* const memory = HeldMemoryFileOf(handle);
    HeldMemoryFile = nullptr;
    HeldFile.active = 0;
    HeldFile.handle = -1;
    HeldFile.mode = 0;
    HeldFile.name[0] = '\0';
    HeldFile.nameLength = 0;
    HeldFile.identity = FileIdentity{};
    if (memory)
        CloseMemoryFile(memory);
    else if (handle != -1)
        CloseForGood(handle);
}

void ForgetHeldName(const char* name) {
    if (SameName(name)) ReleaseHeldFile();
}

void ResetFileWindow() {
    FileWindow = {0, 0, 0, 0, -1, 0};
}

bool WindowIsPartOfFile() {
    return FileWindow.length != 0 && !FileWindow.envelope &&
           (FileWindow.base > 0 || FileWindow.base + FileWindow.length < FileWindow.end);
}

int32_t HostCreateFile(void*, const char* name) {
    if (!name || !*name) return -1;
    ForgetHeldName(name);
    if (CreateMemoryFileList() != 0 || MemoryByName(name)) return -1;
    // Out of memory the answer is -1: a real file of that name could be the
    // very object being scanned, and creating it would truncate it.
    MemoryFile* file = MemoryFiles->NewFile(name, kMemoryFileInitialCapacity);
    if (!file) return -1;
    file->mode = TARVO_OPEN_WRITE;
    file->open = 1;
    file->handle = NextMemoryFileHandle();
    return file->handle;
}

int32_t HostOpenFile(void*, const char* name, uint32_t mode) {
    if (!name || !*name) return -1;
    const size_t length = std::strlen(name);
    const bool held = SameName(name, length);
    // The held object opened again in its mode is the handle held.
    if (held && HeldFile.mode == mode && HeldFile.handle != -1) return HeldFile.handle;
    return OpenFile(name, length, mode, held);
}

int32_t HostCloseFile(void*, int32_t handle) {
    if (Refused(handle)) return -1;
    if (HeldFile.active && handle == HeldFile.handle) return RewindHeld();
    return CloseForGood(handle);
}

int32_t HostReadFile(void*, int32_t handle, void* buffer, uint32_t length) {
    if (Refused(handle) || (!buffer && length)) return -1;
    if (length > INT32_MAX) length = INT32_MAX;
    if (MemoryFile* file = MemoryFileOf(handle)) {
        uint32_t n = file->size - file->position < length ? file->size - file->position : length;
        CopyShortBytes(buffer, file->data + file->position, n);
        file->position += n;
        return static_cast<int32_t>(n);
    }
    return ReadRealFile(handle, buffer, length);
}

int32_t HostWriteFile(void*, int32_t handle, const void* buffer, uint32_t length) {
    if (Refused(handle) || (!buffer && length)) return -1;
    if (length > INT32_MAX) length = INT32_MAX;
    if (MemoryFile* file = MemoryFileOf(handle)) {
        if (file->mode == TARVO_OPEN_READ) return -1;
        uint64_t end = static_cast<uint64_t>(file->position) + length;
        if (end > kMemoryFileMaxSize) return -1;
        if (MakeMemoryFileWritable(file, static_cast<uint32_t>(end), length) != 0) return -1;
        std::memcpy(file->data + file->position, buffer, length);
        file->position += length;
        if (file->position > file->size) file->size = file->position;
        return static_cast<int32_t>(length);
    }
    return TransferRealFile(handle, length, [&](uint32_t n) { return FileWrite(handle, buffer, n); });
}

int32_t HostSeekFromStart(void*, int32_t handle, int32_t offset) {
    if (Refused(handle)) return -1;
    if (MemoryFile* file = MemoryFileOf(handle)) {
        file->position = offset < 0 || static_cast<uint32_t>(offset) > file->size
                             ? file->size
                             : static_cast<uint32_t>(offset);
        return static_cast<int32_t>(file->position);
    }
    return SeekRealFile(handle, offset);
}

int32_t HostSeekFromCurrent(void*, int32_t handle, int32_t offset) {
    if (Refused(handle)) return -1;
    if (MemoryFile* file = MemoryFileOf(handle)) {
        file->position = Clamp(static_cast<int64_t>(file->position) + offset, file->size);
        return static_cast<int32_t>(file->position);
    }
    if (IsWindow(handle)) return WindowSeek(WindowClamp(FileWindow.position + offset));
    return Answer(FileSeek(handle, offset, SEEK_CUR));
}

int32_t HostSeekFromEnd(void*, int32_t handle, int32_t offset) {
    if (Refused(handle)) return -1;
    int64_t back = offset < 0 ? 0 : offset;
    if (MemoryFile* file = MemoryFileOf(handle)) {
        file->position = file->size - Clamp(back, file->size);
        return static_cast<int32_t>(file->position);
    }
    if (IsWindow(handle)) return WindowSeek(FileWindow.length - WindowClamp(back));
    int64_t size = RealSize(handle);
    if (size < 0) return -1;
    return Answer(FileSeek(handle, static_cast<off_t>(back > size ? 0 : size - back), SEEK_SET));
}

int32_t HostSeekToStart(void* context, int32_t handle) {
    return HostSeekFromStart(context, handle, 0);
}

int32_t HostSeekToEnd(void* context, int32_t handle) {
    return HostSeekFromEnd(context, handle, 0);
}

int32_t HostFileLength(void* context, int32_t handle) {
    int32_t length = HostSeekToEnd(context, handle);
    if (length < 0) return -1;
    return HostSeekToStart(context, handle) < 0 ? -1 : length;
}

namespace {

int32_t RenameFile(const char* oldName, const char* newName) {
    if (!oldName || !*oldName || !newName || !*newName || std::strlen(newName) > kPathMax) return -1;
    // The object being scanned is renamed only where its name still leads to the file the engine read.
    FileIdentity scanned;
    if (SameName(oldName) && HeldFile.handle != -1) scanned = HeldFile.identity;
    ForgetHeldName(oldName);
    if (MemoryFile* file = MemoryByName(oldName)) {
        if (MemoryByName(newName)) return -1;
        return RenameMemoryFile(file, newName);
    }
    // The free name is taken by the rename itself: one that appears in
    // between is passed over, never replaced.
    ObjectEntry entry;
    if (scanned.known) {
        if (entry.Find(oldName, scanned, FollowLinks != 0) != 0) {
            ++RefusedChanges;
            return -1;
        }
        oldName = entry.Path().c_str();
    }
    const auto attempt = [oldName](const char* target) {
        return RenameNoReplace(AT_FDCWD, oldName, AT_FDCWD, target);
    };
    return TryUniqueNames(newName, attempt, nullptr);
}

} // namespace

int32_t HostRenameFile(void*, const char* oldName, const char* newName) {
    return AnswerWithoutThrowing(-1, [&] { return RenameFile(oldName, newName); });
}

int32_t HostTruncateFile(void*, int32_t handle, uint32_t length) {
    if (Refused(handle)) return -1;
    if (MemoryFile* file = MemoryFileOf(handle)) {
        if (file->mode == TARVO_OPEN_READ || length > kMemoryFileMaxSize) return -1;
        if (MakeMemoryFileWritable(file, length, 0) != 0) return -1;
        // What lies past the size stays zero, so a file made longer again
        // shows zeros, as with a real file.
        if (length < file->size) std::memset(file->data + length, 0, file->size - length);
        file->size = length;
        if (file->position > length) file->position = length;
        return 0;
    }
    if (IsWindow(handle)) {
        if (length > FileWindow.length) return -1;
        // Cutting the window would cut off what follows it too.
        if (FileWindow.base + FileWindow.length < FileWindow.end) {
            ++RefusedChanges;
            return -1;
        }
        if (ftruncate(handle, static_cast<off_t>(FileWindow.base + length)) != 0) return -1;
        FileWindow.length = length;
        FileWindow.end = FileWindow.base + length;
        if (FileWindow.position > FileWindow.length) WindowSeek(FileWindow.length);
        return 0;
    }
    return ftruncate(handle, static_cast<off_t>(length)) == 0 ? 0 : -1;
}

namespace {

int32_t UnlinkFile(const char* name) {
    if (!name || !*name) return -1;
    // The object being scanned is removed only where its name still leads to the file the engine
    // read, and never with the rest of a bigger file that its window is a part of.
    FileIdentity scanned;
    bool windowPart = false;
    if (SameName(name) && HeldFile.handle != -1) {
        scanned = HeldFile.identity;
        windowPart = IsWindow(HeldFile.handle) && WindowIsPartOfFile();
    }
    ForgetHeldName(name);
    if (MemoryFile* file = MemoryByName(name)) {
        if (file->open) return -1;
        MemoryFiles->DeleteFile(file);
        return 0;
    }
    if (scanned.known) {
        ObjectEntry entry;
        if (windowPart || entry.Find(name, scanned, FollowLinks != 0) != 0) {
            ++RefusedChanges;
            return -1;
        }
        return entry.Unlink() == 0 ? 0 : -1;
    }
    return unlink(name) == 0 ? 0 : -1;
}

} // namespace

int32_t HostUnlinkFile(void*, const char* name) {
    return AnswerWithoutThrowing(-1, [&] { return UnlinkFile(name); });
}

int32_t HostGetDateAndTime(void*, int32_t handle, uint16_t* date, uint16_t* time) {
    if (Refused(handle)) return -1;
    if (MemoryFile* file = MemoryFileOf(handle)) {
        if (date) *date = file->date;
        if (time) *time = file->time;
    }
    return 0;
}

int32_t HostSetDateAndTime(void*, int32_t handle, uint16_t date, uint16_t time) {
    if (Refused(handle)) return -1;
    if (MemoryFile* file = MemoryFileOf(handle)) {
        file->date = date;
        file->time = time;
    }
    return 0;
}

int32_t HostGetAttributes(void*, const char* name) {
    if (!name || !*name) return -1;
    if (MemoryFile* file = MemoryByName(name)) return static_cast<int32_t>(file->attributes);
    return GetFileMode(name);
}

int32_t HostSetAttributes(void*, const char* name, uint32_t attributes) {
    if (!name || !*name) return -1;
    if (MemoryFile* file = MemoryByName(name)) file->attributes = attributes;
    return 0;
}

int32_t HostCreateTemporaryFile(void*, char* name) {
    if (!name || !UseDiskForSwap) return -1;
    char folder[kPathBufSize];
    if (!ExpandPath(TempPath, folder, 1) || !folder[0]) return -1;
    char path[kPathBufSize + 32];
    for (uint32_t tries = 0; tries < kTemporaryNameTries; tries++) {
        uint32_t n = TemporaryFileCounter++;
        if (TemporaryFileCounter > kTemporaryCounterMax) TemporaryFileCounter = 0;
        int len =
            std::snprintf(path, sizeof path, "%s/trv%05u.tmp.%d", folder, n, static_cast<int>(getpid()));
        if (len < 0) return -1;
        SqueezeChar(path, '/');
        if (std::strlen(path) >= TARVO_PATH_SIZE) return -1;
        // O_EXCL and O_NOFOLLOW: a name that exists, a planted link included,
        // is passed over and never opened.
        int fd = OpenEngineDescriptor(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        ForgetHeldName(path);
        std::memcpy(name, path, std::strlen(path) + 1);
        return fd;
    }
    return -1;
}
