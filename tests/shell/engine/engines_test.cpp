#include "shell/engine/engines.h"

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "base/outputmode.h"
#include "engine/vdbwriter.h"
#include "shell/host/hosthooks.h"
#include "shell/scan/lockword.h"
#include "tests/shell/shell_fixture.h"

namespace {

class EngineTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        BuildVersionString();
    }

    int32_t ModuleCount() { return EngineModules ? static_cast<int32_t>(EngineModules->Count()) : -1; }
};

TEST_F(EngineTest, VersionTexts) {
    EXPECT_STREQ("6.0.2.02020 <API:2.2>", ShellVersionText);
    EXPECT_STREQ("6.0.2.1", GetProgramVersion());
}

TEST_F(EngineTest, StartsTheEngineAndKnowsItsVersions) {
    PrepareEngines(TARVO_ENGINE_DLL);
    ASSERT_EQ(0, LoadEngine()) << AllLines();
    EngineInstance* instance = EngineAt(0);
    EXPECT_TRUE(IsEngineLoaded(instance));
    EXPECT_EQ(1u, LoadedEngineCount);
    EXPECT_EQ(104u, instance->engineVersion);
    EXPECT_EQ(TARVO_API_VERSION(2, 2), instance->apiVersion);
    EXPECT_STREQ("1.4.2.7 <API:2.2>", EngineVersionText);
    EXPECT_EQ(0u, EngineTableLock);
    EXPECT_EQ(0u, BaseLock);

    EXPECT_EQ(1, UnloadEngine(instance));
    EXPECT_FALSE(IsEngineLoaded(instance));
    EXPECT_EQ(0u, instance->module);
    EXPECT_EQ(0, ModuleCount());
    EXPECT_EQ(0, UnloadEngine(instance));
}

TEST_F(EngineTest, WithoutAVersionResourceTheVersionNumberIsShown) {
    PrepareEngines(TARVO_FIXTURE_NO_RESOURCE_DLL);
    ASSERT_EQ(0, LoadEngine()) << AllLines();
    EXPECT_STREQ("1.4 <API:2.2>", EngineVersionText);
}

