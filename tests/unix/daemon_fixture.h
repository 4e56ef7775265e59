// For the tests of the daemon's own processes: a scratch folder, the log writer writing a file there
// (helper processes log too, and only a file shows what they wrote), and waits that are bounded.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "../base/scratch_dir.h"
#include "base/logwriter.h"
#include "base/messages.h"

namespace {

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool PathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Polls until done() holds, for at most seconds; true when it held.
template <typename F> bool WaitUntil(F done, int seconds = 20) {
    for (int i = 0; i < seconds * 50; ++i) {
        if (done()) return true;
        poll(nullptr, 0, 20);
    }
    return done();
}

class DaemonFileLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        if (MessageCatalogue == nullptr) {
            ASSERT_EQ(CreateMessageCatalogue(), 1);
        }
        LoadDefaultMessages();
        saved_ = {LogToFile, LogToSyslog, LogTime, RunningAsDaemon};
        memcpy(savedPath_, LogFileName, sizeof savedPath_);
        LogToFile = 1;
        LogToSyslog = 0;
        LogTime = 0;
        RunningAsDaemon = 1;
        snprintf(LogFileName, sizeof LogFileName, "%s", LogPath().c_str());
        ClearLogBuffers();
    }
    void TearDown() override {
        ClearLogBuffers();
        LogToFile = saved_.toFile;
        LogToSyslog = saved_.toSyslog;
        LogTime = saved_.time;
        RunningAsDaemon = saved_.daemon;
        memcpy(LogFileName, savedPath_, sizeof savedPath_);
    }

    std::string LogPath() const { return dir_ / "test.log"; }
    std::string Log() const { return ReadWholeFile(LogPath()); }

    ScratchDir dir_;

private:
    struct {
        int toFile, toSyslog, time, daemon;
    } saved_{};
    char savedPath_[sizeof LogFileName];
};

} // namespace
