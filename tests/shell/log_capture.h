// The log writer sending its lines to a list instead of syslog, with the
// console closed and the messages loaded; settings come back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/consolevideo.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "base/outputmode.h"

namespace {

std::vector<std::string>& LoggedLines() {
    static std::vector<std::string> lines;
    return lines;
}

void CaptureLine(int, const char*, const char* line) {
    LoggedLines().push_back(line);
}

class LogCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedSend = LogSyslogSend;
        savedSyslog = LogToSyslog;
        savedToFile = LogToFile;
        savedConsole = ConsoleActive;
        savedMode = OutputMode;
        if (!MessageCatalogue) {
            ASSERT_EQ(1, CreateMessageCatalogue());
        }
        CloseConsoleVideo();
        ClearLogBuffers();
        LogSyslogSend = CaptureLine;
        LogToSyslog = 1;
        LogToFile = 1;
        ConsoleActive = 1;
        OutputMode = OutputModeTerminal;
        LoggedLines().clear();
    }
    void TearDown() override {
        CloseConsoleVideo();
        ClearLogBuffers();
        LogSyslogSend = savedSend;
        LogToSyslog = savedSyslog;
        LogToFile = savedToFile;
        ConsoleActive = savedConsole;
        OutputMode = savedMode;
    }
    static const std::vector<std::string>& Lines() { return LoggedLines(); }

private:
    void (*savedSend)(int, const char*, const char*) = nullptr;
    int savedSyslog = 0, savedToFile = 0, savedConsole = 0, savedMode = 0;
};

} // namespace
