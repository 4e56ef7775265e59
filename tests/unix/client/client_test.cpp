// The client library: connecting, and its requests against fake servers.

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/un.h>
#include <vector>

#include "tests/unix/peer.h"
#include "unix/client/tvclientrequest.h"
#include "unix/client/tvclientscan.h"
#include "unix/client/tvclientwire.h"
#include "unix/client/tvconnect.h"

namespace {

std::string Text(const std::string& s) {
    return Word(static_cast<uint32_t>(s.size())) + s;
}

// A string as the daemon sends and reads it: its length with the NUL, the bytes and the NUL.
std::string DaemonText(const std::string& s) {
    return Word(static_cast<uint32_t>(s.size() + 1)) + s + std::string(1, '\0');
}

// A temporary folder with a listening Unix socket in it.
class UnixListener {
public:
    UnixListener() {
        char dirTemplate[] = "/tmp/tarvo-client-XXXXXX";
        dir_ = mkdtemp(dirTemplate);
        path_ = dir_ + "/s";
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un sun{};
        sun.sun_family = AF_UNIX;
        strcpy(sun.sun_path, path_.c_str());
        bind(fd_, reinterpret_cast<sockaddr*>(&sun), sizeof sun);
        listen(fd_, 4);
    }
    ~UnixListener() {
        close(fd_);
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }
    const std::string& Path() const { return path_; }

private:
    std::string dir_;
    std::string path_;
    int fd_ = -1;
};

TEST(ClientConnectTest, NeverOpenedConnectionHoldsMinusOne) {
    const DaemonConnection connection;
    EXPECT_EQ(connection.fd, -1);
    EXPECT_EQ(connection.timeout, 0u);
}

TEST(ClientConnectTest, UnixAddressIgnoresCaseOfThePrefixAndStaysNonBlocking) {
    const UnixListener listener;
    for (const char* prefix : {"local:", "LOCAL:"}) {
        DaemonConnection connection;
        const std::string address = prefix + listener.Path();
        ASSERT_GE(ConnectToDaemon(connection, address.c_str(), 5), 0) << ClientErrorText;
        EXPECT_EQ(connection.timeout, 5u);
        EXPECT_STREQ(ClientErrorText, "");
        EXPECT_NE(fcntl(connection.fd, F_GETFL) & O_NONBLOCK, 0);
        close(connection.fd);
    }
}

TEST(ClientConnectTest, InetAddressOnLoopback) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&sin), sizeof sin), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    socklen_t length = sizeof sin;
    getsockname(listener, reinterpret_cast<sockaddr*>(&sin), &length);
    const std::string address = "inet:" + std::to_string(ntohs(sin.sin_port)) + "@127.0.0.1";

    DaemonConnection connection;
    ASSERT_GE(ConnectToDaemon(connection, address.c_str(), 0), 0) << ClientErrorText;
    EXPECT_NE(fcntl(connection.fd, F_GETFL) & O_NONBLOCK, 0);
    close(connection.fd);
    close(listener);

    // Nobody listens there any more.
    DaemonConnection refused;
    EXPECT_EQ(ConnectToDaemon(refused, address.c_str(), 5), -1);
    EXPECT_EQ(refused.fd, -1);
    EXPECT_EQ(std::string(ClientErrorText),
              "cannot connect to inet address " + std::to_string(ntohs(sin.sin_port)) + "@127.0.0.1");
}

