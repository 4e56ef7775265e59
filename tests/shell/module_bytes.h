// A module file's bytes, with the offsets needed to damage it on purpose.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class ModuleBytes {
public:
    explicit ModuleBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    bool Empty() const { return bytes_.size() < 64; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::string Text() const { return std::string(bytes_.begin(), bytes_.end()); }

    uint32_t Get32(size_t at) const {
        uint32_t v = 0;
        if (at + 4 <= bytes_.size()) std::memcpy(&v, &bytes_[at], 4);
        return v;
    }
    uint16_t Get16(size_t at) const {
        uint16_t v = 0;
        if (at + 2 <= bytes_.size()) std::memcpy(&v, &bytes_[at], 2);
        return v;
    }
    void Put32(size_t at, uint32_t v) {
        if (at + 4 <= bytes_.size()) std::memcpy(&bytes_[at], &v, 4);
    }
    void Put16(size_t at, uint16_t v) {
        if (at + 2 <= bytes_.size()) std::memcpy(&bytes_[at], &v, 2);
    }

    // Offsets of the headers.
    size_t Pe() const { return Get32(60); }
    size_t Optional() const { return Pe() + 24; }
    size_t ImageBase() const { return Get32(Optional() + 28); }
    size_t Directory(unsigned i) const { return Optional() + 96 + 8 * i; }
    uint32_t DirectoryRva(unsigned i) const { return Get32(Directory(i)); }
    unsigned SectionCount() const { return Get16(Pe() + 6); }
    size_t Section(unsigned i) const { return Pe() + 248 + 40 * i; }
    std::string SectionName(unsigned i) const {
        const char* p = reinterpret_cast<const char*>(&bytes_[Section(i)]);
        return std::string(p, strnlen(p, 8));
    }
    // The section index with this name, or -1.
    int SectionNamed(const std::string& name) const {
        for (unsigned i = 0; i < SectionCount(); i++)
            if (SectionName(i) == name) return static_cast<int>(i);
        return -1;
    }
    uint32_t SectionRva(unsigned i) const { return Get32(Section(i) + 12); }

    // The file offset of rva, or 0 when no section's file data holds it.
    size_t FileOffset(uint32_t rva) const {
        for (unsigned i = 0; i < SectionCount(); i++) {
            uint32_t va = Get32(Section(i) + 12), raw = Get32(Section(i) + 16), at = Get32(Section(i) + 20);
            if (rva >= va && rva < va + raw) return at + (rva - va);
        }
        return 0;
    }

    // The offset of the first occurrence of needle, or npos.
    size_t Find(const std::string& needle) const { return Text().find(needle); }

private:
    std::vector<uint8_t> bytes_;
};

} // namespace
