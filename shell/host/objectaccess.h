// How the file filter and the file-type check reach an object by its name.
// Until the host services take over (they also know the in-memory objects
// of a request), real files are read through the counted file layer.
#pragma once

#include <cstddef>
#include <cstdint>

struct ObjectAccess {
    // A handle for reading, or -1.
    int (*open)(const char* name);
    // Bytes read, or -1.
    int32_t (*read)(int handle, void* buf, uint32_t len);
    // The object's length, or -1 when unknown.
    int64_t (*length)(int handle);
    void (*close)(int handle);
    // Whether name is an in-memory object rather than a file on disk.
    bool (*isMemoryObject)(const char* name);
};

// The file layer's access: real files only.
extern const ObjectAccess FileLayerAccess;
// What the filter uses; FileLayerAccess until something else is set.
extern ObjectAccess ShellObjectAccess;