TEST(ClientConnectTest, EveryFailureLeavesItsText) {
    const std::string service32(32, '1');
    const std::string longPath = "local:/tmp/" + std::string(200, 'p');
    struct Case {
        std::string address;
        std::string error; // exact text, or a prefix when it ends in '*'
    };
    const std::vector<Case> cases = {
        {"tcp:3000@localhost", "unknown address format"},
        {"inet:", "unknown address format"},
        {"inet:3000", "bad inet address format \"inet:3000\""},
        {"inet:" + service32 + "@127.0.0.1", "bad inet service format \"" + service32 + "\""},
        {"inet:no-such-service-here@127.0.0.1", "*"},
        {"local:x", "bad unix address format \"local:x\""},
        {longPath, "unix socket path too long*"},
        {"local:/nonexistent/tarvo.sock",
         "error in call connect() for unix socket: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        DaemonConnection connection;
        connection.fd = 99; // a stale value must not survive a failed connect
        strcpy(ClientErrorText, "old");
        EXPECT_EQ(ConnectToDaemon(connection, c.address.c_str(), 1), -1);
        EXPECT_EQ(connection.fd, -1);
        const std::string got = ClientErrorText;
        EXPECT_NE(got, "");
        EXPECT_NE(got, "old");
        if (c.error.back() == '*')
            EXPECT_EQ(got.substr(0, c.error.size() - 1), c.error.substr(0, c.error.size() - 1));
        else
            EXPECT_EQ(got, c.error);
    }
}

// A fake server: checks the request bytes it receives, sends its canned answer, then either closes
// (EOF for the client) or waits until the client closes.
struct ServerCase {
    const char* name;
    std::string answer;
    bool hangUp;       // close right after the answer
    const char* error; // expected error text, null for success
};

class ClientRequestTest : public ::testing::Test {
protected:
    void SetUp() override { signal(SIGPIPE, SIG_DFL); } // a write to a gone server must not kill us

    // Runs `request` against a server that expects `request bytes` and answers `answer`.
    template <typename Request>
    void Serve(const std::string& expected, const ServerCase& c, Request request, unsigned timeout = 5) {
        SocketPair pair;
        const pid_t peer = StartPeer(pair, [&](int fd) {
            const bool same = PeerRead(fd, expected.size()) == expected;
            PeerWrite(fd, c.answer);
            if (!c.hangUp) PeerReadAll(fd);
            return same ? 0 : 1;
        });
        DaemonConnection connection;
        connection.fd = pair.ours;
        connection.timeout = timeout;
        request(connection);
        pair.CloseOurs();
        EXPECT_EQ(WaitPeer(peer), 0) << "request bytes differ";
    }
};

TEST_F(ClientRequestTest, StringLists) {
    const std::vector<ServerCase> cases = {
        {"two texts", Word(2) + Text("abc") + Text(""), false, nullptr},
        {"empty list", Word(0), false, nullptr},
        {"no answer at all", "", false, ClientErrorNoResponse},
        {"end in the middle of a text", Word(2) + Text("abc") + Word(5) + "ab", true, ClientErrorNoResponse},
        {"end in the middle of the count", "\x00\x00", true, ClientErrorNoResponse},
        {"huge count", Word(0xFFFFFFFF), false, ClientErrorInvalidCode},
        {"count above the cap", Word(kClientMaxItems + 1), false, ClientErrorInvalidCode},
        {"huge text length", Word(1) + Word(0xFFFFFFFF), false, ClientErrorInvalidCode},
    };
    for (const ServerCase& c : cases) {
        for (const bool listA : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (listA ? " (A)" : " (B)"));
            Serve(
                Word(listA ? 0x2007 : 0x2006), c,
                [&](DaemonConnection& connection) {
                    const char* error = "stale";
                    const std::optional<StringArray> got =
                        listA ? QueryStringListA(connection, &error) : QueryStringListB(connection, &error);
                    EXPECT_EQ(error, c.error);
                    ASSERT_EQ(got.has_value(), c.error == nullptr);
                    if (got && got->Count() == 2) {
                        EXPECT_STREQ(got->Item(0), "abc");
                        EXPECT_STREQ(got->Item(1), "");
                        EXPECT_EQ(got->Item(2), nullptr);
                    }
                },
                1);
        }
    }
}

