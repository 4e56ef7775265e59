// The client protocol through the real pool: each command's reply, and whether the connection stays.
#include <functional>

#include "daemon_process.h"
#include "samples.h"
#include "wire_client.h"

namespace e2e {
namespace {

using ::testing::AssertionFailure;
using ::testing::AssertionResult;
using ::testing::AssertionSuccess;

// Command 1 with the object sent as data.
bool SendScan(WireClient& c, uint32_t opt1, const std::string& name, const std::string& data) {
    return c.SendWords({1, opt1}) && c.SendName(name) && c.SendWord(static_cast<uint32_t>(data.size())) &&
           c.SendBytes(data.data(), data.size());
}

// The connection still serves: command 2 answers 600.
AssertionResult StillServes(WireClient& c) {
    if (!c.SendWord(2)) return AssertionFailure() << "cannot send command 2";
    const auto w = c.ReadWord();
    if (!w || *w != 600) return AssertionFailure() << "command 2 after the case: " << (w ? *w : 0);
    return AssertionSuccess();
}

struct ProtocolCase {
    const char* name;
    std::function<AssertionResult(WireClient&, Daemon&)> exchange;
};

const ProtocolCase kCases[] = {
    {"protocol version",
     [](WireClient& c, Daemon&) -> AssertionResult {
         if (!c.SendWord(2)) return AssertionFailure() << "send";
         const auto w = c.ReadWord();
         if (!w || *w != 600) return AssertionFailure() << "version " << (w ? *w : 0);
         return StillServes(c);
     }},
    {"list of bases",
     [](WireClient& c, Daemon&) -> AssertionResult {
         if (!c.SendWord(3)) return AssertionFailure() << "send";
         const auto n = c.ReadWord();
         if (!n || *n != 2) return AssertionFailure() << "count " << (n ? *n : 0);
         for (uint32_t i = 0; i < *n; ++i) {
             const auto path = c.ReadString();
             const auto count = c.ReadWord();
             if (!path || path->rfind(TARVO_DEMO_BASE_DIR "/", 0) != 0) return AssertionFailure() << "path";
             if (!count || *count == 0) return AssertionFailure() << "record count of " << *path;
         }
         return StillServes(c);
     }},
    {"list of bases with header words",
     [](WireClient& c, Daemon&) -> AssertionResult {
         if (!c.SendWord(10)) return AssertionFailure() << "send";
         const auto n = c.ReadWord();
         if (!n || *n != 2) return AssertionFailure() << "count " << (n ? *n : 0);
         for (uint32_t i = 0; i < *n; ++i)
             if (!c.ReadString() || !c.ReadWord() || !c.ReadWord()) return AssertionFailure() << "base " << i;
         return StillServes(c);
     }},
    {"version text",
     [](WireClient& c, Daemon&) -> AssertionResult {
         if (!c.SendWord(4)) return AssertionFailure() << "send";
         const auto text = c.ReadString();
         if (!text || text->rfind("Tarvo (R) daemon for ", 0) != 0 ||
             text->find("\nEngine version: ") == std::string::npos)
             return AssertionFailure() << "text " << (text ? *text : "(none)");
         return StillServes(c);
     }},
    {"unknown command",
     [](WireClient& c, Daemon&) -> AssertionResult {
         if (!c.SendWord(6)) return AssertionFailure() << "send";
         const auto w = c.ReadWord();
         if (!w || *w != 0x8000) return AssertionFailure() << "reply " << (w ? *w : 0);
         if (!c.ClosedByPeer()) return AssertionFailure() << "left open";
         return AssertionSuccess();
     }},
    {"silent close word",
     [](WireClient& c, Daemon&) -> AssertionResult {
         if (!c.SendWord(0xFFFFFFFFu)) return AssertionFailure() << "send";
         if (!c.ClosedByPeer()) return AssertionFailure() << "not closed without a reply";
         return AssertionSuccess();
     }},
    {"clean data, no options",
     [](WireClient& c, Daemon&) -> AssertionResult {
         if (!SendScan(c, 0, "clean.txt", CleanText())) return AssertionFailure() << "send";
         const auto w = c.ReadWord();
         if (!w || *w != kNothingFoundBit) return AssertionFailure() << "result " << std::hex << (w ? *w : 0);
         return StillServes(c);
     }},
    {"EICAR data with the found list",
     [](WireClient& c, Daemon&) -> AssertionResult {
         if (!SendScan(c, 0x1, "eicar.com", Eicar())) return AssertionFailure() << "send";
         const auto w = c.ReadWord();
         if (!w || !(*w & kInfectedBit) || (*w & kNothingFoundBit))
             return AssertionFailure() << "result " << std::hex << (w ? *w : 0);
         const auto found = c.ReadList();
         if (!found || found->size() != 1 || (*found)[0].find("EICAR-Test-File") == std::string::npos)
             return AssertionFailure() << "found list";
         return StillServes(c);
     }},
    {"clean data with statistics",
     [](WireClient& c, Daemon&) -> AssertionResult {
         if (!SendScan(c, 0x4, "clean.txt", CleanText())) return AssertionFailure() << "send";
         const auto w = c.ReadWord();
         const auto k = c.ReadWord();
         const auto bit = c.ReadWord();
         const auto value = c.ReadWord();
         if (!w || *w != kNothingFoundBit || !k || *k != 1 || !bit || *bit != kNothingFoundBit || !value ||
             *value != 1)
             return AssertionFailure() << "statistics";
         return StillServes(c);
     }},
    {"server file by its path",
     [](WireClient& c, Daemon& d) -> AssertionResult {
         const std::string path = d.Path("eicar-on-server.com");
         if (!WriteFile(path, Eicar())) return AssertionFailure() << "sample";
         if (!(c.SendWords({1, 0}) && c.SendName(path) && c.SendWord(0))) return AssertionFailure() << "send";
         const auto w = c.ReadWord();
         if (!w || !(*w & kInfectedBit)) return AssertionFailure() << "result " << std::hex << (w ? *w : 0);
         return StillServes(c);
     }},
};

TEST(ProtocolTest, EveryCommandThroughThePool) {
    Daemon d;
    ASSERT_TRUE(d.StartDaemon());
    for (const ProtocolCase& c : kCases) {
        SCOPED_TRACE(c.name);
        WireClient client;
        ASSERT_TRUE(client.Connect(d.SocketPath()));
        EXPECT_TRUE(c.exchange(client, d));
    }
    EXPECT_TRUE(Alive(d.Master()));
    EXPECT_EQ(d.Stop(), 0);
    EXPECT_EQ(d.Leftovers(), 0);
}

} // namespace
} // namespace e2e
