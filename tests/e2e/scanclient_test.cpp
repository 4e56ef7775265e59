// tarvo-scan, the built program, against a stand-in daemon that answers each file with the result
// word the file asks for: what it prints and the exit status it sums the answers up in.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "daemon_process.h"
#include "tests/base/scratch_dir.h"
#include "wire_client.h"

namespace {

using e2e::ReadFile;

bool ReadExactly(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadWord(int fd, uint32_t& word) {
    if (!ReadExactly(fd, &word, sizeof word)) return false;
    word = ntohl(word);
    return true;
}

// Serves scan requests: a file whose contents are "RESULT hex" is answered with that word (and the
// empty lists asked for); "CLOSE" closes the connection without an answer.
void ServeConnection(int fd) {
    for (;;) {
        uint32_t command = 0, options = 0, nameLength = 0, size = 0;
        if (!ReadWord(fd, command) || command != 1 || !ReadWord(fd, options) || !ReadWord(fd, nameLength))
            return;
        std::string name(nameLength, '\0'), data;
        if (!ReadExactly(fd, &name[0], nameLength) || !ReadWord(fd, size)) return;
        data.resize(size);
        if (size > 0 && !ReadExactly(fd, &data[0], size)) return;
        if (data.rfind("CLOSE", 0) == 0) return;
        std::string reply;
        const auto word = [&](uint32_t w) {
            const uint32_t wire = htonl(w);
            reply.append(reinterpret_cast<const char*>(&wire), sizeof wire);
        };
        word(static_cast<uint32_t>(strtoul(data.c_str() + strlen("RESULT "), nullptr, 16)));
        if (options & 1) word(0);
        if (options & 2) word(0);
        if (write(fd, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) return;
    }
}

class ScanClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        socket_ = dir_ / "s";
        const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        strcpy(address.sun_path, socket_.c_str());
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(listen(listener, 8), 0);
        server_ = fork();
        if (server_ == 0) {
            for (;;) {
                const int fd = accept(listener, nullptr, nullptr);
                if (fd < 0) _exit(0);
                ServeConnection(fd);
                close(fd);
            }
        }
        close(listener);
    }
    void TearDown() override {
        if (server_ > 0) {
            kill(server_, SIGKILL);
            waitpid(server_, nullptr, 0);
        }
    }

    // A file of the scratch folder asking for `contents`.
    std::string File(const std::string& name, const std::string& contents) {
        EXPECT_TRUE(dir_.Write(name, contents));
        return dir_ / name;
    }

    // tarvo-scan with these arguments after the socket: its exit status, its output in `out`.
    int Run(const std::vector<std::string>& files, std::string& out) {
        std::string command =
            std::string(TARVOD_EMULATOR) + " '" + TARVO_BINARY_DIR "/tools/tarvo-scan' '" + socket_ + "'";
        for (const std::string& f : files) command += " '" + f + "'";
        command += " >'" + (dir_ / "out") + "' 2>&1";
        const int status = system(command.c_str());
        out = ReadFile(dir_ / "out");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ScratchDir dir_;
    std::string socket_;
    pid_t server_ = -1;
};

TEST_F(ScanClientTest, ExitStatusSumsUpTheAnswers) {
    const std::string clean = File("clean", "RESULT 100000");
    const std::string infected = File("infected", "RESULT 20");
    const std::string suspicious = File("suspicious", "RESULT 100040");
    const std::string rejected = File("rejected", "RESULT 20000");
    const std::string unreadable = File("unreadable", "RESULT 100001"); // nothing found, a read error
    const std::string skipped = File("skipped", "RESULT 101000");
    const std::string protectedArchive = File("protected", "RESULT 40100000");
    const std::string noVerdict = File("noverdict", "RESULT 0");
    const std::string dropped = File("dropped", "CLOSE");
    const std::string empty = File("empty", "");
    struct Case {
        std::vector<std::string> files;
        int status;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{clean}, 0, "clean: clean"},
        {{empty, clean}, 0, "empty: clean (empty)"},
        {{infected}, 1, "infected: infected"},
        {{suspicious}, 1, "suspicious: suspicious"},
        {{rejected}, 1, "rejected: rejected"},
        {{unreadable}, 2, "unreadable: not scanned whole: read error"},
        {{skipped}, 2, "skipped: not scanned whole: skipped"},
        {{protectedArchive}, 2, "protected by a password"},
        {{noVerdict}, 2, "noverdict: no verdict"},
        {{clean, dir_ / "missing"}, 2, "cannot read"},
        {{unreadable, infected}, 1, "infected: infected"},
        {{infected, unreadable, clean}, 1, "unreadable: not scanned whole"},
        // The daemon drops the connection: that file is an error, the next one is scanned again.
        {{dropped, clean}, 2, "clean: clean"},
        {{dropped, infected}, 1, "infected: infected"},
    };
    for (const Case& c : cases) {
        std::string out;
        const int status = Run(c.files, out);
        SCOPED_TRACE(out);
        EXPECT_EQ(status, c.status);
        EXPECT_NE(out.find(c.says), std::string::npos);
    }
}

TEST_F(ScanClientTest, UsageAndUnreachableDaemon) {
    std::string out;
    const std::string help = std::string(TARVOD_EMULATOR) + " '" +
                             TARVO_BINARY_DIR "/tools/tarvo-scan' --help >'" + (dir_ / "out") + "'";
    EXPECT_EQ(system(help.c_str()), 0);
    EXPECT_NE(ReadFile(dir_ / "out").find("Exit status: 0"), std::string::npos);
    EXPECT_EQ(Run({}, out), 2) << out;
    socket_ = dir_ / "nobody";
    EXPECT_EQ(Run({File("clean", "RESULT 100000")}, out), 2) << out;
    EXPECT_NE(out.find("cannot connect"), std::string::npos) << out;
}

} // namespace
