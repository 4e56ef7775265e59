// A serving child for the scan request tests: the stand-in engine with the demo base is started once,
// then every exchange forks a child that serves one connection with the daemon's commands.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/logwriter.h"
#include "shell/settings/scankeys.h"
#include "shell/scan/scanstop.h"
#include "tests/base/scratch_dir.h"
#include "tests/unix/engine_fixture.h"
#include "tests/unix/peer.h"
#include "unix/config/daemonsettings.h"
#include "unix/protocol/dispatch.h"
#include "unix/protocol/protocolsettings.h"

namespace {

inline std::string Reversed(std::string text) {
    return std::string(text.rbegin(), text.rend());
}
// Signatures of the demo base, spelled here so that no test file holds them.
inline std::string Eicar() {
    return Reversed("*H+H$!ELIF-TSET-SURIVITNA-DRADNATS-RACIE$}7)CC7)^P(45XZP\\4[PA@%P!O5X");
}
inline std::string Signature(const char* what) {
    return std::string("TARVO-TEST-") + what;
}

// The string unit: length with the NUL, the text, the NUL.
inline std::string String(const std::string& text) {
    return Word(static_cast<uint32_t>(text.size() + 1)) + text + std::string(1, '\0');
}
inline std::string List(const std::vector<std::string>& texts) {
    std::string out = Word(static_cast<uint32_t>(texts.size()));
    for (const std::string& text : texts) out += String(text);
    return out;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the client saw of one connection.
struct Exchange {
    std::string reply;
    int lastResult = 0; // what the dispatcher returned last
    std::string log;    // the server's log lines
};

class ScanServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { engine_ = new StandInEngine; }
    static void TearDownTestSuite() {
        delete engine_;
        engine_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(engine_, nullptr);
        ASSERT_GT(engine_->Records(), 0u);
        ASSERT_FALSE(dir.path().empty());
        tempDir = dir / "tmp";
        ASSERT_EQ(mkdir(tempDir.c_str(), 0700), 0);
        logFile = dir / "tarvo.log";
    }

    // Runs the serving loop in a child on the request bytes, sent by another child, until the
    // dispatcher closes the connection. setup runs in the serving child first.
    Exchange Serve(const std::string& request, const std::function<void()>& setup = nullptr) {
        SocketPair pair;
        const pid_t server = fork();
        if (server == 0) {
            close(pair.theirs);
            ChildSettings();
            if (setup) setup();
            int result;
            while ((result = DispatchCommand(pair.ours, false)) > 0) {
            }
            close(pair.ours);
            _exit(-result);
        }
        const pid_t writer = fork();
        if (writer == 0) {
            close(pair.ours);
            signal(SIGPIPE, SIG_IGN);
            PeerWrite(pair.theirs, request);
            shutdown(pair.theirs, SHUT_WR); // the server sees the end of the request, the reply still flows
            _exit(0);
        }
        pair.CloseOurs();
        Exchange out;
        out.reply = PeerReadAll(pair.theirs);
        out.lastResult = -WaitPeer(server);
        WaitPeer(writer);
        out.log = TakeLog();
        return out;
    }

    // The settings of a serving child: the log in logFile, without times, and the temporary folder.
    void ChildSettings() const {
        SocketTimeout = 5;
        FileTimeout = 30;
        LogToFile = 1;
        LogToSyslog = 0;
        snprintf(LogFileName, sizeof LogFileName, "%s", logFile.c_str());
        LogTime = 0;
        RunningAsDaemon = 1;
        LogProcessInfo = 0;
        CollectReportLines = 1;
        LogScanned = 1;
        LogInfected = 1;
        UseDiskForSwap = 1;
        snprintf(TempPath, sizeof TempPath, "%s", tempDir.c_str());
    }

    // The log the child wrote; removed, so that the next exchange starts a new one.
    std::string TakeLog() const {
        std::string log = ReadWholeFile(logFile);
        unlink(logFile.c_str());
        return log;
    }

    // The files left in the temporary folder.
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> names;
        if (DIR* d = opendir(tempDir.c_str())) {
            while (const dirent* e = readdir(d))
                if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }

    static StandInEngine* engine_;
    ScratchDir dir;
    std::string tempDir;
    std::string logFile;
};

StandInEngine* ScanServerTest::engine_ = nullptr;

// The words of a scan request with data: OPT1, then the name and the data.
inline std::string DataRequest(uint32_t opt1, const std::string& name, const std::string& data) {
    return Word(1) + Word(opt1) + String(name) + Word(static_cast<uint32_t>(data.size())) + data;
}
// The same for a path on the server (size 0).
inline std::string PathRequest(uint32_t opt1, const std::string& path) {
    return Word(1) + Word(opt1) + String(path) + Word(0);
}
inline std::string Close() {
    return Word(0xFFFFFFFF);
}

} // namespace
