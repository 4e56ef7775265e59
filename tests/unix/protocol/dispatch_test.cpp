// The command dispatcher over a socket pair: request bytes in, reply bytes out, and whether the
// serving side closes the connection.

#include <arpa/inet.h>
#include <fstream>
#include <iterator>
#include <new>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/logwriter.h"
#include "base/messages.h"
#include "tests/unix/peer.h"
#include "unix/protocol/dispatch.h"
#include "unix/protocol/protocolsettings.h"
#include "unix/protocol/signalflags.h"
#include "unix/protocol/transfer.h"
#include "unix/protocol/wire.h"

namespace {

// A served command for the tests: answers the word 600, as the protocol version does.
int AnswerSixHundred(int fd, TimeBudget& budget, bool honourStop) {
    SendWord(htonl(600), fd, budget, false, honourStop);
    return 2;
}

// A command whose handler runs out of memory half-way.
int RunOutOfMemory(int, TimeBudget&, bool) {
    throw std::bad_alloc();
}

CommandHandler TestCommands(uint32_t code) {
    return code == 2 ? AnswerSixHundred : code == 3 ? RunOutOfMemory : nullptr;
}

struct DispatchCase {
    const char* name;
    int socketTimeout;
    int idleMs; // the client waits this long before it sends anything
    std::string request;
    bool clientCloses; // the client shuts its side down after the request
    std::string reply;
    int lastResult;       // what the dispatcher returned last
    std::string log = ""; // the server's log line, after its process prefix
};

// A temporary folder for the serving child's log file.
class LogFolder {
public:
    LogFolder() {
        char dirTemplate[] = "/tmp/tarvo-dispatch-XXXXXX";
        dir_ = mkdtemp(dirTemplate);
        path_ = dir_ + "/tarvo.log";
    }
    ~LogFolder() {
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }
    const std::string& Path() const { return path_; }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string dir_;
    std::string path_;
};

// Runs the serving loop on one end in a child: dispatch until a result below 1, then close.
// The child's exit status is the last result, negated.
pid_t StartServer(SocketPair& pair, CommandLookup lookup, int socketTimeout, const LogFolder& log) {
    const pid_t pid = fork();
    if (pid == 0) {
        close(pair.theirs);
        SocketTimeout = socketTimeout;
        CreateMessageCatalogue();
        LogToSyslog = 0;
        snprintf(LogFileName, sizeof LogFileName, "%s", log.Path().c_str());
        LogTime = 0;
        RunningAsDaemon = 1;
        LogProcessInfo = 1;
        int result;
        while ((result = DispatchCommandWith(lookup, pair.ours, false)) > 0) {
        }
        close(pair.ours);
        _exit(-result);
    }
    pair.CloseOurs();
    return pid;
}

TEST(DispatchTest, RequestsAndReplies) {
    const std::vector<DispatchCase> cases = {
        {"unknown code 6", 10, 0, Word(6), false, Word(0x8000), -2, "Unknown command received: 6!"},
        {"unknown code 0", 10, 0, Word(0), false, Word(0x8000), -2, "Unknown command received: 0!"},
        {"unknown code 8", 10, 0, Word(8), false, Word(0x8000), -2, "Unknown command received: 8!"},
        {"unknown code above 2^31", 10, 0, Word(0x80000001), false, Word(0x8000), -2,
         "Unknown command received: -2147483647!"},
        {"closing word FFFFFFFF", 10, 0, Word(0xFFFFFFFF), false, "", -1},
        {"closing word FFFFFFFE", 10, 0, Word(0xFFFFFFFE), false, "", -2},
        {"several commands on one connection", 10, 0, Word(2) + Word(2) + Word(2) + Word(0xFFFFFFFF), false,
         Word(600) + Word(600) + Word(600), -1},
        {"commands until an unknown one", 10, 0, Word(2) + Word(9), false, Word(600) + Word(0x8000), -2,
         "Unknown command received: 9!"},
        {"client closes between commands", 10, 0, Word(2), true, Word(600), -2},
        {"half a word then silence", 1, 0, std::string("\x00\x00", 2), false, "", -2,
         "Error reading from socket (timeout)! (2)"},
        {"no time limit keeps an idle connection", 0, 1500, Word(2) + Word(0xFFFFFFFF), false, Word(600), -1},
        {"a handler out of memory ends the connection, not the process", 10, 0, Word(2) + Word(3), false,
         Word(600), -1, "no memory!"},
    };
    for (const DispatchCase& c : cases) {
        SCOPED_TRACE(c.name);
        SocketPair pair;
        const LogFolder log;
        const pid_t server = StartServer(pair, TestCommands, c.socketTimeout, log);
        if (c.idleMs > 0) usleep(static_cast<useconds_t>(c.idleMs) * 1000);
        ASSERT_TRUE(PeerWrite(pair.theirs, c.request));
        if (c.clientCloses) shutdown(pair.theirs, SHUT_WR);
        // Everything until the server closes; a bound so a server that keeps the connection fails here.
        std::vector<char> reply(4096);
        TimeBudget budget = 20000;
        const TransferResult r = ReadExact(pair.theirs, reply.data(), reply.size(), budget, false);
        EXPECT_EQ(r.end, TransferEnd::kClosed) << "the server did not close the connection";
        EXPECT_EQ(std::string(reply.data(), r.done), c.reply);
        EXPECT_EQ(WaitPeer(server), -c.lastResult);
        EXPECT_EQ(log.Read(), c.log.empty() ? "" : "[" + std::to_string(server) + "] " + c.log + "\n");
    }
}

TEST(DispatchTest, DaemonAnswersAnUnknownCommand) {
    SocketPair pair;
    const LogFolder log;
    const pid_t server = StartServer(pair, FindCommandHandler, 10, log);
    ASSERT_TRUE(PeerWrite(pair.theirs, Word(0x2007)));
    EXPECT_EQ(PeerRead(pair.theirs, 4), Word(0x8000));
    EXPECT_EQ(PeerReadAll(pair.theirs), "");
    EXPECT_EQ(WaitPeer(server), 2);
    EXPECT_EQ(log.Read(), "[" + std::to_string(server) + "] Unknown command received: 8199!\n");
}

} // namespace