TEST_F(EngineTest, EachStartFailureHasItsMessageAndLeavesTheRecordEmpty) {
    struct Case {
        std::string module;
        std::string line;
    };
    const std::string missing = dir_ / "missing.dll";
    const Case cases[] = {
        {missing, "Tarvo/Linux: error reading " + missing + "!\n"},
        {TARVO_FIXTURE_NOT_PE,
         std::string("Tarvo/Linux: file ") + TARVO_FIXTURE_NOT_PE + " is not Tarvo engine!\n"},
        {TARVO_FIXTURE_ENTRY_ZERO_DLL,
         std::string("Tarvo/Linux: error loading ") + TARVO_FIXTURE_ENTRY_ZERO_DLL + "!\n"},
        {TARVO_FIXTURE_API3_DLL,
         "Tarvo/Linux: Error: this version of engine (1.4.2.7 <API:3.2>) does not supported "
         "by daemon (6.0.2.02020 <API:2.2>)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module);
        Reset();
        CapturedLines().clear();
        PrepareEngines(c.module.c_str());
        EXPECT_EQ(-1, LoadEngine());
        EXPECT_EQ(std::vector<std::string>{c.line}, CapturedLines());
        EngineInstance* instance = EngineAt(0);
        EXPECT_EQ(0u, instance->module);
        EXPECT_EQ(nullptr, instance->dispatcher);
        EXPECT_EQ(0, ModuleCount()) << "the module is unmapped again";
        EXPECT_EQ(0u, LoadedEngineCount);
        EXPECT_EQ(0u, BaseLock);
        EXPECT_EQ(0u, EngineTableLock);
        // A failed start followed by the shutdown's calls returns at once.
        EXPECT_EQ(0, UnloadVirusBases(instance, nullptr));
        EXPECT_EQ(0, UnloadEngine(instance));
    }
}

TEST_F(EngineTest, NoFreeRecordOrNoTableStartsNothing) {
    EXPECT_EQ(-1, LoadEngine()) << "no table";
    PrepareEngines(TARVO_ENGINE_DLL);
    EngineInstanceLimit = 1;
    ASSERT_EQ(0, LoadEngine());
    EXPECT_EQ(-1, LoadEngine());
    EngineInstanceLimit = 0;
    EXPECT_EQ(-1, LoadEngine());
    EXPECT_EQ(0u, EngineTableLock);
}

TEST_F(EngineTest, BusyInstanceIsNotUnloadedAfterABoundedWait) {
    PrepareEngines(TARVO_ENGINE_DLL);
    ASSERT_EQ(0, LoadEngine());
    EngineInstance* instance = EngineAt(0);
    instance->busy = 1;
    EngineBusyWaitPolls = 3;
    EXPECT_EQ(0, UnloadEngine(instance));
    EXPECT_TRUE(IsEngineLoaded(instance));
    EXPECT_EQ(0u, BaseLock);
    EXPECT_EQ(-1, InitEngineInstance(instance, 0)) << "a busy engine is not started over";
    EXPECT_TRUE(IsEngineLoaded(instance));
    instance->busy = 0;
    EngineBusyWaitPolls = 10000;
    EXPECT_EQ(1, UnloadEngine(instance));
}

TEST_F(EngineTest, EnginePathMayNameTheFileOrItsFolder) {
    CopyPathBuffer(EnginePath, TARVO_ENGINE_DLL);
    EXPECT_EQ(0, CheckEnginePath());
    EXPECT_STREQ(TARVO_ENGINE_DLL, EngineFilePath);

    std::string folder = TARVO_ENGINE_DLL;
    folder.erase(folder.rfind('/'));
    CopyPathBuffer(EnginePath, (folder + "//").c_str());
    EXPECT_EQ(0, CheckEnginePath());
    EXPECT_EQ(folder + "/tarvo32.dll", EngineFilePath);

    CopyPathBuffer(EnginePath, dir_.path().c_str());
    EXPECT_EQ(1, CheckEnginePath()) << "a folder without the engine";
    CopyPathBuffer(EnginePath, (dir_ / "missing.dll").c_str());
    EXPECT_EQ(1, CheckEnginePath());
}

// The stand-in engine with real bases.
class EngineBaseTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        PrepareEngines(TARVO_ENGINE_DLL);
        ASSERT_EQ(0, LoadEngine()) << AllLines();
        instance_ = EngineAt(0);
    }

    std::string Write(const std::string& name, const std::string& list) {
        VdbBase base;
        std::string error;
        EXPECT_EQ(0, ParseSignatureList(list, base, error)) << error;
        std::string path = dir_ / name;
        EXPECT_EQ(0, WriteBaseFile(path, base, error)) << error;
        return path;
    }

    EngineInstance* instance_ = nullptr;
};

TEST_F(EngineBaseTest, DemoBasesLoad) {
    SetBaseMasks({TARVO_DEMO_BASE_DIR "/*.vdb"});
    uint32_t word = 0;
    EXPECT_EQ(23u, LoadVirusBases(instance_, &word));
    EXPECT_EQ(23u, word) << "the engine's own total";
    EXPECT_TRUE(HasLine("Loading " TARVO_DEMO_BASE_VDB " - Ok, virus records: 22\n")) << AllLines();
    EXPECT_TRUE(HasLine("Loading " TARVO_DAILY_BASE_VDB " - Ok, virus records: 1\n")) << AllLines();
    EXPECT_EQ(TARVO_DAILY_BASE_VDB, instance_->bases->records.front().path) << "the newer stamp first";
    EXPECT_EQ(2u, LoadedBaseList.Count());
}

TEST_F(EngineBaseTest, EngineAnswersEmptySkippedAndBrokenBases) {
    std::string empty = Write("1-empty.vdb", "base kind=1 stamp=4\n");
    std::string newer =
        Write("2-newer.vdb", "base kind=1 stamp=3 format=2\ninfected A file 0 incurable text:A\n");
    std::string good = Write("3-good.vdb", "base kind=1 stamp=2\ninfected A file 0 incurable text:AAAA\n");
    std::string broken =
        Write("4-broken.vdb", "base kind=1 stamp=1\ninfected B file 0 incurable text:BBBB\n");
    {
        FILE* f = fopen(broken.c_str(), "r+b");
        ASSERT_NE(nullptr, f);
        fseek(f, -1, SEEK_END);
        fputc('X', f);
        fclose(f);
    }
    SetBaseMasks({dir_ / "*.vdb"});
    EXPECT_EQ(1u, LoadVirusBases(instance_, nullptr));
    EXPECT_TRUE(HasLine("Loading " + empty + " - empty, skipped\n")) << AllLines();
    EXPECT_TRUE(HasLine("Loading " + newer + " - skipped\n")) << AllLines();
    EXPECT_TRUE(HasLine("Loading " + good + " - Ok, virus records: 1\n")) << AllLines();
    EXPECT_TRUE(HasLine("Loading " + broken + " - error!\n")) << AllLines();
    EXPECT_EQ(1u, LoadedBaseList.Count());
}

