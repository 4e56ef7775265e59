#include "shell/engine/versionscreen.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/shell/log_capture.h"
#include "base/stdout_capture.h"

namespace {

bool engineStarted = false;

const char* ShellText() {
    return "6.0.2.02020 <API:2.2>";
}
int StartEngine() {
    engineStarted = true;
    return 0;
}
const char* EngineText() {
    return engineStarted ? "8.1.0.77 <API:2.2>" : "not started";
}

class VersionScreen : public LogCaptureTest {
protected:
    void SetUp() override {
        LogCaptureTest::SetUp();
        saved = VersionSource;
        engineStarted = false;
        OutputMode = OutputModeQuiet;
        ConsoleActive = 0;
    }
    void TearDown() override {
        VersionSource = saved;
        LogCaptureTest::TearDown();
    }
    VersionScreenSource saved{};
};

TEST_F(VersionScreen, ShowsShellThenStartedEngineOnTheConsole) {
    VersionSource = {ShellText, StartEngine, EngineText};
    StdoutCapture out;
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(0, PrintVersions());
    std::string text = out.Stop();
    EXPECT_EQ("Shell version: 6.0.2.02020 <API:2.2>\nEngine version: 8.1.0.77 <API:2.2>\n", text);
    EXPECT_TRUE(engineStarted);
    EXPECT_EQ(OutputModeQuiet, OutputMode);
    ASSERT_EQ(2u, Lines().size());
    EXPECT_EQ("Shell version: 6.0.2.02020 <API:2.2>\n", Lines()[0]);
}

TEST_F(VersionScreen, WithoutAnEngineTableShowsEmptyTexts) {
    VersionSource = {nullptr, nullptr, nullptr};
    StdoutCapture out;
    EXPECT_EQ(0, PrintVersions());
    EXPECT_EQ("Shell version: \nEngine version: \n", out.Stop());
}

} // namespace
