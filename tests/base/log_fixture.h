// A log writer set to write into a scratch file, with a fixed clock and
// syslog captured; every setting comes back to its default afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/consolevideo.h"
#include "base/logwriter.h"
#include "base/outputmode.h"
#include "base/tvlist.h"
#include "scratch_dir.h"

namespace {

struct SyslogCall {
    int priority;
    std::string prefix;
    std::string line;
};

std::vector<SyslogCall>& SyslogCalls() {
    static std::vector<SyslogCall> calls;
    return calls;
}

void CaptureSyslog(int priority, const char* prefix, const char* line) {
    SyslogCalls().push_back({priority, prefix, line});
}

// 2009-02-13 23:31:30 UTC.
time_t FixedClock() {
    return 1234567890;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        const char* tz = std::getenv("TZ");
        hadTz_ = tz != nullptr;
        if (tz) savedTz_ = tz;
        setenv("TZ", "UTC0", 1);
        tzset();
        Defaults();
        LogToSyslog = 0;
        LogTime = 0;
        SetLogPath(LogPath());
        LogClock = FixedClock;
        LogSyslogSend = CaptureSyslog;
        SyslogCalls().clear();
    }
    void TearDown() override {
        Defaults();
        if (hadTz_)
            setenv("TZ", savedTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    static void Defaults() {
        CloseConsoleVideo();
        ClearLogBuffers();
        LogLineList.Clear();
        LogToFile = 1;
        LogToSyslog = 1;
        SetLogPath("/var/tarvo/log/tarvo.log");
        SyslogFacility = 24;
        SyslogPriority = 1;
        LogTime = 1;
        LimitLog = 0;
        MaxLogSize = 512;
        LogEncoding = LogEncodingKoi8R;
        LogClientType = 0;
        RunningAsDaemon = 0;
        ConsoleActive = 1;
        RecordLineSwitch = 0;
        CollectReportLines = 0;
        OutputMode = OutputModeTerminal;
        LogLockWaitSeconds = 2;
        LogClock = DefaultClock();
        LogSyslogSend = DefaultSyslog();
    }

    static void SetLogPath(const std::string& path) {
        std::snprintf(LogFileName, sizeof LogFileName, "%s", path.c_str());
    }

    std::string LogPath() const { return dir_ / "tarvo.log"; }

    std::string ReadFile(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string Log() const { return ReadFile(LogPath()); }

    static std::vector<std::string> ReportLines() {
        std::vector<std::string> lines;
        for (void* p = LogLineList.First(); p; p = LogLineList.Next())
            lines.emplace_back(static_cast<char*>(p));
        return lines;
    }

    ScratchDir dir_;

private:
    // What the writer starts with, taken before any test replaces it.
    static time_t (*DefaultClock())() {
        static time_t (*clock)() = LogClock;
        return clock;
    }
    static void (*DefaultSyslog())(int, const char*, const char*) {
        static void (*send)(int, const char*, const char*) = LogSyslogSend;
        return send;
    }

    bool hadTz_ = false;
    std::string savedTz_;
};

} // namespace
