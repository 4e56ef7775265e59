#include "shell/loader/pelib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "base/scratch_dir.h"
#include "engine/tarvo_engine_api.h"
#include "engine/version.h"
#include "tests/shell/module_bytes.h"
#include "tests/shell/test_host.h"

namespace {

const PE_Section* SectionNamed(const PE_ImageHeader* image, const char* name) {
    for (uint32_t i = 0; i < image->sectionCount; i++)
        if (std::strncmp(image->sections[i].Name(), name, 8) == 0) return &image->sections[i];
    return nullptr;
}

PE_File* FileOf(PE_Lib& lib, uint32_t handle) {
    for (void* p = lib.FirstPtr(); p; p = lib.NextPtr()) {
        auto* file = static_cast<PE_File*>(p);
        if (file->id == handle) return file;
    }
    return nullptr;
}

EngineDispatcher StartEngine(PE_Lib& lib, uint32_t handle) {
    auto entry = reinterpret_cast<TarvoInitDllEntry>(lib.GetExport(handle, TARVO_INIT_DLL_NAME));
    if (!entry) return nullptr;
    uint32_t options = TARVO_OPTION_WORD;
    return entry(test_host::Rows(), TARVO_HOST_SERVICE_COUNT, &options, 0);
}

TEST(PeLib, LoadsTheEngineAndRunsItsCommands) {
    PE_Lib lib;
    uint32_t handle = lib.Load(TARVO_ENGINE_DLL, TARVO_INIT_DLL_NAME);
    ASSERT_NE(0u, handle) << "error " << PE_LastError;
    EXPECT_EQ(0u, PE_LastError);
    PE_File* file = FileOf(lib, handle);
    ASSERT_NE(nullptr, file);
    EXPECT_TRUE(file->IsLoaded());
    EXPECT_STREQ(TARVO_ENGINE_DLL, file->path);

    int32_t before = test_host::outstanding;
    EngineDispatcher dispatch = StartEngine(lib, handle);
    ASSERT_NE(nullptr, dispatch);
    EXPECT_EQ(TARVO_ENGINE_VERSION_NUMBER, dispatch(nullptr, TARVO_CMD_VERSION));
    EXPECT_EQ(static_cast<int32_t>(TARVO_API_VERSION(2, TARVO_ENGINE_API_MINOR)),
              dispatch(nullptr, TARVO_CMD_API_VERSION));
    EXPECT_EQ(1, dispatch(nullptr, TARVO_CMD_KEEP_ENGINE, TARVO_KEEP_ENGINE_AT_START));
    EXPECT_EQ(before + 1, test_host::outstanding);
    EXPECT_EQ(0, dispatch(nullptr, TARVO_CMD_SHUTDOWN));
    EXPECT_EQ(before, test_host::outstanding) << "the engine gives its state back at shutdown";
    EXPECT_EQ(1, lib.Unload(handle));
}

// The entry answers a word of .data that points into .text: only a
// relocated module hands out an address inside the .text block.
TEST(PeLib, RelocatesPointersAcrossSections) {
    ModuleBytes original(TARVO_ENGINE_DLL);
    ASSERT_FALSE(original.Empty());
    int dataIndex = original.SectionNamed(".data");
    ASSERT_GE(dataIndex, 0);
    uint32_t fileWord = original.Get32(original.Get32(original.Section(dataIndex) + 20));

    PE_Lib lib;
    uint32_t handle = lib.Load(TARVO_ENGINE_DLL, TARVO_INIT_DLL_NAME);
    ASSERT_NE(0u, handle);
    const PE_ImageHeader* image = FileOf(lib, handle)->header.get();
    const PE_Section* text = SectionNamed(image, ".text");
    const PE_Section* data = SectionNamed(image, ".data");
    ASSERT_TRUE(text && data && text->host && data->host);

    uint32_t word;
    std::memcpy(&word, data->host, sizeof word);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(PE_TranslateRva(image, fileWord - image->ImageBase())), word);

