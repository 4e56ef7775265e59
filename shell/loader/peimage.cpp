#include "shell/loader/peimage.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/bufstream.h"

uint32_t PE_LastError;

namespace {

constexpr uint64_t kPage = 4096;
constexpr uint16_t kDosMagic = 0x5A4D; // "MZ"
constexpr uint16_t kPeMagic = 0x4550;  // "PE"
constexpr uint32_t kPeSignature = 0x00004550;
constexpr uint16_t kOptionalHeaderSize = 224;
constexpr uint16_t kMachineI386 = 0x014C;
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kLfanewOffset = 60;
constexpr size_t kImportDescriptorSize = 20;
// The memory a module may ask for: the header's sizes are not to be trusted with the heap.
constexpr uint64_t kMaxImageSize = 256u << 20;

// Offsets in the 248 header bytes.
constexpr size_t kMachineAt = 4;
constexpr size_t kSectionCountAt = 6;
constexpr size_t kOptionalSizeAt = 20;
constexpr size_t kOptional = 24;
constexpr size_t kImageBaseAt = kOptional + 28;
constexpr size_t kSectionAlignmentAt = kOptional + 32;
constexpr size_t kSizeOfImageAt = kOptional + 56;
constexpr size_t kRvaCountAt = kOptional + 92;
constexpr size_t kDirectoriesAt = kOptional + 96;
constexpr unsigned kDirectorySlots = 16;

// Relocation entry types.
constexpr unsigned kRelocPadding = 0;
constexpr unsigned kRelocHigh = 1;
constexpr unsigned kRelocHighLow = 3;

template <typename T> T Get(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T> void Put(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

uint64_t RoundUp(uint64_t n, uint64_t to) {
    return (n + to - 1) / to * to;
}

int Fail(PE_ImageHeader* image, uint32_t error) {
    image->Free();
    PE_LastError = error;
    return -1;
}

bool ReadExactly(BufStream* stream, void* buf, size_t n) {
    return StreamRead(stream, buf, n) == n;
}

// The window that a section claims from its VirtualAddress on; 0 when it is
// not mapped at all.
uint64_t WindowOf(const PE_ImageHeader& image, const PE_Section& s) {
    uint32_t alignment = image.SectionAlignment();
    if (alignment == 0) return 0;
    if (s.VirtualSize() != 0) return RoundUp(s.VirtualSize(), alignment);
    return s.SizeOfRawData();
}

// A host address as the module sees it: a 32-bit word.
bool AsWord(const uint8_t* p, uint32_t* word) {
    uintptr_t address = reinterpret_cast<uintptr_t>(p);
    if (!p || address > UINT32_MAX) return false;
    *word = static_cast<uint32_t>(address);
    return true;
}

int MapSections(BufStream* stream, PE_ImageHeader* image) {
    // Every window lies in the image, and together they fill no more than it: sections that
    // overlap cannot multiply the memory taken.
    const uint64_t imageSize = Get<uint32_t>(image->headers + kSizeOfImageAt);
    if (imageSize > kMaxImageSize) return Fail(image, PE_ERROR_BAD_FORMAT);
    uint64_t mapped = 0;
    for (uint32_t i = 0; i < image->sectionCount; i++) {
        PE_Section& s = image->sections[i];
        s.host = nullptr;
        s.windowSize = 0;
        uint64_t window = WindowOf(*image, s);
        if (window == 0) continue;
        mapped += window;
        if (uint64_t{s.VirtualAddress()} + window > imageSize || mapped > imageSize)
            return Fail(image, PE_ERROR_BAD_FORMAT);
        uint8_t* host = image->blocks[i].Map(window);
        if (!host) return Fail(image, PE_ERROR_NO_MEMORY);
        s.host = host;
        s.windowSize = static_cast<uint32_t>(window);
        if (s.Characteristics() & PE_SECTION_UNINITIALIZED) continue;
        size_t want = static_cast<size_t>(window < s.SizeOfRawData() ? window : s.SizeOfRawData());
        if (want == 0) continue;
        if (StreamSeek(stream, s.PointerToRawData()) < 0 || !ReadExactly(stream, host, want))
            return Fail(image, PE_ERROR_BAD_FORMAT);
    }
    return 0;
}

// The module gets nothing from the system: an imported function would be
// called through an unfilled slot. Only the empty descriptor is accepted.
int CheckNoImports(PE_ImageHeader* image) {
    if (image->DirectorySize(PE_DIRECTORY_IMPORT) == 0) return 0;
    const uint8_t* first =
        PE_TranslateRange(image, image->DirectoryRva(PE_DIRECTORY_IMPORT), kImportDescriptorSize);
    if (!first) return Fail(image, PE_ERROR_BAD_FORMAT);
    for (size_t i = 0; i < kImportDescriptorSize; i++)
        if (first[i]) return Fail(image, PE_ERROR_BAD_FORMAT);
    return 0;
}

bool ApplyRelocation(PE_ImageHeader* image, unsigned type, uint32_t rva) {
    uint32_t base = image->ImageBase();
    uint32_t word;
    if (type == kRelocHighLow) {
        uint8_t* target = PE_TranslateRange(image, rva, 4);
        if (!target || !AsWord(PE_TranslateRva(image, Get<uint32_t>(target) - base), &word)) return false;
        Put<uint32_t>(target, word);
        return true;
    }
    if (type == kRelocHigh) {
        uint8_t* target = PE_TranslateRange(image, rva, 2);
        if (!target) return false;
        uint32_t high = static_cast<uint32_t>(Get<uint16_t>(target)) << 16;
        if (!AsWord(PE_TranslateRva(image, high - base), &word)) return false;
        Put<uint16_t>(target, static_cast<uint16_t>(word >> 16));
        return true;
    }
    return false;
}

int Relocate(PE_ImageHeader* image) {
    if (image->NumberOfRvaAndSizes() <= PE_DIRECTORY_RELOCATION) return 0;
    uint32_t size = image->DirectorySize(PE_DIRECTORY_RELOCATION);
    if (size == 0) return 0;
    // A module that asks for relocation and is not relocated would run with
    // addresses of another base: refuse it rather than skip the directory.
    const uint8_t* dir = PE_TranslateRange(image, image->DirectoryRva(PE_DIRECTORY_RELOCATION), size);
    if (!dir) return Fail(image, PE_ERROR_BAD_FORMAT);
    uint32_t at = 0;
    while (at < size) {
        if (size - at < 8) return Fail(image, PE_ERROR_BAD_FORMAT);
        uint32_t page = Get<uint32_t>(dir + at);
        uint32_t blockSize = Get<uint32_t>(dir + at + 4);
        if (blockSize < 8 || blockSize > size - at) return Fail(image, PE_ERROR_BAD_FORMAT);
        uint32_t entries = (blockSize - 8) / 2;
        for (uint32_t e = 0; e < entries; e++) {
            uint16_t entry = Get<uint16_t>(dir + at + 8 + 2 * e);
            unsigned type = entry >> 12;
            uint32_t offset = entry & 0x0FFFu;
            if (type == kRelocPadding) continue;
            if (uint64_t{page} + offset > UINT32_MAX || !ApplyRelocation(image, type, page + offset))
                return Fail(image, PE_ERROR_BAD_FORMAT);
        }
        at += blockSize;
    }
    return 0;
}

} // namespace

PE_SectionBlock::~PE_SectionBlock() {
    // The heap gets its pages back without execute permission.
    if (protected_) mprotect(host_, protected_, PROT_READ | PROT_WRITE);
}

uint8_t* PE_SectionBlock::Map(uint64_t window) {
    uint64_t span = RoundUp(window, kPage);
    uint64_t size = span + kPage; // room to align the window to a page
    if (size > SIZE_MAX) return nullptr;
    block_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size)]());
    if (!block_) return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(block_.get());
    host_ = block_.get() + (RoundUp(start, kPage) - start);
    if (mprotect(host_, static_cast<size_t>(span), PROT_READ | PROT_WRITE | PROT_EXEC) != 0) {
        int error = errno;
        std::printf("mprotect(): %d (%s)\n", error, std::strerror(error));
        std::exit(1);
    }
    protected_ = static_cast<size_t>(span);
    return host_;
}

