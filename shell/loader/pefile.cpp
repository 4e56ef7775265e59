#include "shell/loader/pefile.h"

#include <cstring>

int PE_ExportList::Compare(const void* data, const void* key) {
    if (!data || !key) return 0;
    return std::strncmp(static_cast<const PE_ExportRecord*>(data)->name, static_cast<const char*>(key),
                        PE_EXPORT_NAME_SIZE) == 0;
}

PE_File::PE_File(const char* source) {
    if (source) std::strncpy(path, source, PE_PATH_LENGTH);
}

PE_File::~PE_File() {
    Unload();
}

void PE_File::Unload() {
    // Cached addresses point into the image: they go with it.
    exports.Clear();
    header.reset();
    id = 0;
    path[0] = '\0';
}

int PE_File::AddExport(const char* name, uintptr_t address) {
    if (!name) return -1;
    PE_ExportRecord record{};
    std::memcpy(record.name, name, strnlen(name, sizeof record.name));
    record.address = address;
    return exports.Add(&record, sizeof record) ? 0 : -1;
}

uintptr_t PE_File::FindExport(const char* name) {
    if (!name) return 0;
    auto* record = static_cast<const PE_ExportRecord*>(exports.FindData(name));
    return record ? record->address : 0;
}

int PE_File::IsLoaded() {
    return header && !exports.IsEmpty();
}