TEST_F(ClientRequestTest, Pairs) {
    const std::string request = Word(0x2003) + Word(1) + Word(77) + Text("abc") + Word(4242);
    const std::string head = Word(2) + Word(1);
    const std::vector<ServerCase> cases = {
        {"two pairs", head + Word(2) + Text("name") + Text("value") + Text("n2") + Text(""), false, nullptr},
        {"no pairs", head + Word(0), false, nullptr},
        {"wrong first code", Word(3) + Word(1) + Word(0), false, ClientErrorInvalidCode},
        {"wrong second code", Word(2) + Word(2) + Word(0), false, ClientErrorInvalidCode},
        {"end after the codes", head, true, ClientErrorNoResponse},
        {"end after a name", head + Word(1) + Text("name"), true, ClientErrorNoResponse},
        {"no answer at all", "", false, ClientErrorNoResponse},
        {"huge count", head + Word(0xFFFFFFFF), false, ClientErrorInvalidCode},
        {"huge value length", head + Word(1) + Text("n") + Word(0xFFFFFFFF), false, ClientErrorInvalidCode},
    };
    for (const ServerCase& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(
            request, c,
            [&](DaemonConnection& connection) {
                const char* error = "stale";
                const std::optional<NamePairArray> got = QueryPairsMode1(connection, 77, "abc", 4242, &error);
                EXPECT_EQ(error, c.error);
                ASSERT_EQ(got.has_value(), c.error == nullptr);
                if (got && got->Count() == 2) {
                    EXPECT_STREQ(got->Pair(0)->Name(), "name");
                    EXPECT_STREQ(got->Pair(0)->Value(), "value");
                    EXPECT_STREQ(got->Pair(1)->Name(), "n2");
                    EXPECT_STREQ(got->Pair(1)->Value(), "");
                    EXPECT_EQ(got->Pair(2), nullptr);
                }
            },
            1);
    }
}

TEST_F(ClientRequestTest, PairsWithoutPidSendOwnPidAndModeThree) {
    const std::string request =
        Word(0x2003) + Word(3) + Word(0) + Text("") + Word(static_cast<uint32_t>(getpid()));
    const ServerCase c{"mode 3", Word(2) + Word(1) + Word(0), false, nullptr};
    Serve(request, c, [](DaemonConnection& connection) {
        const char* error = "stale";
        const std::optional<NamePairArray> got = QueryPairsMode3(connection, 0, "", 0, &error);
        EXPECT_EQ(error, nullptr);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->Count(), 0);
    });
}

TEST_F(ClientRequestTest, RequestsWithoutConnectionOrServer) {
    const DaemonConnection never;
    const char* error = nullptr;
    EXPECT_FALSE(QueryStringListA(never, &error).has_value());
    EXPECT_EQ(error, ClientErrorCannotConnection);
    EXPECT_FALSE(QueryPairs(never, 1, "b", 1, 1, &error).has_value());
    EXPECT_EQ(error, ClientErrorCannotConnection);

    SocketPair gone;
    gone.CloseTheirs();
    DaemonConnection connection;
    connection.fd = gone.ours;
    connection.timeout = 1;
    EXPECT_FALSE(QueryStringListB(connection, &error).has_value());
    EXPECT_EQ(error, ClientErrorCannotConnection);
}

// Command 1 against a fake daemon: the request as the daemon reads it, and each shape of reply read
// to its end, so that a word the server sends after it (the marker) is the next thing read.
TEST_F(ClientRequestTest, ScanContents) {
    const uint32_t marker = 0x4D41524B;
    struct ScanCase {
        ServerCase server;
        uint32_t want;
        uint32_t result;
        std::vector<std::string> found, report;
    };
    const std::string lists =
        Word(1) + DaemonText("infected with EICAR") + Word(1) + DaemonText("[7] a.com infected\n");
    const std::vector<ScanCase> cases = {
        {{"clean", Word(0x100000) + Word(0) + Word(0) + Word(marker), false, nullptr}, 3, 0x100000, {}, {}},
        {{"found, with lists", Word(0x20) + lists + Word(marker), false, nullptr},
         3,
         0x20,
         {"infected with EICAR"},
         {"[7] a.com infected\n"}},
        {{"no lists asked for, other bits dropped", Word(0x100000) + Word(marker), false, nullptr},
         0xFFFFFFFC,
         0x100000,
         {},
         {}},
        {{"removed: the word 0 follows", Word(0x80120) + lists + Word(0) + Word(marker), false, nullptr},
         3,
         0x80120,
         {"infected with EICAR"},
         {"[7] a.com infected\n"}},
        {{"cured: the new contents follow", Word(0x120) + lists + Word(2) + "ok" + Word(marker), false,
          nullptr},
         3,
         0x120,
         {"infected with EICAR"},
         {"[7] a.com infected\n"}},
        {{"end within the lists", Word(0x20) + Word(2) + DaemonText("x"), true, ClientErrorNoResponse},
         3,
         0,
         {},
         {}},
        {{"end within a cured object", Word(0x120) + Word(0) + Word(0) + Word(9) + "ab", true,
          ClientErrorNoResponse},
         3,
         0,
         {},
         {}},
        {{"no answer", "", true, ClientErrorNoResponse}, 3, 0, {}, {}},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.server.name);
        const uint32_t sent = c.want == 0xFFFFFFFC ? 0 : c.want;
        Serve(
            Word(1) + Word(sent) + DaemonText("a.com") + Word(3) + "abc", c.server,
            [&](DaemonConnection& connection) {
                const char* error = "stale";
                const std::optional<ScanAnswer> got =
                    ScanContents(connection, "a.com", "abc", 3, c.want, &error);
                EXPECT_EQ(error, c.server.error);
                ASSERT_EQ(got.has_value(), c.server.error == nullptr);
                if (!got) return;
                EXPECT_EQ(got->result, c.result);
                std::vector<std::string> found, report;
                for (int i = 0; i < got->found.Count(); ++i) found.emplace_back(got->found.Item(i));
                for (int i = 0; i < got->report.Count(); ++i) report.emplace_back(got->report.Item(i));
                EXPECT_EQ(found, c.found);
                EXPECT_EQ(report, c.report);
                uint32_t next = 0;
                EXPECT_EQ(ReadWordBE(connection, next), 0);
                EXPECT_EQ(next, marker) << "the reply was not read to its end";
            },
            1);
    }
}