    EngineDispatcher dispatch = StartEngine(lib, handle);
    auto address = reinterpret_cast<uintptr_t>(dispatch);
    auto textStart = reinterpret_cast<uintptr_t>(text->host);
    EXPECT_GE(address, textStart);
    EXPECT_LT(address, textStart + text->windowSize);
    EXPECT_EQ(TARVO_ENGINE_VERSION_NUMBER, dispatch(nullptr, TARVO_CMD_VERSION));
    dispatch(nullptr, TARVO_CMD_SHUTDOWN);
}

// Windows larger than the file data (a .bss) are backed, zero-filled, to
// their last byte; the host touches the end that the engine did not.
TEST(PeLib, EveryWindowIsBackedToItsEnd) {
    for (const char* path : {TARVO_ENGINE_DLL, TARVO_FIXTURE_LARGE_BSS_DLL}) {
        SCOPED_TRACE(path);
        PE_Lib lib;
        uint32_t handle = lib.Load(path, TARVO_INIT_DLL_NAME);
        ASSERT_NE(0u, handle) << "error " << PE_LastError;
        const PE_ImageHeader* image = FileOf(lib, handle)->header.get();
        const PE_Section* bss = SectionNamed(image, ".bss");
        ASSERT_TRUE(bss && bss->host);
        EXPECT_EQ(0u, bss->SizeOfRawData());
        EXPECT_EQ(0, bss->host[bss->windowSize - 1]);
        EXPECT_EQ(bss->host + (bss->windowSize - 1),
                  PE_TranslateRva(image, bss->VirtualAddress() + bss->windowSize - 1));
        for (uint32_t i = 0; i < image->sectionCount; i++) {
            const PE_Section& s = image->sections[i];
            if (!s.host) continue;
            volatile uint8_t* last = s.host + s.windowSize - 1;
            *last = *last;
        }
        // The large fixture refuses to start unless both ends of its array are zero.
        EngineDispatcher dispatch = StartEngine(lib, handle);
        ASSERT_NE(nullptr, dispatch);
        dispatch(nullptr, TARVO_CMD_SHUTDOWN);
    }
    ModuleBytes large(TARVO_FIXTURE_LARGE_BSS_DLL);
    int bss = large.SectionNamed(".bss");
    ASSERT_GE(bss, 0);
    EXPECT_GE(large.Get32(large.Section(bss) + 8), static_cast<uint32_t>(TARVO_FIXTURE_LARGE_BSS_SIZE));
}

