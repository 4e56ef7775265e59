#include <cstring>

#include "shell/loader/peimage.h"

namespace {

constexpr size_t kExportDirectorySize = 40;
constexpr size_t kFunctionCountAt = 20;
constexpr size_t kNameCountAt = 24;
constexpr size_t kFunctionsAt = 28;
constexpr size_t kNamesAt = 32;
constexpr size_t kOrdinalsAt = 36;

template <typename T> T Get(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The i-th element of a table of width-byte words, when it lies in the image.
bool TableWord(const PE_ImageHeader* image, uint32_t table, uint32_t i, unsigned width, uint32_t* value) {
    uint64_t rva = uint64_t{table} + uint64_t{i} * width;
    if (rva > UINT32_MAX) return false;
    const uint8_t* p = PE_TranslateRange(image, static_cast<uint32_t>(rva), width);
    if (!p) return false;
    *value = width == 2 ? Get<uint16_t>(p) : Get<uint32_t>(p);
    return true;
}

// Whether the name at rva is exactly key, terminator included, inside one section.
bool NameIs(const PE_ImageHeader* image, uint32_t rva, const char* key, size_t keyLength) {
    const uint8_t* p = PE_TranslateRange(image, rva, uint64_t{keyLength} + 1);
    return p && std::memcmp(p, key, keyLength + 1) == 0;
}

} // namespace

uintptr_t PE_FindExportByName(const PE_ImageHeader* image, const char* name) {
    if (!image || !name || image->NumberOfRvaAndSizes() == 0) return 0;
    const uint8_t* dir =
        PE_TranslateRange(image, image->DirectoryRva(PE_DIRECTORY_EXPORT), kExportDirectorySize);
    if (!dir) return 0;
    uint32_t functionCount = Get<uint32_t>(dir + kFunctionCountAt);
    uint32_t nameCount = Get<uint32_t>(dir + kNameCountAt);
    uint32_t functions = Get<uint32_t>(dir + kFunctionsAt);
    uint32_t names = Get<uint32_t>(dir + kNamesAt);
    uint32_t ordinals = Get<uint32_t>(dir + kOrdinalsAt);
    if (nameCount == 0 || !PE_TranslateRva(image, functions) || !PE_TranslateRva(image, names) ||
        !PE_TranslateRva(image, ordinals))
        return 0;
    size_t keyLength = std::strlen(name);
    for (uint32_t i = 0; i < nameCount; i++) {
        uint32_t nameRva;
        if (!TableWord(image, names, i, 4, &nameRva)) return 0;
        if (!NameIs(image, nameRva, name, keyLength)) continue;
        uint32_t ordinal, function;
        // The ordinal table holds indices into the function table, not
        // ordinals: no base is subtracted.
        if (!TableWord(image, ordinals, i, 2, &ordinal) || ordinal >= functionCount ||
            !TableWord(image, functions, ordinal, 4, &function))
            return 0;
        return reinterpret_cast<uintptr_t>(PE_TranslateRva(image, function));
    }
    return 0;
}
