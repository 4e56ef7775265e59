// shell/loader: the engine module's loader: the PE image, its exports and version resource, the
// module files. Uses base.
//
// The loaded engine modules, owned by the list and known by their handles.
#pragma once

#include <cstdint>

#include "base/tvptrlist.h"
#include "shell/loader/pefile.h"

// The last module handle given out; the first handle is 1.
extern uint32_t PE_HandleCounter;

class PE_Lib : public tvPointerList {
public:
    PE_Lib() = default;
    PE_Lib(const PE_Lib&) = delete;
    PE_Lib& operator=(const PE_Lib&) = delete;
    ~PE_Lib() override;

    // Elements are PE_File pointers; two match when their paths are equal.
    int Compare(const void* a, const void* b) override;

    // Maps the module at path and resolves entry (when given); the module
    // handle, or 0 with PE_LastError telling why. Loading a module that is
    // already loaded gives its handle again and counts one more user.
    virtual uint32_t Load(const char* path, const char* entry);
    // Undoes one load of handle; the last one deletes the module. 1 when the
    // handle was found, else 0.
    virtual int Unload(uint32_t handle);
    // The address that name resolved to at load time, or 0.
    virtual uintptr_t GetExport(uint32_t handle, const char* name);
    // The module's file version; any pointer may be null. 1, or 0 (the
    // values untouched) when there is no such module or version.
    virtual int GetVersion(uint32_t handle, uint16_t* major, uint16_t* minor, uint16_t* build,
                           uint16_t* revision);

private:
    PE_File* Find(uint32_t handle, uint32_t* position);

    int closing_ = 0;
};