// An export decorated with an underscore on either side is found under the
// plain name and cached only under it.
TEST(PeLib, FindsDecoratedEntriesUnderThePlainName) {
    struct Case {
        const char* path;
        const char* exported;
    } cases[] = {
        {TARVO_ENGINE_DLL, "TARVO_InitDll"},
        {TARVO_FIXTURE_EXPORT_LEADING_DLL, "_TARVO_InitDll"},
        {TARVO_FIXTURE_EXPORT_TRAILING_DLL, "TARVO_InitDll_"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        PE_Lib lib;
        uint32_t handle = lib.Load(c.path, TARVO_INIT_DLL_NAME);
        ASSERT_NE(0u, handle) << "error " << PE_LastError;
        uintptr_t entry = lib.GetExport(handle, TARVO_INIT_DLL_NAME);
        EXPECT_EQ(PE_FindExportByName(FileOf(lib, handle)->header.get(), c.exported), entry);
        if (std::strcmp(c.exported, TARVO_INIT_DLL_NAME) != 0) {
            EXPECT_EQ(0u, lib.GetExport(handle, c.exported)) << "only the requested name is cached";
        }
        EngineDispatcher dispatch = StartEngine(lib, handle);
        ASSERT_NE(nullptr, dispatch);
        EXPECT_EQ(TARVO_ENGINE_VERSION_NUMBER, dispatch(nullptr, TARVO_CMD_VERSION));
        dispatch(nullptr, TARVO_CMD_SHUTDOWN);
    }
}

// Ways to damage the engine's file; each yields a module the loader refuses.
struct Damage {
    const char* name;
    std::function<void(ModuleBytes&)> apply;
};

uint32_t FirstRelocationBlock(const ModuleBytes& m) {
    return static_cast<uint32_t>(m.FileOffset(m.DirectoryRva(5)));
}

// The offset of the first entry of the first relocation block that is not padding.
size_t FirstRelocationEntry(const ModuleBytes& m) {
    size_t block = FirstRelocationBlock(m);
    for (size_t at = block + 8; at < block + m.Get32(block + 4); at += 2)
        if (m.Get16(at) >> 12) return at;
    return 0;
}

size_t ExportTable(const ModuleBytes& m, size_t field) {
    return m.FileOffset(m.Get32(m.FileOffset(m.DirectoryRva(0)) + field));
}

std::string DamagedCopy(const ScratchDir& dir, const Damage& d) {
    ModuleBytes m(TARVO_ENGINE_DLL);
    d.apply(m);
    std::string name = std::string(d.name) + ".dll";
    std::string bytes(m.Bytes().begin(), m.Bytes().end());
    return dir.Write(name, bytes) ? dir / name : std::string();
}

TEST(PeLib, RefusesDamagedModulesAsBadFormat) {
    const Damage damages[] = {
        {"lfanew-at-dos-stub", [](ModuleBytes& m) { m.Put32(60, 64); }},
        {"lfanew-past-end", [](ModuleBytes& m) { m.Put32(60, 0x7FFFFFF0u); }},
        {"pe-signature", [](ModuleBytes& m) { m.Put16(m.Pe() + 2, 1); }},
        {"machine-amd64", [](ModuleBytes& m) { m.Put16(m.Pe() + 4, 0x8664); }},
        {"optional-header-64", [](ModuleBytes& m) { m.Put16(m.Pe() + 20, 240); }},
        {"section-table-past-end", [](ModuleBytes& m) { m.Put16(m.Pe() + 6, 0xFFFF); }},
        {"section-data-past-end", [](ModuleBytes& m) { m.Put32(m.Section(0) + 20, 0x100000); }},
        // The memory a module takes is bounded by its image size, and that size by the loader.
        {"section-window-past-image",
         [](ModuleBytes& m) { m.Put32(m.Section(0) + 8, m.Get32(m.Optional() + 56)); }},
        {"sections-overlapping-to-fill-the-image-twice",
         [](ModuleBytes& m) {
             for (unsigned i = 0; i < m.SectionCount(); i++) {
                 m.Put32(m.Section(i) + 12, m.SectionRva(0));
                 m.Put32(m.Section(i) + 8, m.Get32(m.Optional() + 56) - m.SectionRva(0));
             }
         }},
        {"image-of-two-gigabytes",
         [](ModuleBytes& m) {
             const unsigned last = m.SectionCount() - 1;
             m.Put32(m.Optional() + 56, 0x80000000u);
             m.Put32(m.Section(last) + 8, 0x80000000u - m.SectionRva(last));
         }},
        {"relocation-type-2",
         [](ModuleBytes& m) {
             size_t at = FirstRelocationEntry(m);
             m.Put16(at, static_cast<uint16_t>((m.Get16(at) & 0x0FFF) | 0x2000));
         }},
        {"relocation-type-10",
         [](ModuleBytes& m) {
             size_t at = FirstRelocationEntry(m);
             m.Put16(at, static_cast<uint16_t>((m.Get16(at) & 0x0FFF) | 0xA000));
         }},
        {"relocation-page-outside", [](ModuleBytes& m) { m.Put32(FirstRelocationBlock(m), 0x00F00000); }},
        {"relocation-word-past-window",
         [](ModuleBytes& m) {
             // The word at the last byte of .text's window straddles its end.
             m.Put32(FirstRelocationBlock(m), m.SectionRva(0));
             m.Put16(FirstRelocationEntry(m), 0x3FFF);
         }},
        {"relocation-target-outside",
         [](ModuleBytes& m) {
             size_t entry = FirstRelocationEntry(m);
             uint32_t page = m.Get32(FirstRelocationBlock(m));
             m.Put32(m.FileOffset(page + (m.Get16(entry) & 0x0FFF)), 0x10);
         }},
        {"relocation-block-size-0", [](ModuleBytes& m) { m.Put32(FirstRelocationBlock(m) + 4, 0); }},
        {"relocation-block-past-directory",
         [](ModuleBytes& m) { m.Put32(FirstRelocationBlock(m) + 4, m.Get32(m.Directory(5) + 4) + 8); }},
        {"relocation-directory-outside", [](ModuleBytes& m) { m.Put32(m.Directory(5), 0x00F00000); }},
        {"import-descriptor", [](ModuleBytes& m) { m.Put32(m.FileOffset(m.DirectoryRva(1)) + 12, 0x1000); }},
        {"entry-name-missing",
         [](ModuleBytes& m) {
             size_t at = m.Find(TARVO_INIT_DLL_NAME);
             m.Put16(at, 'X' | ('A' << 8));
         }},
        {"entry-ordinal-out-of-range", [](ModuleBytes& m) { m.Put16(ExportTable(m, 36), 1); }},
        {"entry-name-outside", [](ModuleBytes& m) { m.Put32(ExportTable(m, 32), 0x00F00000); }},
        {"entry-function-outside", [](ModuleBytes& m) { m.Put32(ExportTable(m, 28), 0x00F00000); }},
        {"export-directory-outside", [](ModuleBytes& m) { m.Put32(m.Directory(0), 0x00F00000); }},
    };
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    ModuleBytes engine(TARVO_ENGINE_DLL);
    ASSERT_FALSE(engine.Empty());
    ASSERT_NE(0u, FirstRelocationEntry(engine));
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        std::string path = DamagedCopy(dir, d);
        ASSERT_FALSE(path.empty());
        PE_Lib lib;
        PE_LastError = 0;
        EXPECT_EQ(0u, lib.Load(path.c_str(), TARVO_INIT_DLL_NAME));
        EXPECT_EQ(PE_ERROR_BAD_FORMAT, PE_LastError);
        EXPECT_EQ(0u, lib.Count());
    }
}

