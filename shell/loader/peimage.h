// The engine module's image: a PE32 i386 file mapped section by section into
// executable heap blocks, relocated, and searched by relative virtual address.
// The image is never contiguous: every address goes through its own section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct BufStream;

// Why the last image load failed: 0 while it has not.
extern uint32_t PE_LastError;
constexpr uint32_t PE_ERROR_NO_MEMORY = 1025;
constexpr uint32_t PE_ERROR_BAD_FORMAT = 1026;
constexpr uint32_t PE_ERROR_CANNOT_OPEN = 1027;

// The signature, the file header and the optional header of a PE32 module.
constexpr size_t PE_HEADERS_SIZE = 248;
constexpr size_t PE_SECTION_HEADER_SIZE = 40;

// A section's memory: a zero-filled heap block whose page-aligned part holds
// the section's whole window and is made executable. Given back writable.
class PE_SectionBlock {
public:
    PE_SectionBlock() = default;
    PE_SectionBlock(const PE_SectionBlock&) = delete;
    PE_SectionBlock& operator=(const PE_SectionBlock&) = delete;
    ~PE_SectionBlock();

    // Allocates room for window bytes and makes it executable; the host
    // address, or null when memory runs out. Ends the process when the
    // memory cannot be made executable.
    uint8_t* Map(uint64_t window);

private:
    std::unique_ptr<uint8_t[]> block_;
    uint8_t* host_ = nullptr;
    size_t protected_ = 0;
};

// One section: its header as read from the file and where it lives.
struct PE_Section {
    uint8_t header[PE_SECTION_HEADER_SIZE];
    uint32_t windowSize; // bytes from VirtualAddress on that belong to it
    uint8_t* host;       // the window's first byte; null when not mapped

    const char* Name() const { return reinterpret_cast<const char*>(header); } // 8 bytes, maybe unterminated
    uint32_t VirtualSize() const;
    uint32_t VirtualAddress() const;
    uint32_t SizeOfRawData() const;
    uint32_t PointerToRawData() const;
    uint32_t Characteristics() const;
};

// Section characteristic: the section holds only zero-initialised data.
constexpr uint32_t PE_SECTION_UNINITIALIZED = 0x80;

// Data directories used here.
constexpr unsigned PE_DIRECTORY_EXPORT = 0;
constexpr unsigned PE_DIRECTORY_IMPORT = 1;
constexpr unsigned PE_DIRECTORY_RELOCATION = 5;

struct PE_ImageHeader {
    uint8_t headers[PE_HEADERS_SIZE];
    uint32_t sectionCount = 0;
    std::unique_ptr<PE_Section[]> sections;
    std::unique_ptr<PE_SectionBlock[]> blocks; // one per section

    uint32_t Signature() const;
    uint16_t Machine() const;
    uint16_t NumberOfSections() const;
    uint16_t SizeOfOptionalHeader() const;
    uint32_t ImageBase() const;
    uint32_t SectionAlignment() const;
    uint32_t NumberOfRvaAndSizes() const;
    // Address and size of data directory i; 0 for a directory the module lacks.
    uint32_t DirectoryRva(unsigned i) const;
    uint32_t DirectorySize(unsigned i) const;
    // Gives back the sections' memory and both tables.
    void Free();
};

// Reads and maps the module from an open stream into an empty image; 0, or
// -1 with PE_LastError set and nothing left allocated.
int PE_LoadImage(BufStream* stream, PE_ImageHeader* image);

// The host address of rva, or null when no mapped section holds it.
uint8_t* PE_TranslateRva(const PE_ImageHeader* image, uint32_t rva);
// The same, but only when all length bytes from rva lie in that section.
uint8_t* PE_TranslateRange(const PE_ImageHeader* image, uint32_t rva, uint64_t length);

// The host address of the function exported under exactly this name, or 0.
uintptr_t PE_FindExportByName(const PE_ImageHeader* image, const char* name);

// The file version from the version resource of a ".rsrc" section: 1 with the
// four parts stored through the non-null pointers, or 0 leaving them alone.
int PE_ReadVersion(const PE_ImageHeader* image, uint16_t* major, uint16_t* minor, uint16_t* build,
                   uint16_t* revision);
