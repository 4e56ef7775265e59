// A reload that cannot load its options: the master ends with status 1 and says why in the log it
// was writing, whatever the settings read before the failure named; it never opens a listener that
// nobody configured.
#include <ostream>
#include <functional>

#include "daemon_process.h"

namespace e2e {
namespace {

struct FailedReloadCase {
    const char* name;
    std::function<void(Daemon&)> damage;
    std::vector<std::string> reasons; // "$INI" stands for the configuration's path
};

// A failure names its case.
void PrintTo(const FailedReloadCase& c, std::ostream* os) {
    *os << c.name;
}

const FailedReloadCase kFailedReloads[] = {
    {"configuration removed",
     [](Daemon& d) { ASSERT_EQ(unlink(d.IniPath().c_str()), 0); },
     {"Error reading $INI!"}},
    {"Socket line with a mistyped address",
     [](Daemon& d) {
         d.Set("Socket", "locl:" + d.SocketPath());
         ASSERT_TRUE(d.WriteConfig());
     },
     {"Invalid line in INI-file: 2", "No valid socket address configured!"}},
    {"Socket line without its value",
     [](Daemon& d) {
         d.Set("Socket", "");
         ASSERT_TRUE(d.WriteConfig());
     },
     {"Invalid line in INI-file: 2", "No valid socket address configured!"}},
    {"log moved to syslog, bases gone",
     [](Daemon& d) {
         d.Set("LogFileName", "syslog");
         d.Set("VirusBase", d.Path("no-bases") + "/*.vdb");
         ASSERT_TRUE(d.WriteConfig());
     },
     {"no virus bases loaded!"}},
};

class FailedReloadTest : public ::testing::TestWithParam<FailedReloadCase> {};

TEST_P(FailedReloadTest, MasterEndsWithOneAndTheReasonInItsLog) {
    const FailedReloadCase& c = GetParam();
    Daemon d;
    ASSERT_TRUE(d.StartForeground());
    ASSERT_TRUE(WaitFor([&] { return d.Pool().size() >= 2; }));
    c.damage(d);
    if (HasFatalFailure()) return;
    const size_t started = d.Log().size();
    kill(d.Master(), SIGHUP);
    EXPECT_EQ(d.WaitMaster(), 1) << d.Log();

    const std::string reload = d.Log().substr(started);
    std::vector<std::string> expected = {"SIGHUP received, reloading...\n"};
    for (std::string reason : c.reasons) {
        const size_t at = reason.find("$INI");
        if (at != std::string::npos) reason.replace(at, 4, d.IniPath());
        expected.push_back(reason + "\n");
    }
    expected.push_back("Shutting down daemon...\n");
    size_t from = 0;
    for (const std::string& line : expected) {
        const size_t at = reload.find(line, from);
        EXPECT_NE(at, std::string::npos) << "missing or out of order: " << line << reload;
        if (at != std::string::npos) from = at + line.size();
    }
    // The listener nobody configured was never opened.
    EXPECT_EQ(reload.find("127.0.0.1:3000"), std::string::npos) << reload;
    EXPECT_FALSE(Exists(d.PidPath()));
    EXPECT_FALSE(Exists(d.SocketPath()));
    EXPECT_EQ(d.Leftovers(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, FailedReloadTest, ::testing::ValuesIn(kFailedReloads),
                         CaseName<FailedReloadCase>);

} // namespace
} // namespace e2e
