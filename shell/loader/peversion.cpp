#include <cctype>
#include <cstring>

#include "shell/loader/peimage.h"

namespace {

constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
// The signature's own word, then the structure version and the two version
// words that are read.
constexpr size_t kFixedInfoNeeded = 4 + 16;
constexpr size_t kVersionMsAt = 8;
constexpr size_t kVersionLsAt = 12;

// "VS_VERSION_INFO" in UTF-16LE.
constexpr char kKeyText[] = "VS_VERSION_INFO";
constexpr size_t kKeyUnits = sizeof kKeyText - 1;
constexpr size_t kKeyBytes = 2 * kKeyUnits;

uint32_t Get32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool KeyAt(const uint8_t* p) {
    for (size_t i = 0; i < kKeyUnits; i++)
        if (p[2 * i] != static_cast<uint8_t>(kKeyText[i]) || p[2 * i + 1] != 0) return false;
    return true;
}

// ".rsrc" in any case, the terminator included.
bool IsResourceSection(const PE_Section& s) {
    static const char kName[] = ".rsrc";
    for (size_t i = 0; i < sizeof kName; i++)
        if (std::tolower(static_cast<unsigned char>(s.header[i])) != kName[i]) return false;
    return true;
}

bool ReadFromWindow(const uint8_t* window, size_t size, uint16_t* major, uint16_t* minor, uint16_t* build,
                    uint16_t* revision) {
    size_t at = 0;
    while (at + kKeyBytes <= size && !KeyAt(window + at)) at += 2;
    if (at + kKeyBytes > size) return false;
    for (size_t p = at + kKeyBytes; p + kFixedInfoNeeded <= size; p += 4) {
        if (Get32(window + p) != kFixedFileInfoSignature) continue;
        uint32_t ms = Get32(window + p + kVersionMsAt);
        uint32_t ls = Get32(window + p + kVersionLsAt);
        if (major) *major = static_cast<uint16_t>(ms >> 16);
        if (minor) *minor = static_cast<uint16_t>(ms & 0xFFFF);
        if (build) *build = static_cast<uint16_t>(ls >> 16);
        if (revision) *revision = static_cast<uint16_t>(ls & 0xFFFF);
        return true;
    }
    return false;
}

} // namespace

int PE_ReadVersion(const PE_ImageHeader* image, uint16_t* major, uint16_t* minor, uint16_t* build,
                   uint16_t* revision) {
    if (!image || !image->sections) return 0;
    for (uint32_t i = 0; i < image->sectionCount; i++) {
        const PE_Section& s = image->sections[i];
        if (!s.host || !IsResourceSection(s)) continue;
        if (ReadFromWindow(s.host, s.windowSize, major, minor, build, revision)) return 1;
    }
    return 0;
}