TEST(PeLib, ErrorWordTellsWhyAFixtureFails) {
    ScratchDir dir;
    struct Case {
        std::string path;
        uint32_t error;
    } cases[] = {
        {TARVO_FIXTURE_NOT_PE, PE_ERROR_BAD_FORMAT},
        {TARVO_FIXTURE_TRUNCATED_DLL, PE_ERROR_BAD_FORMAT},
        {TARVO_FIXTURE_IMPORT_DLL, PE_ERROR_BAD_FORMAT},
        {dir / "missing.dll", PE_ERROR_CANNOT_OPEN},
        {dir.path(), PE_ERROR_BAD_FORMAT}, // a folder opens but reads nothing
        {std::string(PE_PATH_LENGTH + 1, 'a'), PE_ERROR_CANNOT_OPEN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 200));
        PE_Lib lib;
        EXPECT_EQ(0u, lib.Load(c.path.c_str(), TARVO_INIT_DLL_NAME));
        EXPECT_EQ(c.error, PE_LastError);
        EXPECT_EQ(0u, lib.Count());
    }
}

// The relocation directory is optional; so are directories beyond the fifth.
TEST(PeLib, LoadsWithoutRelocationDirectory) {
    ScratchDir dir;
    const Damage variants[] = {
        {"no-relocation", [](ModuleBytes& m) { m.Put32(m.Directory(5) + 4, 0); }},
        {"five-directories", [](ModuleBytes& m) { m.Put32(m.Optional() + 92, 5); }},
    };
    for (const Damage& v : variants) {
        SCOPED_TRACE(v.name);
        std::string path = DamagedCopy(dir, v);
        PE_Lib lib;
        uint32_t handle = lib.Load(path.c_str(), TARVO_INIT_DLL_NAME);
        ASSERT_NE(0u, handle) << "error " << PE_LastError;
        // Not relocated: the .data word still holds the address of the file's base.
        ModuleBytes m(path);
        int dataIndex = m.SectionNamed(".data");
        uint32_t fileWord = m.Get32(m.Get32(m.Section(dataIndex) + 20));
        const PE_Section* data = SectionNamed(FileOf(lib, handle)->header.get(), ".data");
        uint32_t word;
        std::memcpy(&word, data->host, sizeof word);
        EXPECT_EQ(fileWord, word);
    }
}

