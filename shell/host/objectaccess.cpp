#include "shell/host/objectaccess.h"

#include <fcntl.h>
#include <unistd.h>

#include "base/filelayer.h"

namespace {

int OpenFile(const char* name) {
    return name ? FileOpen(name, O_RDONLY, 0) : -1;
}

int32_t ReadFile(int handle, void* buf, uint32_t len) {
    return static_cast<int32_t>(FileRead(handle, buf, len));
}

int64_t FileLength(int handle) {
    return FileSize(handle);
}

void CloseFile(int handle) {
    FileClose(handle);
}

bool NoMemoryObjects(const char*) {
    return false;
}

} // namespace

const ObjectAccess FileLayerAccess = {OpenFile, ReadFile, FileLength, CloseFile, NoMemoryObjects};
ObjectAccess ShellObjectAccess = FileLayerAccess;
