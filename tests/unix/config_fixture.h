// Every configuration-held value back at its start, fresh settings objects,
// and the lines the log writer flushes captured instead of sent to syslog.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/logwriter.h"
#include "base/messages.h"
#include "shell/settings/scansettings.h"
#include "unix/protocol/clientlogs.h"
#include "unix/config/cmdline.h"
#include "unix/config/configkeys.h"
#include "unix/config/configreader.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/poolparams.h"
#include "unix/config/settingslife.h"

namespace {

std::vector<std::string>& LoggedLines() {
    static std::vector<std::string> lines;
    return lines;
}

void CaptureLine(int, const char*, const char* line) {
    std::string text = line;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    LoggedLines().push_back(text);
}

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        RestoreKeptValues();
        FreeAllSettings();
        ASSERT_EQ(CreateSettings(), 0);
        ConfigTargetSettings = MainSettings;
        if (!MessageCatalogue) {
            ASSERT_EQ(CreateMessageCatalogue(), 1);
        }
        LoadDefaultMessages();
        savedSend_ = LogSyslogSend;
        LogSyslogSend = CaptureLine;
        ClearLogBuffers();
        LoggedLines().clear();
    }
    void TearDown() override {
        FreeAllSettings();
        RestoreKeptValues();
        SetDefaultSettings();
        ClearLogBuffers();
        LogSyslogSend = savedSend_;
        FreeMessageCatalogue();
    }

    // The values that no load resets start as the program starts.
    static void RestoreKeptValues() {
        TempPath[0] = '\0';
        ProgressBar[0] = 0xB0;
        ProgressBar[1] = 0xB2;
        ProgressBarColor = 3;
        UseMaxMemory = -1;
        FilesTypesWarnings = 1;
        SyslogFacility = 24;
        SyslogPriority = 1;
        MailCommand.clear();
        MailTo.clear();
        RunForeground = 0;
        PoolParameters = {1, 1024, 120, 0, 1, 25};
        PoolAutoFlag = 0;
        EngineInstanceLimit = kEngineInstanceCount;
        ClientLogTargets.clear();
        NoIniFlag = 0;
        IniGivenFlag = 0;
        HelpFlag = VersionFlag = CheckOnlyFlag = 0;
    }

    // A reload: everything made afresh, then the text read.
    static int32_t Load(const std::string& text) {
        FreeSettings();
        CreateSettings();
        ConfigTargetSettings = MainSettings;
        return ReadConfigText(text);
    }

    static std::vector<uint32_t> BadLineNumbers() {
        std::vector<uint32_t> lines;
        for (const ConfigErrorLine* e = FirstConfigError(); e; e = NextConfigError())
            lines.push_back(e->line);
        return lines;
    }

    static std::vector<std::string> Strings(tvList* list) {
        std::vector<std::string> out;
        if (!list) return out;
        for (void* p = list->First(); p; p = list->Next()) out.push_back(static_cast<const char*>(p));
        return out;
    }

private:
    void (*savedSend_)(int, const char*, const char*) = nullptr;
};

} // namespace