TEST(PeLib, ReadsTheVersionResource) {
    PE_Lib lib;
    uint32_t engine = lib.Load(TARVO_ENGINE_DLL, TARVO_INIT_DLL_NAME);
    uint32_t bare = lib.Load(TARVO_FIXTURE_NO_RESOURCE_DLL, TARVO_INIT_DLL_NAME);
    ASSERT_NE(0u, engine);
    ASSERT_NE(0u, bare);
    EXPECT_NE(engine, bare);

    uint16_t major = 0xAAAA, minor = 0xAAAA, build = 0xAAAA, revision = 0xAAAA;
    EXPECT_EQ(0, lib.GetVersion(bare, &major, &minor, &build, &revision));
    EXPECT_EQ(0xAAAA, major);
    EXPECT_EQ(0xAAAA, revision);
    EXPECT_EQ(0, lib.GetVersion(0, &major, nullptr, nullptr, nullptr));
    EXPECT_EQ(0xAAAA, major);

    EXPECT_EQ(1, lib.GetVersion(engine, &major, &minor, &build, &revision));
    EXPECT_EQ(TARVO_ENGINE_VERSION_MAJOR, major);
    EXPECT_EQ(TARVO_ENGINE_VERSION_MINOR, minor);
    EXPECT_EQ(TARVO_ENGINE_VERSION_BUILD, build);
    EXPECT_EQ(TARVO_ENGINE_VERSION_REVISION, revision);
    uint16_t onlyBuild = 0;
    EXPECT_EQ(1, lib.GetVersion(engine, nullptr, nullptr, &onlyBuild, nullptr));
    EXPECT_EQ(TARVO_ENGINE_VERSION_BUILD, onlyBuild);
}

TEST(PeLib, NoVersionWithoutTheFixedInfoSignature) {
    ScratchDir dir;
    const Damage d = {"no-signature", [](ModuleBytes& m) {
                          size_t at = m.Find(std::string("\xBD\x04\xEF\xFE", 4));
                          m.Put32(at, 0);
                      }};
    std::string path = DamagedCopy(dir, d);
    PE_Lib lib;
    uint32_t handle = lib.Load(path.c_str(), TARVO_INIT_DLL_NAME);
    ASSERT_NE(0u, handle);
    uint16_t major = 0xAAAA;
    EXPECT_EQ(0, lib.GetVersion(handle, &major, nullptr, nullptr, nullptr));
    EXPECT_EQ(0xAAAA, major);
}

// The engine table loads the same module for every instance: one image,
// one handle, freed when the last load is undone.
TEST(PeLib, LoadingTheSameModuleTwiceSharesOneImage) {
    PE_Lib lib;
    uint32_t first = lib.Load(TARVO_ENGINE_DLL, TARVO_INIT_DLL_NAME);
    uint32_t second = lib.Load(TARVO_ENGINE_DLL, TARVO_INIT_DLL_NAME);
    ASSERT_NE(0u, first);
    EXPECT_EQ(first, second);
    EXPECT_EQ(1u, lib.Count());

    // Two starts by the same host, two shutdowns.
    EngineDispatcher a = StartEngine(lib, first);
    EngineDispatcher b = StartEngine(lib, second);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(0, a(nullptr, TARVO_CMD_SHUTDOWN));
    EXPECT_EQ(1, lib.Unload(first));
    EXPECT_NE(0u, lib.GetExport(second, TARVO_INIT_DLL_NAME)) << "still loaded for the second user";
    EXPECT_EQ(TARVO_ENGINE_VERSION_NUMBER, b(nullptr, TARVO_CMD_VERSION));
    EXPECT_EQ(0, b(nullptr, TARVO_CMD_SHUTDOWN));

    EXPECT_EQ(1, lib.Unload(second));
    EXPECT_EQ(0u, lib.Count());
    EXPECT_EQ(0, lib.Unload(second));
    EXPECT_EQ(0u, lib.GetExport(second, TARVO_INIT_DLL_NAME));
    EXPECT_EQ(0, lib.GetVersion(second, nullptr, nullptr, nullptr, nullptr));

    // A fresh load maps the module again under a new handle.
    uint32_t third = lib.Load(TARVO_ENGINE_DLL, TARVO_INIT_DLL_NAME);
    EXPECT_NE(0u, third);
    EXPECT_NE(first, third);
}

