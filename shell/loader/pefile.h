// One engine module as the loader holds it: the mapped image and the exports
// resolved when it was loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/tvlist.h"
#include "shell/loader/peimage.h"

// Longest module path and export name kept, in characters.
constexpr size_t PE_PATH_LENGTH = 4096;
constexpr size_t PE_EXPORT_NAME_SIZE = 4096;

// An export cache record; a name of the full size has no terminator.
struct PE_ExportRecord {
    char name[PE_EXPORT_NAME_SIZE];
    uintptr_t address;
};

// The cache of resolved exports; a record matches a key name that is equal
// (case-sensitive) to its name.
class PE_ExportList : public tvList {
public:
    explicit PE_ExportList(int lockable = 0) : tvList(lockable) {}
    ~PE_ExportList() override = default;

    int Compare(const void* data, const void* key) override;
};

class PE_File {
public:
    explicit PE_File(const char* path);
    PE_File(const PE_File&) = delete;
    PE_File& operator=(const PE_File&) = delete;

    // Frees the image and the exports resolved in it; id 0, path cleared.
    virtual void Unload();
    // Caches address under name (cut at PE_EXPORT_NAME_SIZE); 0, or -1 when
    // out of memory.
    virtual int AddExport(const char* name, uintptr_t address);
    virtual ~PE_File();
    // The cached address of name, or 0.
    virtual uintptr_t FindExport(const char* name);
    virtual int IsLoaded();

    uint32_t id = 0; // module handle, 0 until listed
    std::unique_ptr<PE_ImageHeader> header;
    PE_ExportList exports{1};
    char path[PE_PATH_LENGTH + 1] = {};
    // Loads of this same module not yet matched by an unload.
    uint32_t users = 0;
};