uint32_t PE_Section::VirtualSize() const {
    return Get<uint32_t>(header + 8);
}
uint32_t PE_Section::VirtualAddress() const {
    return Get<uint32_t>(header + 12);
}
uint32_t PE_Section::SizeOfRawData() const {
    return Get<uint32_t>(header + 16);
}
uint32_t PE_Section::PointerToRawData() const {
    return Get<uint32_t>(header + 20);
}
uint32_t PE_Section::Characteristics() const {
    return Get<uint32_t>(header + 36);
}

uint32_t PE_ImageHeader::Signature() const {
    return Get<uint32_t>(headers);
}
uint16_t PE_ImageHeader::Machine() const {
    return Get<uint16_t>(headers + kMachineAt);
}
uint16_t PE_ImageHeader::NumberOfSections() const {
    return Get<uint16_t>(headers + kSectionCountAt);
}
uint16_t PE_ImageHeader::SizeOfOptionalHeader() const {
    return Get<uint16_t>(headers + kOptionalSizeAt);
}
uint32_t PE_ImageHeader::ImageBase() const {
    return Get<uint32_t>(headers + kImageBaseAt);
}
uint32_t PE_ImageHeader::SectionAlignment() const {
    return Get<uint32_t>(headers + kSectionAlignmentAt);
}
uint32_t PE_ImageHeader::NumberOfRvaAndSizes() const {
    return Get<uint32_t>(headers + kRvaCountAt);
}
uint32_t PE_ImageHeader::DirectoryRva(unsigned i) const {
    if (i >= kDirectorySlots || i >= NumberOfRvaAndSizes()) return 0;
    return Get<uint32_t>(headers + kDirectoriesAt + 8 * i);
}
uint32_t PE_ImageHeader::DirectorySize(unsigned i) const {
    if (i >= kDirectorySlots || i >= NumberOfRvaAndSizes()) return 0;
    return Get<uint32_t>(headers + kDirectoriesAt + 8 * i + 4);
}

