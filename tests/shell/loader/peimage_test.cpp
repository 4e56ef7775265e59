#include "shell/loader/peimage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct FakeSection {
    const char* name;
    uint32_t va;
    size_t size;
};

// An image whose sections are plain buffers of exactly their window size, so
// that a read past a window is a read past a heap block.
struct FakeImage {
    PE_ImageHeader image;
    std::vector<std::vector<uint8_t>> windows;

    explicit FakeImage(const std::vector<FakeSection>& sections) {
        image.sectionCount = static_cast<uint32_t>(sections.size());
        image.sections.reset(new PE_Section[sections.size()]());
        windows.resize(sections.size());
        for (size_t i = 0; i < sections.size(); i++) {
            PE_Section& s = image.sections[i];
            std::strncpy(reinterpret_cast<char*>(s.header), sections[i].name, 8);
            std::memcpy(s.header + 12, &sections[i].va, 4);
            windows[i].assign(sections[i].size, 0);
            s.windowSize = static_cast<uint32_t>(sections[i].size);
            s.host = sections[i].size ? windows[i].data() : nullptr;
        }
    }
    uint8_t* Window(size_t i) { return windows[i].data(); }
};

void PutKey(uint8_t* p, const std::string& text) {
    for (size_t i = 0; i < text.size(); i++) {
        p[2 * i] = static_cast<uint8_t>(text[i]);
        p[2 * i + 1] = 0;
    }
}

void PutFixedInfo(uint8_t* p, uint32_t ms, uint32_t ls) {
    const uint32_t words[] = {0xFEEF04BD, 0x00010000, ms, ls, 0};
    std::memcpy(p, words, sizeof words);
}

TEST(PeTranslate, StaysInsideTheFirstSectionThatHoldsTheAddress) {
    FakeImage fake({{".text", 0x1000, 0x100}, {".none", 0x2000, 0}, {".data", 0x1080, 0x100}});
    const PE_ImageHeader* image = &fake.image;
    EXPECT_EQ(fake.Window(0), PE_TranslateRva(image, 0x1000));
    EXPECT_EQ(fake.Window(0) + 0xFF, PE_TranslateRva(image, 0x10FF));
    // Past .text's window the overlapping .data answers.
    EXPECT_EQ(fake.Window(2) + 0x80, PE_TranslateRva(image, 0x1100));
    EXPECT_EQ(nullptr, PE_TranslateRva(image, 0x0FFF));
    EXPECT_EQ(nullptr, PE_TranslateRva(image, 0x2000)) << "a section without memory holds nothing";
    EXPECT_EQ(nullptr, PE_TranslateRva(image, 0x2080));

    EXPECT_EQ(fake.Window(0) + 0xFC, PE_TranslateRange(image, 0x10FC, 4));
    EXPECT_EQ(nullptr, PE_TranslateRange(image, 0x10FD, 4)) << "a word across the window's end";
    EXPECT_EQ(nullptr, PE_TranslateRange(image, 0x1000, uint64_t{1} << 40));
    EXPECT_EQ(nullptr, PE_TranslateRva(nullptr, 0x1000));
}

TEST(PeVersion, ReadsOnlyWhatLiesInsideTheResourceWindow) {
    const uint32_t ms = (3u << 16) | 4u, ls = (5u << 16) | 6u;
    struct Case {
        const char* what;
        const char* section;
        size_t size;
        size_t keyAt;
        std::string key;
        size_t infoAt; // 0: none
        int found;
    } cases[] = {
        {"plain", ".rsrc", 256, 6, "VS_VERSION_INFO", 40, 1},
        {"name in upper case", ".RSRC", 256, 6, "VS_VERSION_INFO", 40, 1},
        {"other section", ".rsrc2", 256, 6, "VS_VERSION_INFO", 40, 0},
        {"key starting inside a false start", ".rsrc", 256, 6, "VS_VS_VERSION_INFO", 50, 1},
        {"no key", ".rsrc", 256, 6, "VS_VERSION_INFX", 40, 0},
        {"no signature", ".rsrc", 256, 6, "VS_VERSION_INFO", 0, 0},
        // The signature and the sixteen bytes after it must fit.
        {"info fits exactly", ".rsrc", 60, 6, "VS_VERSION_INFO", 40, 1},
        {"info cut by the window", ".rsrc", 59, 6, "VS_VERSION_INFO", 40, 0},
        {"key at the window's end", ".rsrc", 36, 6, "VS_VERSION_INFO", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeImage fake({{".text", 0x1000, 64}, {c.section, 0x2000, c.size}});
        uint8_t* window = fake.Window(1);
        PutKey(window + c.keyAt, c.key);
        if (c.infoAt) {
            uint8_t info[20];
            PutFixedInfo(info, ms, ls); // only what the window holds
            std::memcpy(window + c.infoAt, info, std::min(sizeof info, c.size - c.infoAt));
        }
        uint16_t major = 0xAAAA, minor = 0xAAAA, build = 0xAAAA, revision = 0xAAAA;
        EXPECT_EQ(c.found, PE_ReadVersion(&fake.image, &major, &minor, &build, &revision));
        if (c.found) {
            EXPECT_EQ(3, major);
            EXPECT_EQ(4, minor);
            EXPECT_EQ(5, build);
            EXPECT_EQ(6, revision);
        } else {
            EXPECT_EQ(0xAAAA, major);
            EXPECT_EQ(0xAAAA, revision);
        }
    }
}

} // namespace
