#include "shell/loader/enginemodule.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>

#include "engine/tarvo_engine_api.h"
#include "engine/version.h"
#include "shell/engine/engineinstance.h"
#include "tests/shell/test_host.h"

namespace {

// Each test gets a module list of its own and leaves none behind.
class EngineModuleTest : public ::testing::Test {
protected:
    void SetUp() override { EngineModules = std::make_unique<PE_Lib>(); }
    void TearDown() override { EngineModules.reset(); }
};

TEST_F(EngineModuleTest, WithoutTheModuleListEverythingAnswersZero) {
    EngineModules.reset();
    EngineInstance instance{};
    PE_LastError = PE_ERROR_BAD_FORMAT;
    EXPECT_EQ(0u, LoadEngineModule(TARVO_ENGINE_DLL));
    EXPECT_EQ(0u, PE_LastError) << "no stale reason";
    instance.module = 1;
    uint16_t major = 0xAAAA;
    EXPECT_EQ(0u, GetEngineExport(&instance, TARVO_INIT_DLL_NAME));
    EXPECT_EQ(0, GetEngineModuleVersion(&instance, &major, nullptr, nullptr, nullptr));
    EXPECT_EQ(0xAAAA, major);
    EXPECT_EQ(0, UnloadEngineModule(&instance));
}

TEST_F(EngineModuleTest, StartsTheEngineThroughItsInstance) {
    EngineInstance instance{};
    instance.module = LoadEngineModule(TARVO_ENGINE_DLL);
    ASSERT_NE(0u, instance.module) << "error " << PE_LastError;

    auto entry = reinterpret_cast<TarvoInitDllEntry>(GetEngineExport(&instance, TARVO_INIT_DLL_NAME));
    ASSERT_NE(nullptr, entry);
    uint32_t options = TARVO_OPTION_WORD;
    instance.dispatcher = entry(test_host::Rows(), TARVO_HOST_SERVICE_COUNT, &options, 0);
    ASSERT_NE(nullptr, instance.dispatcher);
    EXPECT_EQ(TARVO_ENGINE_VERSION_NUMBER, instance.dispatcher(nullptr, TARVO_CMD_VERSION));

    uint16_t major = 0, minor = 0, build = 0, revision = 0;
    EXPECT_EQ(1, GetEngineModuleVersion(&instance, &major, &minor, &build, &revision));
    EXPECT_EQ(TARVO_ENGINE_VERSION_MAJOR, major);
    EXPECT_EQ(TARVO_ENGINE_VERSION_REVISION, revision);

    instance.dispatcher(nullptr, TARVO_CMD_SHUTDOWN);
    EXPECT_EQ(1, UnloadEngineModule(&instance));
    EXPECT_EQ(0, UnloadEngineModule(&instance)) << "a second unload finds nothing";
    EXPECT_EQ(0u, GetEngineExport(&instance, TARVO_INIT_DLL_NAME));
    EXPECT_EQ(0, UnloadEngineModule(nullptr));
}

TEST_F(EngineModuleTest, ErrorWordSurvivesAFailedLoad) {
    EXPECT_EQ(0u, LoadEngineModule(TARVO_FIXTURE_NOT_PE));
    EXPECT_EQ(PE_ERROR_BAD_FORMAT, PE_LastError);
    EXPECT_EQ(0u, LoadEngineModule(TARVO_ENGINE_FIXTURE_DIR "/absent.dll"));
    EXPECT_EQ(PE_ERROR_CANNOT_OPEN, PE_LastError);
    // The entry-zero module loads: its refusal comes only when the entry runs.
    EngineInstance instance{};
    instance.module = LoadEngineModule(TARVO_FIXTURE_ENTRY_ZERO_DLL);
    ASSERT_NE(0u, instance.module);
    auto entry = reinterpret_cast<TarvoInitDllEntry>(GetEngineExport(&instance, TARVO_INIT_DLL_NAME));
    ASSERT_NE(nullptr, entry);
    uint32_t options = TARVO_OPTION_WORD;
    EXPECT_EQ(nullptr, entry(test_host::Rows(), TARVO_HOST_SERVICE_COUNT, &options, 0));
    EXPECT_EQ(1, UnloadEngineModule(&instance));
}

} // namespace
