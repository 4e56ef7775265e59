#include "shell/loader/pelib.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "base/bufstream.h"

uint32_t PE_HandleCounter;

namespace {

// Maps the module's file into file.header; 0, or -1 with PE_LastError set.
int LoadImageOf(PE_File& file) {
    PE_LastError = 0;
    file.header.reset(new (std::nothrow) PE_ImageHeader());
    if (!file.header) {
        PE_LastError = PE_ERROR_NO_MEMORY;
        return -1;
    }
    BufStreamPtr stream(StreamOpen(file.path, 0, nullptr, 0));
    if (!stream) {
        file.header.reset();
        PE_LastError = PE_ERROR_CANNOT_OPEN;
        return -1;
    }
    if (PE_LoadImage(stream.get(), file.header.get()) != 0) {
        file.header.reset();
        return -1;
    }
    return 0;
}

// The entry under its own name, or with an underscore after or before it,
// cached under its own name; 0, or -1 with PE_LastError set.
int ResolveEntry(PE_File& file, const char* entry) {
    if (file.FindExport(entry)) return 0;
    static const char* const kForms[] = {"%s", "%s_", "_%s"};
    for (const char* form : kForms) {
        char name[PE_EXPORT_NAME_SIZE + 1];
        std::snprintf(name, sizeof name, form, entry);
        uintptr_t address = PE_FindExportByName(file.header.get(), name);
        if (!address) continue;
        if (file.AddExport(entry, address) != 0) {
            PE_LastError = PE_ERROR_NO_MEMORY;
            return -1;
        }
        return 0;
    }
    PE_LastError = PE_ERROR_BAD_FORMAT;
    return -1;
}

} // namespace

PE_Lib::~PE_Lib() {
    for (void* file = FirstPtr(); file; file = NextPtr()) delete static_cast<PE_File*>(file);
    closing_ = 1;
    Clear();
}

int PE_Lib::Compare(const void* a, const void* b) {
    if (closing_) return 0;
    auto* mine = static_cast<PE_File*>(Stored(a));
    auto* theirs = static_cast<PE_File*>(Stored(b));
    return mine && theirs && std::strcmp(mine->path, theirs->path) == 0;
}

uint32_t PE_Lib::Load(const char* path, const char* entry) {
    PE_LastError = 0;
    // A cut path would name another file.
    if (!path || strnlen(path, PE_PATH_LENGTH + 1) > PE_PATH_LENGTH) {
        PE_LastError = PE_ERROR_CANNOT_OPEN;
        return 0;
    }
    std::unique_ptr<PE_File> file(new (std::nothrow) PE_File(path));
    if (!file) {
        PE_LastError = PE_ERROR_NO_MEMORY;
        return 0;
    }
    if (auto* loaded = static_cast<PE_File*>(FindPtr(file.get()))) {
        // One image per module: a second copy would be mapped for nothing.
        if (entry && ResolveEntry(*loaded, entry) != 0) return 0;
        if (loaded->users == UINT32_MAX) {
            PE_LastError = PE_ERROR_NO_MEMORY;
            return 0;
        }
        loaded->users++;
        return loaded->id;
    }
    if (LoadImageOf(*file) != 0) return 0;
    if (entry && ResolveEntry(*file, entry) != 0) {
        file->Unload();
        return 0;
    }
    if (!AddPtrUnique(file.get())) {
        PE_LastError = PE_ERROR_NO_MEMORY;
        return 0;
    }
    if (++PE_HandleCounter == 0) ++PE_HandleCounter; // 0 is no handle
    file->id = PE_HandleCounter;
    file->users = 1;
    return file.release()->id;
}

PE_File* PE_Lib::Find(uint32_t handle, uint32_t* position) {
    if (handle == 0) return nullptr;
    uint32_t i = 0;
    for (void* p = FirstPtr(); p; p = NextPtr(), i++) {
        auto* file = static_cast<PE_File*>(p);
        if (file->id == handle) {
            if (position) *position = i;
            return file;
        }
    }
    return nullptr;
}

int PE_Lib::Unload(uint32_t handle) {
    uint32_t position = 0;
    PE_File* file = Find(handle, &position);
    if (!file) return 0;
    if (--file->users > 0) return 1;
    RemoveAt(position);
    delete file;
    return 1;
}

uintptr_t PE_Lib::GetExport(uint32_t handle, const char* name) {
    PE_File* file = Find(handle, nullptr);
    return file ? file->FindExport(name) : 0;
}

int PE_Lib::GetVersion(uint32_t handle, uint16_t* major, uint16_t* minor, uint16_t* build,
                       uint16_t* revision) {
    PE_File* file = Find(handle, nullptr);
    if (!file || !file->header) return 0;
    return PE_ReadVersion(file->header.get(), major, minor, build, revision);
}
