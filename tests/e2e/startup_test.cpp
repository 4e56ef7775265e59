// The launcher: which configurations and arguments start the daemon, with which exit status and
// output, and what they leave behind.
#include <ostream>
#include <functional>

#include "daemon_process.h"
#include "wire_client.h"

namespace e2e {
namespace {

struct StartCase {
    const char* name;
    std::function<void(Daemon&)> arrange;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> output; // "$SOCK" stands for the socket path, "$DIR" for the folder
    bool starts;                     // a master runs afterwards
};

// A failure names its case.
void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

std::string Fill(std::string text, const Daemon& d) {
    for (const auto& [mark, value] : {std::make_pair(std::string("$SOCK"), d.SocketPath()),
                                      std::make_pair(std::string("$DIR"), d.Dir())}) {
        for (size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, mark.size(), value);
    }
    return text;
}

const StartCase kStartCases[] = {
    {"daemon",
     nullptr,
     {},
     0,
     {"Total virus records: ", "Daemon is installed, active interfaces:\n  $SOCK\n"},
     true},
    {"invalid option", nullptr, {"-x"}, 0, {"Invalid command-line option!", "Daemon is installed"}, true},
    {"check only", nullptr, {"--check-only"}, 0, {"Total virus records: ", "Options OK"}, false},
    {"check only, engine missing",
     [](Daemon& d) { d.Set("EnginePath", d.Path("no-engine.dll")); },
     {"--check-only"},
     255,
     {"Shell version: ", "Engine version: ", "no virus bases loaded!", "Options ERROR"},
     false},
    {"check only, bad line",
     [](Daemon& d) { d.Set("FileTimeout", "-1"); },
     {"--check-only"},
     255,
     {"Invalid line in INI-file: ", "Options ERROR"},
     false},
    {"engine missing", [](Daemon& d) { d.Set("EnginePath", d.Path("no-engine.dll")); }, {}, 255, {}, false},
    {"help",
     nullptr,
     {"-?"},
     255,
     {"Command line for starting Tarvo daemon:", "-?, -help - display help."},
     false},
    {"version", nullptr, {"-v"}, 0, {"Shell version: ", "Engine version: "}, false},
    {"unknown user",
     [](Daemon& d) { d.Set("User", "no-such-user-of-tarvo"); },
     {},
     255,
     {"Can not get information about user 'no-such-user-of-tarvo'!"},
     false},
    {"empty user", [](Daemon& d) { d.Set("User", "\"\""); }, {}, 255, {"the User key is empty"}, false},
    {"configuration missing",
     nullptr,
     {"-ini=$DIR/missing.ini"},
     255,
     {"Error reading $DIR/missing.ini!"},
     false},
    {"pid file folder missing",
     [](Daemon& d) { d.Set("PidFile", d.Path("no/such/folder/tarvod.pid")); },
     {},
     64,
     {"Can not create pid-file!"},
     false},
    // A Socket key none of whose values can be used gets no listener in their place.
    {"damaged socket line",
     [](Daemon& d) { d.Set("Socket", "locl:" + d.SocketPath()); },
     {},
     255,
     {"Invalid line in INI-file: 2", "No valid socket address configured!"},
     false},
    {"check only, damaged socket line",
     [](Daemon& d) { d.Set("Socket", "inet:0@127.0.0.1"); },
     {"--check-only"},
     255,
     {"No valid socket address configured!", "Options ERROR"},
     false},
    {"no listener",
     [](Daemon& d) { d.Set("Socket", "local:" + d.Path("no/such/folder/sock")); },
     {},
     64,
     {"No valid sockets created!"},
     false},
};

class StartupTest : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartupTest, ExitStatusOutputAndWhatIsLeft) {
    const StartCase& c = GetParam();
    Daemon d;
    if (c.arrange) c.arrange(d);
    std::vector<std::string> args;
    for (const auto& a : c.args) args.push_back(Fill(a, d));
    RunResult r;
    if (c.starts) {
        ASSERT_TRUE(d.StartDaemon(args));
        r = {0, d.StartOutput()};
    } else {
        r = d.Run(args);
    }
    EXPECT_EQ(r.status, c.status) << r.output;
    for (const auto& text : c.output)
        EXPECT_NE(r.output.find(Fill(text, d)), std::string::npos) << text << "\n" << r.output;

    if (c.starts) {
        // The pid file names the running master and its one listener; the shutdown takes both away.
        EXPECT_EQ(ReadFile(d.PidPath()), std::to_string(d.Master()) + "\n" + d.SocketPath() + "\n");
        EXPECT_TRUE(Exists(d.SocketPath()));
        EXPECT_EQ(d.Stop(), 0) << d.Log();
    }
    EXPECT_FALSE(Exists(d.PidPath()));
    EXPECT_FALSE(Exists(d.SocketPath()));
    EXPECT_EQ(d.Leftovers(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, StartupTest, ::testing::ValuesIn(kStartCases), CaseName<StartCase>);

} // namespace
} // namespace e2e