TEST_F(EngineBaseTest, ReloadReplacesAChangedBaseInTheEngine) {
    std::string main = Write("main.vdb", "base kind=1 stamp=1\ninfected A file 0 incurable text:AAAA\n"
                                         "infected B file 0 incurable text:BBBB\n");
    std::string extra =
        Write("extra.vdb", "base kind=1 stamp=2 key4=0\ninfected C file 0 incurable text:CCCC\n");
    SetBaseMasks({dir_ / "*.vdb"});
    uint32_t word = 0;
    ASSERT_EQ(3u, LoadVirusBases(instance_, &word));
    CapturedLines().clear();
    EXPECT_EQ(3, UpdateVirusBases(instance_, &word));
    EXPECT_EQ(std::vector<std::string>{"Total virus records: 3\n"}, CapturedLines());

    Write("extra.vdb", "base kind=1 stamp=2 key4=0\ninfected C file 0 incurable text:CCCC\n"
                       "infected D file 0 incurable text:DDDD\n");
    EXPECT_EQ(4, UpdateVirusBases(instance_, &word));
    EXPECT_EQ(4u, word) << "the engine replaced the base rather than adding to it";
    EXPECT_TRUE(HasLine("Loading " + extra + " - Ok, virus records: 2\n")) << AllLines();
    EXPECT_FALSE(HasLine("Loading " + main + " - Ok, virus records: 2\n")) << AllLines();

    uint32_t count = 4;
    EXPECT_EQ(1, UnloadVirusBases(instance_, &count));
    EXPECT_EQ(0, instance_->dispatcher(nullptr, TARVO_CMD_BASES_LOADED)) << "the engine holds nothing";
}

// In a fresh process the first file opened would get descriptor 3, which the
// host services refuse: the base must still load.
TEST_F(EngineBaseTest, FreshProcessLoadsItsBaseThroughTheServices) {
    SetBaseMasks({TARVO_DEMO_BASE_VDB});
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        for (int fd = 3; fd < 64; fd++) close(fd);
        _exit(LoadVirusBases(instance_, nullptr) == 22 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(EngineTest, VersionScreenStartsTheEngineAndShowsBothVersions) {
    PrepareEngines(TARVO_ENGINE_DLL);
    ShellVersionText[0] = '\0';
    ConnectHostServices();
    EXPECT_EQ(0, PrintVersions());
    OutputMode = OutputModeTerminal;
    EXPECT_EQ(std::vector<std::string>(
                  {"Shell version: 6.0.2.02020 <API:2.2>\n", "Engine version: 1.4.2.7 <API:2.2>\n"}),
              CapturedLines());
    EXPECT_TRUE(IsEngineLoaded(EngineAt(0)));
    ShellObjectAccess = FileLayerAccess;
    VersionSource = {nullptr, nullptr, nullptr};
}

TEST_F(EngineTest, FileChecksSeeTheMemoryFilesOfARequest) {
    ConnectHostServices();
    ASSERT_NE(nullptr, AddMemoryFile("MZ\x90\0", 4, "sent.exe"));
    EXPECT_TRUE(ShellObjectAccess.isMemoryObject("sent.exe"));
    EXPECT_FALSE(ShellObjectAccess.isMemoryObject((dir_ / "sent.exe").c_str()));
    int handle = ShellObjectAccess.open("sent.exe");
    ASSERT_GT(handle, 3);
    char head[4] = {0};
    EXPECT_EQ(4, ShellObjectAccess.read(handle, head, 4));
    EXPECT_EQ(4, ShellObjectAccess.length(handle));
    ShellObjectAccess.close(handle);
    EXPECT_EQ(0u, MemoryFiles->FindName("sent.exe")->open) << "closed again";
    ShellObjectAccess = FileLayerAccess;
    VersionSource = {nullptr, nullptr, nullptr};
}

} // namespace
