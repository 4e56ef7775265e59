// The service commands over the dispatcher: protocol version, base lists and version text.

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "base/messages.h"
#include "shell/engine/engines.h"
#include "shell/engine/virbase.h"
#include "tests/unix/engine_fixture.h"
#include "tests/unix/logcapture.h"
#include "tests/unix/peer.h"
#include "unix/protocol/servicecommands.h"
#include "unix/protocol/dispatch.h"
#include "unix/protocol/protocolsettings.h"
#include "unix/protocol/updatescript.h"

namespace {

// Serves the request bytes with the daemon's commands in a child process until the dispatcher closes
// the connection; everything the child answered.
std::string Serve(const std::string& request) {
    SocketPair pair;
    const pid_t server = fork();
    if (server == 0) {
        close(pair.theirs);
        SocketTimeout = 10;
        while (DispatchCommand(pair.ours, false) > 0) {
        }
        _exit(0);
    }
    pair.CloseOurs();
    EXPECT_TRUE(PeerWrite(pair.theirs, request + Word(0xFFFFFFFF)));
    const std::string reply = PeerReadAll(pair.theirs);
    EXPECT_EQ(WaitPeer(server), 0);
    return reply;
}

std::string String(const std::string& text) {
    return Word(static_cast<uint32_t>(text.size() + 1)) + text + std::string(1, '\0');
}

void AddLoadedBase(const char* path, uint32_t count, uint32_t key4) {
    LoadedBaseRecord record{};
    record.count = count;
    snprintf(record.path, sizeof record.path, "%s", path);
    record.key4 = key4;
    LoadedBaseList.Add(&record, sizeof record);
}

class ServiceCommandTest : public ::testing::Test {
protected:
    void TearDown() override {
        LoadedBaseList.Clear();
        EngineVersionText[0] = '\0';
    }
    LogCapture log;
};

TEST_F(ServiceCommandTest, ProtocolVersion) {
    EXPECT_EQ(Serve(Word(2)), Word(600));
}

TEST_F(ServiceCommandTest, NoBasesLoaded) {
    EXPECT_EQ(Serve(Word(3)), Word(0));
    EXPECT_EQ(Serve(Word(10)), Word(0));
}

TEST_F(ServiceCommandTest, BaseListsInListOrder) {
    AddLoadedBase("/var/tarvo/bases/b.vdb", 17, 0x01020304);
    AddLoadedBase("/var/tarvo/bases/a.vdb", 5, 7);
    EXPECT_EQ(Serve(Word(3)), Word(2) + String("/var/tarvo/bases/b.vdb") + Word(17) +
                                  String("/var/tarvo/bases/a.vdb") + Word(5));
    EXPECT_EQ(Serve(Word(10)), Word(2) + String("/var/tarvo/bases/b.vdb") + Word(17) + Word(0x01020304) +
                                   String("/var/tarvo/bases/a.vdb") + Word(5) + Word(7));
}

TEST_F(ServiceCommandTest, LongestBasePathIsSentWhole) {
    const std::string path = "/" + std::string(4096, 'p');
    AddLoadedBase(path.c_str(), 1, 0);
    EXPECT_EQ(Serve(Word(3)), Word(1) + String(path) + Word(1));
}

TEST_F(ServiceCommandTest, VersionText) {
    LoadDefaultMessages();
    snprintf(EngineVersionText, sizeof EngineVersionText, "%s", "1.4.2.7 <API:2.2>");
    const std::string text =
        std::string(MessageText(0)) + "\n" + MessageText(1) + "\nEngine version: 1.4.2.7 <API:2.2>";
    EXPECT_EQ(VersionReplyText(), text);
    EXPECT_EQ(Serve(Word(4)), String(text));
}

TEST_F(ServiceCommandTest, CommandsAfterEachOther) {
    EXPECT_EQ(Serve(Word(2) + Word(3) + Word(2)), Word(600) + Word(0) + Word(600));
}

// The stand-in engine with the demo base: the base list names it with the engine's record count.
TEST_F(ServiceCommandTest, BaseListOfTheStandInEngine) {
    StandInEngine engine;
    ASSERT_GT(engine.Records(), 0u);
    EXPECT_EQ(Serve(Word(3)), Word(1) + String(DemoBase()) + Word(engine.Records()));
    EXPECT_EQ(Serve(Word(4)), String(VersionReplyText()));
    EXPECT_NE(VersionReplyText().find("Engine version: 1.4.2.7 <API:2.2>"), std::string::npos);
}

// A reply that does not reach the client whole ends the connection: what is left of it on the wire
// would otherwise be read as the start of the next reply.
TEST_F(ServiceCommandTest, ReplyNotWrittenWholeEndsTheConnection) {
    const std::string longPath = "/" + std::string(4096, 'p');
    for (int i = 0; i < 64; ++i) AddLoadedBase(longPath.c_str(), 1, 0);
    const char* const savedScript = UpdateScriptPath;
    UpdateScriptPath = "/nonexistent/update.pl";
    const int savedTimeout = SocketTimeout;
    SocketTimeout = 1;
    const struct {
        const char* name;
        uint32_t command;
        bool peerGone; // else the peer is there but reads nothing
    } cases[] = {
        {"version, peer gone", 2, true},
        {"bases, peer gone", 3, true},
        {"version text, peer gone", 4, true},
        {"update script, peer gone", 9, true},
        {"bases with headers, peer gone", 10, true},
        {"bases, peer stops reading", 3, false},
        {"bases with headers, peer stops reading", 10, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SocketPair pair;
        const int small = 4096;
        setsockopt(pair.ours, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        setsockopt(pair.theirs, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        ASSERT_TRUE(PeerWrite(pair.theirs, Word(c.command)));
        if (c.peerGone) pair.CloseTheirs();
        EXPECT_LT(DispatchCommand(pair.ours, false), 1);
    }
    SocketTimeout = savedTimeout;
    UpdateScriptPath = savedScript;
}

} // namespace
