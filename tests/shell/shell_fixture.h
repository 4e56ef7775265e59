// What the shell's tests share: log lines captured on their way to syslog,
// a scratch folder, and a clean slate of the shell's process-wide state.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/logwriter.h"
#include "base/messages.h"
#include "shell/loader/enginemodule.h"
#include "shell/engine/engines.h"
#include "shell/host/hostfiles.h"
#include "shell/host/hostreport.h"
#include "shell/host/memfile.h"
#include "shell/scan/requestoption.h"
#include "shell/settings/shellkeys.h"
#include "shell/engine/virbase.h"
#include "base/scratch_dir.h"

namespace {

inline std::vector<std::string>& CapturedLines() {
    static std::vector<std::string> lines;
    return lines;
}

inline void CaptureLine(int, const char*, const char* line) {
    CapturedLines().push_back(line);
}

// The captured lines joined, for messages of failed expectations.
inline std::string AllLines() {
    std::string all;
    for (const std::string& line : CapturedLines()) all += line;
    return all;
}

inline bool HasLine(const std::string& text) {
    for (const std::string& line : CapturedLines())
        if (line == text) return true;
    return false;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        if (!MessageCatalogue) {
            ASSERT_EQ(1, CreateMessageCatalogue());
        }
        LoadDefaultMessages();
        ClearLogBuffers();
        CapturedLines().clear();
        savedSend_ = LogSyslogSend;
        LogSyslogSend = CaptureLine;
        LogToFile = 1;
        LogToSyslog = 1;
        RunningAsDaemon = 1;
        Reset();
    }
    void TearDown() override {
        Reset();
        ClearLogBuffers();
        LogSyslogSend = savedSend_;
        RunningAsDaemon = 0;
    }

    // Everything the shell keeps between calls, back to its start.
    void Reset() {
        if (EngineTable)
            for (uint32_t i = 0; i < kEngineTableSize; i++) UnloadEngine(EngineAt(i));
        DeleteEngineTable();
        EngineModules.reset();
        ReleaseHeldFile();
        ResetFileWindow();
        FreeMemoryFiles();
        ClearFoundLists();
        LoadedBaseList.Clear();
        VirusBase.reset();
        EnginePath[0] = '\0';
        EngineFilePath[0] = '\0';
        CopyPathBuffer(TempPath, dir_.path().c_str());
        UseDiskForSwap = 1;
        LogInfected = 1;
        LogPacked = 1;
        EngineInstanceLimit = 16;
        StopFlag = 0;
        OriginFlag = 0;
        RequestOptionWord = 0;
        TemporaryFileCounter = 0;
        BaseRecordWord = 0;
        LoadedEngineCount = 0;
        BaseLock = 0;
        EngineTableLock = 0;
    }

    // The module list and the engine table, ready for LoadEngine.
    void PrepareEngines(const char* module) {
        EngineModules.reset(new PE_Lib);
        ASSERT_EQ(0, CreateEngineTable());
        CopyPathBuffer(EngineFilePath, module);
    }

    void SetBaseMasks(const std::vector<std::string>& masks) {
        VirusBase.reset(new tvStringList);
        for (const std::string& mask : masks) VirusBase->AddString(mask.c_str());
    }

    ScratchDir dir_;

private:
    void (*savedSend_)(int, const char*, const char*) = nullptr;
};

} // namespace