// Empty contents would be taken by the daemon as a path on its side: nothing is sent.
TEST_F(ClientRequestTest, ScanContentsRefusesEmptyContents) {
    SocketPair pair;
    const pid_t peer = StartPeer(pair, [](int fd) { return PeerReadAll(fd).empty() ? 0 : 1; });
    DaemonConnection connection;
    connection.fd = pair.ours;
    connection.timeout = 1;
    const char* error = nullptr;
    EXPECT_FALSE(ScanContents(connection, "a", "", 0, kScanWantFound, &error).has_value());
    EXPECT_EQ(error, ClientErrorEmptyObject);
    pair.CloseOurs();
    EXPECT_EQ(WaitPeer(peer), 0) << "bytes were sent";
}

TEST_F(ClientRequestTest, VersionText) {
    const std::vector<ServerCase> cases = {
        {"two lines", DaemonText("Tarvo\nEngine version: 1"), false, nullptr},
        {"end within the text", Word(20) + "Tar", true, ClientErrorNoResponse},
        {"huge length", Word(0xFFFFFFFF), false, ClientErrorInvalidCode},
    };
    for (const ServerCase& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(
            Word(4), c,
            [&](DaemonConnection& connection) {
                const char* error = "stale";
                const std::optional<OwnedText> got = QueryVersionText(connection, &error);
                EXPECT_EQ(error, c.error);
                ASSERT_EQ(got.has_value(), c.error == nullptr);
                if (got) {
                    EXPECT_STREQ(got->get(), "Tarvo\nEngine version: 1");
                }
            },
            1);
    }
}

TEST(ClientArraysTest, ResetFreesAndRecreates) {
    NamePairArray pairs;
    ASSERT_EQ(pairs.Reset(2), 0);
    ASSERT_EQ(pairs.Pair(0)->Set("a", "b"), 0);
    ASSERT_EQ(pairs.Reset(3), 0);
    EXPECT_EQ(pairs.Count(), 3);
    EXPECT_EQ(pairs.Pair(0)->Name(), nullptr);
    pairs.Clear();
    EXPECT_EQ(pairs.Count(), 0);
    EXPECT_EQ(pairs.Reset(-1), -1);

    StringArray texts;
    ASSERT_EQ(texts.Reset(1), 0);
    EXPECT_EQ(texts.Item(0), nullptr);
    ASSERT_EQ(texts.SetItem(0, "one"), 0);
    ASSERT_EQ(texts.SetItem(0, "two"), 0);
    EXPECT_STREQ(texts.Item(0), "two");
    EXPECT_EQ(texts.SetItem(1, "out"), -1);
}

} // namespace
