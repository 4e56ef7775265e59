#include "unix/pool/listeners.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/unix/reserved_port.h"
#include "tests/unix/test_support.h"
#include "unix/config/daemonsettings.h"
#include "unix/daemon/pidfile.h"
#include "unix/protocol/signalflags.h"

namespace {

class ListenersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        LogToScratch(dir);
        MakeSpecLists();
        snprintf(PidFile, sizeof PidFile, "%s", (dir / "tarvod.pid").c_str());
    }
    void TearDown() override {
        CloseListeners(1, 1);
        FreeSpecLists();
    }
    std::string Log() const { return ReadFile(dir / "log"); }
    // The message with its arguments as the log shows it.
    static std::string Text(uint32_t n, const char* a, const char* b = nullptr) {
        char text[512];
        snprintf(text, sizeof text, MessageText(n), a, b);
        return text;
    }

    ScratchDir dir;
};

bool IsSocketFile(const std::string& path, mode_t* mode = nullptr) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
    if (mode) *mode = st.st_mode & 0777;
    return true;
}

TEST_F(ListenersTest, UnixListenerHasItsModeAndIsSharedSafely) {
    const std::string path = dir / "s";
    AddUnixSpec(path, 0640);
    ASSERT_EQ(0, OpenListeningSockets(1));
    ASSERT_EQ(1u, Listeners.Count());
    ListeningSocket* s = Listeners.At(0);
    mode_t mode = 0;
    ASSERT_TRUE(IsSocketFile(path, &mode));
    EXPECT_EQ(0640u, mode);
    EXPECT_TRUE(s->Ready());
    EXPECT_TRUE(fcntl(s->GetFd(), F_GETFL) & O_NONBLOCK);
    EXPECT_TRUE(fcntl(s->GetFd(), F_GETFD) & FD_CLOEXEC);
    const int client = ConnectUnix(path);
    EXPECT_GE(client, 0);
    close(client);
    char name[kSocketNameSize];
    EXPECT_STREQ(path.c_str(), s->Name(name, sizeof name));
}

TEST_F(ListenersTest, StaleSocketFileIsReplaced) {
    const std::string path = dir / "stale";
    const int old = ListenUnix(path);
    ASSERT_GE(old, 0);
    close(old); // a crashed daemon leaves its socket file behind
    ASSERT_TRUE(IsSocketFile(path));
    AddUnixSpec(path, 0666);
    ASSERT_EQ(0, OpenListeningSockets(1));
    EXPECT_EQ(1u, Listeners.Count());
    const int client = ConnectUnix(path);
    EXPECT_GE(client, 0);
    close(client);
}

// What is at the path stays untouched, and only that configured socket is lost.
TEST_F(ListenersTest, PathInUseIsLeftAlone) {
    const std::string live = dir / "live";
    const std::string file = dir / "file";
    const int other = ListenUnix(live);
    ASSERT_GE(other, 0);
    ASSERT_TRUE(dir.Write("file", "not a socket"));
    AddUnixSpec(live, 0666);
    AddUnixSpec(file, 0666);
    AddUnixSpec(dir / "ok", 0666);
    ASSERT_EQ(0, OpenListeningSockets(1));
    ASSERT_EQ(1u, Listeners.Count());
    EXPECT_STREQ((dir / "ok").c_str(), Listeners.At(0)->UnixPath());

    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find(Text(114, live.c_str(), strerror(EADDRINUSE)))) << log;
    EXPECT_NE(std::string::npos, log.find(Text(114, file.c_str(), strerror(EADDRINUSE)))) << log;
    EXPECT_EQ("not a socket", ReadFile(file));
    // The other daemon still answers on its path, even after our list is gone.
    CloseListeners(1, 1);
    const int client = ConnectUnix(live);
    EXPECT_GE(client, 0);
    close(client);
    close(other);
}

TEST_F(ListenersTest, OverlongPathIsRefused) {
    const std::string path = dir / std::string(120, 'x');
    AddUnixSpec(path, 0666);
    EXPECT_EQ(-1, OpenListeningSockets(1));
    EXPECT_EQ(0u, Listeners.Count());
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find(Text(114, path.c_str(), strerror(ENAMETOOLONG)))) << log;
    EXPECT_NE(std::string::npos, log.find(MessageText(118))) << log;
    // Nothing was bound at a shortened path either.
    EXPECT_FALSE(IsSocketFile(path.substr(0, kUnixSocketPathMax)));
}