void PE_ImageHeader::Free() {
    blocks.reset();
    sections.reset();
    sectionCount = 0;
}

int PE_LoadImage(BufStream* stream, PE_ImageHeader* image) {
    PE_LastError = 0;
    if (!stream || !image) {
        PE_LastError = PE_ERROR_BAD_FORMAT;
        return -1;
    }
    image->Free();

    uint8_t dos[kDosHeaderSize];
    if (!ReadExactly(stream, dos, sizeof dos) || Get<uint16_t>(dos) != kDosMagic)
        return Fail(image, PE_ERROR_BAD_FORMAT);
    uint32_t lfanew = Get<uint32_t>(dos + kLfanewOffset);
    uint8_t magic[2];
    if (StreamSeek(stream, lfanew) < 0 || !ReadExactly(stream, magic, sizeof magic) ||
        Get<uint16_t>(magic) != kPeMagic)
        return Fail(image, PE_ERROR_BAD_FORMAT);
    if (StreamSeek(stream, lfanew) < 0 || !ReadExactly(stream, image->headers, PE_HEADERS_SIZE))
        return Fail(image, PE_ERROR_BAD_FORMAT);
    if (image->Signature() != kPeSignature || image->SizeOfOptionalHeader() != kOptionalHeaderSize ||
        image->Machine() != kMachineI386)
        return Fail(image, PE_ERROR_BAD_FORMAT);

    uint32_t count = image->NumberOfSections();
    image->sections.reset(new (std::nothrow) PE_Section[count]());
    if (!image->sections) return Fail(image, PE_ERROR_BAD_FORMAT);
    for (uint32_t i = 0; i < count; i++)
        if (!ReadExactly(stream, image->sections[i].header, PE_SECTION_HEADER_SIZE))
            return Fail(image, PE_ERROR_BAD_FORMAT);
    image->blocks.reset(new (std::nothrow) PE_SectionBlock[count]);
    if (!image->blocks) return Fail(image, PE_ERROR_BAD_FORMAT);
    image->sectionCount = count;

    if (MapSections(stream, image) != 0 || CheckNoImports(image) != 0 || Relocate(image) != 0) return -1;
    return 0;
}

uint8_t* PE_TranslateRva(const PE_ImageHeader* image, uint32_t rva) {
    return PE_TranslateRange(image, rva, 1);
}

uint8_t* PE_TranslateRange(const PE_ImageHeader* image, uint32_t rva, uint64_t length) {
    if (!image || !image->sections) return nullptr;
    if (length == 0) length = 1;
    for (uint32_t i = 0; i < image->sectionCount; i++) {
        const PE_Section& s = image->sections[i];
        if (!s.host || rva < s.VirtualAddress()) continue;
        uint64_t offset = rva - s.VirtualAddress();
        if (offset >= s.windowSize) continue;
        // The first section that holds rva decides, as for a single address.
        if (length > s.windowSize - offset) return nullptr;
        return s.host + offset;
    }
    return nullptr;
}
