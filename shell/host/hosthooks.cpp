#include "shell/host/hosthooks.h"

#include "engine/tarvo_engine_api.h"
#include "shell/engine/engines.h"
#include "shell/host/hostfiles.h"
#include "shell/host/memfile.h"

namespace {

int OpenObject(const char* name) {
    return HostOpenFile(nullptr, name, TARVO_OPEN_READ);
}

int32_t ReadObject(int handle, void* buf, uint32_t len) {
    return HostReadFile(nullptr, handle, buf, len);
}

int64_t ObjectLength(int handle) {
    return HostFileLength(nullptr, handle);
}

void CloseObject(int handle) {
    HostCloseFile(nullptr, handle);
}

bool IsMemoryObject(const char* name) {
    return MemoryFiles && MemoryFiles->FindName(name);
}

const char* ShellVersion() {
    if (!ShellVersionText[0]) BuildVersionString();
    return ShellVersionText;
}

const char* EngineVersion() {
    return EngineVersionText;
}

} // namespace

const ObjectAccess HostObjectAccess = {OpenObject, ReadObject, ObjectLength, CloseObject, IsMemoryObject};
const VersionScreenSource EngineVersionSource = {ShellVersion, LoadEngine, EngineVersion};

void ConnectHostServices() {
    ShellObjectAccess = HostObjectAccess;
    VersionSource = EngineVersionSource;
}
