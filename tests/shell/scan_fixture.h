// Scans through the stand-in engine with the demo bases, of files made in
// the scratch folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "shell/scan/actiongate.h"
#include "shell/settings/scankeys.h"
#include "shell/settings/scansettings.h"
#include "shell/scan/scanstop.h"
#include "shell/scan/scantask.h"
#include "shell_fixture.h"

namespace {

// Signatures of the demo bases, spelled here so that no test file holds them.
inline std::string Reversed(std::string text) {
    return std::string(text.rbegin(), text.rend());
}
inline std::string Eicar() {
    return Reversed("*H+H$!ELIF-TSET-SURIVITNA-DRADNATS-RACIE$}7)CC7)^P(45XZP\\4[PA@%P!O5X");
}
inline std::string Signature(const char* what) {
    return std::string("TARVO-TEST-") + what;
}

// A task whose object line runs a step of the test when the engine reports
// its finding: what the disk looks like after the engine read the object.
class HookedTask : public ScanTask {
public:
    HookedTask(TarvoMainSettings* settings, std::function<void()> hook)
        : ScanTask(settings, 0, kScanStackBudget), hook_(std::move(hook)) {}
    void PrintObjectLine() override {
        if (++lines_ == 2 && hook_) hook_();
        ScanTask::PrintObjectLine();
    }

private:
    std::function<void()> hook_;
    int lines_ = 0;
};

// What one scan left behind.
struct ScanOutcome {
    uint32_t result = 0;
    uint32_t flags = 0;
    ScanStat stat;
};

class ScanTaskTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        PrepareEngines(TARVO_ENGINE_DLL);
        ASSERT_EQ(0, LoadEngine()) << AllLines();
        instance_ = EngineAt(0);
        SetBaseMasks({TARVO_DEMO_BASE_VDB, TARVO_DAILY_BASE_VDB});
        ASSERT_GT(LoadVirusBases(instance_, nullptr), 0u) << AllLines();
        CapturedLines().clear();
        settings_.reset(new TarvoMainSettings);
        ResetKeys();
        quarantine_ = dir_ / "infected";
        CopyPathBuffer(MoveFilesTo, quarantine_.c_str());
    }
    void TearDown() override {
        ResetKeys();
        ShellTest::TearDown();
    }

    static void ResetKeys() {
        LogScanned = 1;
        LogArchived = 1;
        FilesTypesWarnings = 1;
        std::strcpy(RenameFilesTo, "#??");
        MaxArchiveLevel = 0;
        MaxFileSizeToExtract = -1;
        MaxCompressionRatio = -1;
        CompressionCheckThreshold = -1;
        EnableDeleteArchiveAction = 0;
        StopOnFirstInfected = 0;
        ScanTimeoutFlag = 0;
        MailWalkActive = 0;
        ActionLockOwner = nullptr;
        ActionLockWaitSeconds = 0;
    }

    uint32_t& Word(int n) { return settings_->word[n]; }

    std::string Make(const std::string& name, const std::string& data, mode_t mode = 0644) {
        EXPECT_TRUE(dir_.Write(name, data));
        std::string path = dir_ / name;
        chmod(path.c_str(), mode);
        return path;
    }

    ScanOutcome Scan(const std::string& path, uint32_t budget = kScanStackBudget) {
        ScanTask task(settings_.get(), 0, budget);
        return Finish(task, task.Scan(path.c_str(), 0));
    }

    static ScanOutcome Finish(ScanTask& task, uint32_t result) {
        ScanOutcome out;
        out.result = result;
        out.flags = task.ScanFlags();
        out.stat = task.TaskStat();
        EXPECT_EQ(0u, EngineAt(0)->busy) << "the engine instance is given back";
        return out;
    }

    static bool Exists(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0;
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static mode_t ModeOf(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }

    bool Logged(const std::string& line) const { return HasLine(line + "\n"); }

    EngineInstance* instance_ = nullptr;
    std::unique_ptr<TarvoMainSettings> settings_;
    std::string quarantine_;
};

} // namespace