TEST_F(ListenersTest, UnresolvableHostLosesOnlyItsOwnSocket) {
    ReservedPort reserved;
    const int port = reserved.port();
    ASSERT_GT(port, 0);
    AddInetSpec(port, {UnresolvableHost(), "*127.0.0.2", "127.0.0.1"});
    ASSERT_EQ(0, OpenListeningSockets(1));
    ASSERT_EQ(1u, Listeners.Count());
    char name[kSocketNameSize];
    EXPECT_EQ("127.0.0.1:" + std::to_string(port), Listeners.At(0)->Name(name, sizeof name));
    EXPECT_TRUE(fcntl(Listeners.At(0)->GetFd(), F_GETFL) & O_NONBLOCK);
    const int client = ConnectLoopback(port);
    EXPECT_GE(client, 0);
    close(client);
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find(Text(116, UnresolvableHost()))) << log;
    EXPECT_EQ(std::string::npos, log.find("127.0.0.2")) << log;
}

TEST_F(ListenersTest, PortOutsideSixteenBitsIsRefused) {
    ReservedPort reserved;
    const int port = reserved.port();
    ASSERT_GT(port, 0);
    AddInetSpec(port + 65536, {"127.0.0.1"});
    EXPECT_EQ(-1, OpenListeningSockets(1));
    EXPECT_EQ(-1, ConnectLoopback(port));
}

