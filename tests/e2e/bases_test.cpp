// Which bases a start and a reload load from the VirusBase masks: each file once however many masks
// name it, and masks that name no file fail the start, or the reload, with "no virus bases loaded!".
#include <ostream>
#include <map>

#include "daemon_process.h"
#include "wire_client.h"

namespace e2e {
namespace {

const std::string kDemoMask = TARVO_DEMO_BASE_DIR "/*.vdb";

// VirusBase lines that give these masks, at most 50 to a line.
std::vector<std::string> MaskLines(const std::vector<std::string>& masks) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < masks.size(); i += 50) {
        std::string line = "VirusBase = ";
        for (size_t j = i; j < masks.size() && j < i + 50; ++j) line += (j > i ? ", " : "") + masks[j];
        lines.push_back(line);
    }
    return lines;
}

struct BaseCase {
    const char* name;
    std::vector<std::string> atStart;  // "$DIR" stands for the daemon's folder
    std::vector<std::string> atReload; // empty: no reload
    bool loads;                        // the masks name bases: the start, or the reload, goes on
};

// A failure names its case.
void PrintTo(const BaseCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<std::string> Filled(std::vector<std::string> masks, const Daemon& d) {
    for (std::string& m : masks)
        if (m.rfind("$DIR", 0) == 0) m.replace(0, 4, d.Dir());
    return masks;
}

const BaseCase kBaseCases[] = {
    {"no match at the start", {"$DIR/none/*.vdb"}, {}, false},
    {"no match at a reload", {kDemoMask}, {"$DIR/none/*.vdb", "$DIR/*.none"}, false},
    {"one file by two lines at the start", {kDemoMask, TARVO_DEMO_BASE_DIR "/tarvodemo.vdb"}, {}, true},
    {"one file by two lines at a reload",
     {kDemoMask},
     {TARVO_DEMO_BASE_DIR "/tarvodemo.vdb", kDemoMask},
     true},
    {"one mask ten thousand times", std::vector<std::string>(10000, kDemoMask), {}, true},
};

// The base files of the demo folder.
std::vector<std::string> DemoBases() {
    return {TARVO_DEMO_BASE_DIR "/tarvodemo.vdb", TARVO_DEMO_BASE_DIR "/trvtoday.vdb"};
}

// What command 3 lists: path and record count of every loaded base.
std::map<std::string, uint32_t> ListedBases(const Daemon& d, size_t* entries) {
    std::map<std::string, uint32_t> out;
    *entries = 0;
    WireClient c;
    if (!c.Connect(d.SocketPath()) || !c.SendWord(3)) return out;
    const auto n = c.ReadWord();
    for (uint32_t i = 0; n && i < *n && i < 1000; ++i) {
        const auto path = c.ReadString();
        const auto count = c.ReadWord();
        if (!path || !count) break;
        out[*path] = *count;
        ++*entries;
    }
    return out;
}

// The total of "Ok, virus records: N" lines in text, and of "Total virus records: N" (the last).
void Totals(const std::string& text, uint32_t* sum, uint32_t* total) {
    *sum = 0;
    *total = 0;
    const std::string ok = "Ok, virus records: ", all = "Total virus records: ";
    for (size_t at = text.find(ok); at != std::string::npos; at = text.find(ok, at + 1))
        *sum += static_cast<uint32_t>(atol(text.c_str() + at + ok.size()));
    const size_t last = text.rfind(all);
    if (last != std::string::npos) *total = static_cast<uint32_t>(atol(text.c_str() + last + all.size()));
}

class BaseLoadingTest : public ::testing::TestWithParam<BaseCase> {};

TEST_P(BaseLoadingTest, EachFileOnceAndNoneIsAFailure) {
    const BaseCase& c = GetParam();
    Daemon d;
    d.Remove("VirusBase");
    for (const std::string& line : MaskLines(Filled(c.atStart, d))) d.AddLine(line);
    const bool reload = !c.atReload.empty();
    if (!reload && !c.loads) {
        const RunResult r = d.Run({});
        EXPECT_EQ(r.status, 255) << r.output;
        EXPECT_NE(r.output.find("no virus bases loaded!"), std::string::npos) << r.output;
        EXPECT_EQ(d.Leftovers(), 0);
        return;
    }
    ASSERT_TRUE(d.StartForeground());
    size_t from = 0;
    if (reload) {
        ASSERT_TRUE(WaitFor([&] { return d.Pool().size() >= 2; }));
        const std::vector<pid_t> before = d.Pool();
        d.Remove("VirusBase");
        for (const std::string& line : MaskLines(Filled(c.atReload, d))) d.AddLine(line);
        ASSERT_TRUE(d.WriteConfig());
        from = d.Log().size();
        kill(d.Master(), SIGHUP);
        // The bases are asked of the new pool, not of a child that has the old list.
        if (c.loads) {
            ASSERT_TRUE(WaitFor([&] {
                for (pid_t p : before)
                    if (Alive(p)) return false;
                return d.Log().find("Total virus records: ", from) != std::string::npos;
            })) << d.Log();
        }
    }
    if (!c.loads) {
        EXPECT_EQ(d.WaitMaster(), 1) << d.Log();
        const std::string text = d.Log().substr(from);
        EXPECT_NE(text.find("no virus bases loaded!\n"), std::string::npos) << text;
        EXPECT_EQ(text.find("Total virus records: 23"), std::string::npos) << "the old bases kept\n" << text;
        EXPECT_EQ(d.Leftovers(), 0);
        return;
    }
    const std::string text = d.Log().substr(from);
    for (const std::string& base : DemoBases())
        EXPECT_LE(Count(text, "Loading " + base + " "), 1u) << base << "\n" << text;
    uint32_t sum = 0, total = 0;
    Totals(text, &sum, &total);
    // A reload that keeps the engine loads only what changed; a start loads everything.
    if (!reload) {
        EXPECT_EQ(total, sum) << text;
    }

    size_t entries = 0;
    std::map<std::string, uint32_t> listed;
    ASSERT_TRUE(WaitFor([&] {
        listed = ListedBases(d, &entries);
        return !listed.empty();
    }));
    EXPECT_EQ(entries, DemoBases().size());
    uint32_t listedSum = 0;
    for (const std::string& base : DemoBases()) {
        EXPECT_EQ(listed.count(base), 1u) << base;
        listedSum += listed[base];
    }
    EXPECT_EQ(listedSum, total);
    kill(d.Master(), SIGTERM);
    EXPECT_EQ(d.WaitMaster(), 0) << d.Log();
    EXPECT_EQ(d.Leftovers(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, BaseLoadingTest, ::testing::ValuesIn(kBaseCases), CaseName<BaseCase>);

} // namespace
} // namespace e2e
