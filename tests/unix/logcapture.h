#pragma once
// Captures the lines the log writer sends, for tests that check the daemon's messages.

#include <string>
#include <vector>

#include "base/logwriter.h"
#include "base/messages.h"
#include "unix/protocol/protocolsettings.h"

inline std::vector<std::string>& CapturedLogLines() {
    static std::vector<std::string> lines;
    return lines;
}

inline void CaptureLogLine(int, const char* prefix, const char* line) {
    CapturedLogLines().push_back(std::string(prefix) + line);
}

// While it lives, log lines go to CapturedLogLines() instead of syslog or the console, and carry no
// process prefix.
class LogCapture {
public:
    LogCapture()
        : send_(LogSyslogSend), syslog_(LogToSyslog), daemon_(RunningAsDaemon), processInfo_(LogProcessInfo) {
        if (MessageCatalogue == nullptr) CreateMessageCatalogue();
        LogSyslogSend = CaptureLogLine;
        LogToSyslog = 1;
        RunningAsDaemon = 1;
        LogProcessInfo = 0;
        ClearLogBuffers();
        CapturedLogLines().clear();
    }
    ~LogCapture() {
        LogSyslogSend = send_;
        LogToSyslog = syslog_;
        RunningAsDaemon = daemon_;
        LogProcessInfo = processInfo_;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    const std::vector<std::string>& Lines() const { return CapturedLogLines(); }

private:
    void (*send_)(int, const char*, const char*);
    int syslog_;
    int daemon_;
    int processInfo_;
};