TEST_F(ListenersTest, InetPortInUseIsReported) {
    ReservedPort reserved;
    const int port = reserved.port();
    AddInetSpec(port, {"127.0.0.1"});
    ASSERT_EQ(0, OpenListeningSockets(1));
    CloseListeners(0, 0);
    // Taken by another listener (that, like the reservation, allows a second bind before a listen).
    const int other = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ASSERT_EQ(0, setsockopt(other, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, listen(other, 1));
    EXPECT_EQ(-1, OpenListeningSockets(1));
    const std::string name = "127.0.0.1:" + std::to_string(port);
    EXPECT_NE(std::string::npos, Log().find(Text(114, name.c_str(), strerror(EADDRINUSE)))) << Log();
    close(other);
}

// A listener removes only the socket file that its own bind made; a client connection never removes
// the path that its address names.
TEST_F(ListenersTest, OnlyTheOwnSocketFileIsRemoved) {
    const std::string path = dir / "s";
    AddUnixSpec(path, 0666);
    ASSERT_EQ(0, OpenListeningSockets(1));
    CloseListeners(1, 1);
    EXPECT_FALSE(IsSocketFile(path));

    ASSERT_EQ(0, OpenListeningSockets(1));
    ASSERT_EQ(0, unlink(path.c_str()));
    const int other = ListenUnix(path); // another daemon took the path since
    ASSERT_GE(other, 0);
    CloseListeners(1, 1);
    EXPECT_TRUE(IsSocketFile(path));

    const std::string peer = dir / "peer";
    const int peerListener = ListenUnix(peer);
    ASSERT_GE(peerListener, 0);
    int pair[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        snprintf(address.sun_path, sizeof address.sun_path, "%s", peer.c_str());
        SocketBase connection(kSocketUnix);
        connection.Attach(pair[0], reinterpret_cast<sockaddr*>(&address), sizeof address);
        connection.Close(1, 1);
        SocketBase destroyed(kSocketUnix);
        destroyed.Attach(pair[1], reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    EXPECT_EQ(-1, fcntl(pair[0], F_GETFD));
    EXPECT_EQ(-1, fcntl(pair[1], F_GETFD));
    EXPECT_TRUE(IsSocketFile(peer));
    close(peerListener);
    close(other);
}

TEST_F(ListenersTest, SocketOperationsReportErrors) {
    SocketBase s(kSocketInet);
    EXPECT_EQ(EBADF, s.Listen(5));
    EXPECT_EQ(EBADF, s.ErrorCode());
    EXPECT_STREQ(strerror(EBADF), s.ErrorText());
    EXPECT_EQ(EBADF, s.AddFlags(O_NONBLOCK));
    EXPECT_EQ(EBADF, s.SetOption(SO_REUSEADDR));
    EXPECT_EQ(EBADF, s.Bind(nullptr));
    EXPECT_EQ(7, s.SetError(7, "seven"));
    EXPECT_STREQ("seven", s.ErrorText());
    s.ClearError();
    EXPECT_EQ(0, s.ErrorCode());
    EXPECT_STREQ("", s.ErrorText());
    EXPECT_EQ(-1, s.SetUnixPath(std::string(kUnixSocketPathMax + 1, 'p').c_str()));
    EXPECT_EQ(0, s.SetUnixPath(std::string(kUnixSocketPathMax, 'p').c_str()));
}

TEST_F(ListenersTest, PidFileListsPidAndSockets) {
    ReservedPort reserved;
    const int port = reserved.port();
    AddUnixSpec(dir / "s", 0666);
    AddInetSpec(port, {"127.0.0.1"});
    ASSERT_EQ(0, OpenListeningSockets(1));
    const std::string pidPath = dir / "tarvod.pid";
    ASSERT_EQ(0, WritePidFile(pidPath.c_str(), 1234));
    EXPECT_EQ("1234\n" + (dir / "s") + "\n127.0.0.1:" + std::to_string(port) + "\n", ReadFile(pidPath));
    EXPECT_EQ(-1, WritePidFile((dir / "missing/tarvod.pid").c_str(), 1234));
    RemovePidFile();
    EXPECT_NE(0, access(pidPath.c_str(), F_OK));
}

// A reload: the lists are built again from the configuration, then reconciled with what is open.
class ReconcileTest : public ListenersTest {
protected:
    void SetUp() override {
        ListenersTest::SetUp();
        port = reserved.port();
        ASSERT_GT(port, 0);
        Configure(0666);
        ASSERT_EQ(0, OpenListeningSockets(1));
        ASSERT_EQ(2u, Listeners.Count());
        ExpandedPidFile(pidPath);
        ASSERT_EQ(0, WritePidFile(pidPath, 1));
        ReloadFlag = 1;
    }
    // The flag is process-wide: left set, it makes the pool's master of a later test ignore
    // children that stopped answering.
    void TearDown() override {
        ReloadFlag = 0;
        ListenersTest::TearDown();
    }
    void Configure(uint32_t mode) {
        FreeSpecLists();
        MakeSpecLists();
        AddUnixSpec(dir / "s", mode);
        AddInetSpec(port, {"127.0.0.1"});
    }

    ReservedPort reserved;
    int port = 0;
    char pidPath[kPathBufSize] = {};
};

TEST_F(ReconcileTest, NothingChangedKeepsEverything) {
    ListeningSocket* unixSocket = Listeners.At(0);
    ListeningSocket* inetSocket = Listeners.At(1);
    const int unixFd = unixSocket->GetFd();
    Configure(0666);
    ASSERT_EQ(0, ReconcileListeners(pidPath));
    ASSERT_EQ(2u, Listeners.Count());
    EXPECT_EQ(unixSocket, Listeners.At(0));
    EXPECT_EQ(inetSocket, Listeners.At(1));
    EXPECT_EQ(unixFd, Listeners.At(0)->GetFd());
    EXPECT_EQ("1\n", ReadFile(pidPath).substr(0, 2)); // not rewritten
    EXPECT_EQ(1, ReloadFlag);
    const int client = ConnectUnix(dir / "s");
    EXPECT_GE(client, 0);
    close(client);
}

TEST_F(ReconcileTest, NewModeReopensTheSocket) {
    ListeningSocket* inetSocket = Listeners.At(0)->Type() == kSocketInet ? Listeners.At(0) : Listeners.At(1);
    Configure(0600);
    ASSERT_EQ(0, ReconcileListeners(pidPath));
    ASSERT_EQ(2u, Listeners.Count());
    EXPECT_EQ(inetSocket, Listeners.At(0));
    mode_t mode = 0;
    ASSERT_TRUE(IsSocketFile(dir / "s", &mode));
    EXPECT_EQ(0600u, mode);
    EXPECT_TRUE(Listeners.At(1)->Ready());
    const std::string pid = std::to_string(getpid()) + "\n";
    EXPECT_EQ(pid + "127.0.0.1:" + std::to_string(port) + "\n" + (dir / "s") + "\n", ReadFile(pidPath));
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find(std::string(MessageText(110)) + ":")) << log;
}

TEST_F(ReconcileTest, DroppedSocketIsClosedAndLeavesThePidFile) {
    FreeSpecLists();
    MakeSpecLists();
    AddInetSpec(port, {"127.0.0.1"});
    ASSERT_EQ(0, ReconcileListeners(pidPath));
    ASSERT_EQ(1u, Listeners.Count());
    EXPECT_FALSE(IsSocketFile(dir / "s"));
    EXPECT_EQ(std::to_string(getpid()) + "\n127.0.0.1:" + std::to_string(port) + "\n", ReadFile(pidPath));
}

TEST_F(ReconcileTest, MovedPidFileIsWrittenAndTheOldOneRemoved) {
    Configure(0666);
    snprintf(PidFile, sizeof PidFile, "%s", (dir / "new.pid").c_str());
    ASSERT_EQ(0, ReconcileListeners(pidPath));
    EXPECT_NE(0, access(pidPath, F_OK));
    EXPECT_EQ(std::to_string(getpid()) + "\n",
              ReadFile(dir / "new.pid").substr(0, std::to_string(getpid()).size() + 1));
}

TEST_F(ReconcileTest, NothingConfiguredFails) {
    FreeSpecLists();
    MakeSpecLists();
    EXPECT_EQ(-1, ReconcileListeners(pidPath));
    EXPECT_EQ(0, ReloadFlag);
    EXPECT_EQ(0u, Listeners.Count());
    EXPECT_NE(std::string::npos, Log().find(MessageText(118)));
}

} // namespace