TEST(PeLib, HandlesCountUpAndUnloadOnlyTheirModule) {
    PE_Lib lib;
    uint32_t counter = PE_HandleCounter;
    uint32_t a = lib.Load(TARVO_ENGINE_DLL, TARVO_INIT_DLL_NAME);
    uint32_t b = lib.Load(TARVO_FIXTURE_API3_DLL, TARVO_INIT_DLL_NAME);
    EXPECT_EQ(counter + 1, a);
    EXPECT_EQ(counter + 2, b);
    EXPECT_EQ(0, lib.Unload(0));
    EXPECT_EQ(0, lib.Unload(b + 1));
    EXPECT_EQ(1, lib.Unload(a));
    EXPECT_EQ(0, lib.Unload(a));
    EXPECT_EQ(1u, lib.Count());
    EXPECT_NE(0u, lib.GetExport(b, TARVO_INIT_DLL_NAME));

    EngineDispatcher dispatch = StartEngine(lib, b);
    ASSERT_NE(nullptr, dispatch);
    EXPECT_EQ(3u, TARVO_API_VERSION_MAJOR_OF(dispatch(nullptr, TARVO_CMD_API_VERSION)));
    dispatch(nullptr, TARVO_CMD_SHUTDOWN);
}

TEST(PeLib, ImageWithoutEntryNameIsListedButNotLoaded) {
    PE_Lib lib;
    uint32_t handle = lib.Load(TARVO_ENGINE_DLL, nullptr);
    ASSERT_NE(0u, handle);
    PE_File* file = FileOf(lib, handle);
    EXPECT_TRUE(file->header);
    EXPECT_FALSE(file->IsLoaded());
    EXPECT_EQ(0u, lib.GetExport(handle, TARVO_INIT_DLL_NAME));
    // A later load that names the entry resolves it in the same image.
    EXPECT_EQ(handle, lib.Load(TARVO_ENGINE_DLL, TARVO_INIT_DLL_NAME));
    EXPECT_TRUE(file->IsLoaded());
    EXPECT_EQ(0u, lib.Load(TARVO_ENGINE_DLL, "NoSuchEntry"));
    EXPECT_EQ(PE_ERROR_BAD_FORMAT, PE_LastError);
    EXPECT_NE(0u, lib.GetExport(handle, TARVO_INIT_DLL_NAME));
}

TEST(PeFile, ExportCacheCutsLongNamesAndGoesWithTheImage) {
    PE_File file("/nowhere/engine.dll");
    EXPECT_FALSE(file.IsLoaded());
    std::string longName(PE_EXPORT_NAME_SIZE + 100, 'n');
    EXPECT_EQ(0, file.AddExport("Entry", 0x1234));
    EXPECT_EQ(0, file.AddExport(longName.c_str(), 0x5678));
    EXPECT_EQ(0x1234u, file.FindExport("Entry"));
    EXPECT_EQ(0u, file.FindExport("entry"));
    EXPECT_EQ(0u, file.FindExport("Entry_"));
    EXPECT_EQ(0x5678u, file.FindExport(longName.c_str()));
    EXPECT_EQ(0x5678u, file.FindExport(longName.substr(0, PE_EXPORT_NAME_SIZE).c_str()));
    EXPECT_FALSE(file.IsLoaded()) << "no image";

    file.header = std::make_unique<PE_ImageHeader>();
    EXPECT_TRUE(file.IsLoaded());
    file.id = 7;
    file.Unload();
    EXPECT_FALSE(file.IsLoaded());
    EXPECT_EQ(0u, file.id);
    EXPECT_STREQ("", file.path);
    EXPECT_EQ(0u, file.FindExport("Entry"));
}

} // namespace
