// The actions on a found object, through the stand-in engine and real files:
// by how the object was reached and by what happened to its name between
// the scan and the action, the result, the report line and the bytes of
// every file involved afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/filelayer.h"
#include "engine/vdbwriter.h"
#include "tests/shell/scan_fixture.h"
#include "shell/host/hostfiles.h"
#include "shell/scan/objectentry.h"
#include "shell/scan/objectnames.h"
#include "shell/scan/scanresult.h"
#include "shell/engine/virbase.h"

namespace {

enum class Reach { kPlain, kLink, kWindow, kEnvelope };
enum class Meddle { kNone, kSwap, kTargetTaken };

const char* const kReachNames[] = {"plain file", "followed link", "window", "envelope-skipped mail file"};
const char* const kMeddleNames[] = {"none", "path swapped for a link", "target name taken"};

// Bytes around the object in a bigger file, and a mail envelope.
const std::string kHead = "From the mailbox: messages before this one\n";
const std::string kTail = "\nFrom the mailbox: messages after this one\n";
const std::string kEnvelope = "P sender <a@example.org>\r\nR rcpt <b@example.org>\r\n\r\n";
const std::string kVictim = "someone else's file, not to be touched";
const std::string kTaken = "someone else's name";

// The objects: what the engine finds in them and what a cure leaves.
struct Sample {
    std::string data;
    std::string cured;
    uint32_t finding; // result bit of the finding
    const char* line; // the finding's report line, after the object name
};

Sample Wiped() {
    std::string body = " body of the curable";
    return {Signature("CURABLE") + body, std::string(Signature("CURABLE").size(), '\0') + body,
            TARVO_RESULT_INFECTED, " infected with Tarvo.Test.Curable"};
}

Sample Cut() {
    std::string program = "MZ program text ";
    return {program + Signature("APPENDED") + " and what was appended", program, TARVO_RESULT_INFECTED,
            " infected with Tarvo.Test.Appended"};
}

Sample Incurable() {
    return {Signature("DAILY") + " payload", "", TARVO_RESULT_INFECTED, " infected with Tarvo.Test.Daily"};
}

class ObjectActionsTest : public ScanTaskTest {
protected:
    void TearDown() override {
        FollowLinks = 0;
        ResetFileWindow();
        ScanTaskTest::TearDown();
    }

    // Every regular file under the scratch folder and its bytes; links as
    // "-> target".
    std::map<std::string, std::string> Files(const std::string& folder = "") const {
        std::map<std::string, std::string> files;
        std::string dir = folder.empty() ? dir_.path() : folder;
        std::vector<std::string> names;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.push_back(e->d_name);
            closedir(d);
        }
        for (const std::string& name : names) {
            std::string path = dir + "/" + name;
            struct stat st;
            if (lstat(path.c_str(), &st) != 0) continue;
            std::string key = path.substr(dir_.path().size() + 1);
            if (S_ISDIR(st.st_mode)) {
                for (const auto& inner : Files(path)) files.insert(inner);
            } else if (S_ISLNK(st.st_mode)) {
                char target[4096];
                ssize_t n = readlink(path.c_str(), target, sizeof target);
                files[key] = "-> " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
            } else {
                files[key] = Read(path);
            }
        }
        return files;
    }
};

struct Case {
    uint32_t action;
    Reach reach;
    Meddle meddle;
    Sample (*sample)();
    uint32_t bits;    // of the result: done, cured, incurable and error bits
    const char* line; // the action's report line after the object name, or null
    // The files afterwards ("x" the object's whole file as written, "c" the
    // same with the cure applied to the object, "v" the victim, "t" the
    // taken name's bytes, "" no such file), keyed by name under the folder.
    std::map<std::string, std::string> after;
};

constexpr uint32_t kShown = TARVO_RESULT_MASK_DONE | TARVO_RESULT_CURED | TARVO_RESULT_INCURABLE |
                            TARVO_RESULT_WRITE_ERROR | TARVO_RESULT_READ_ERROR;
constexpr uint32_t kCure = kActionCure;
constexpr uint32_t kDelete = kActionDelete;
constexpr uint32_t kRename = kActionRename;
constexpr uint32_t kMove = kActionMove;
constexpr uint32_t kCured = TARVO_RESULT_CURED;
constexpr uint32_t kRefused = TARVO_RESULT_WRITE_ERROR;
constexpr uint32_t kCureRefused = TARVO_RESULT_INCURABLE | TARVO_RESULT_WRITE_ERROR;

// clang-format off
const Case kCases[] = {
    // Nothing in between: the action is done on the object, and on nothing else.
    {kCure, Reach::kPlain, Meddle::kNone, Wiped, kCured, " - cured!", {{"x.com", "c"}, {"victim", "v"}}},
    {kCure, Reach::kPlain, Meddle::kNone, Cut, kCured, " - cured!", {{"x.com", "c"}, {"victim", "v"}}},
    {kDelete, Reach::kPlain, Meddle::kNone, Incurable, TARVO_RESULT_DELETED, " - deleted!", {{"victim", "v"}}},
    {kRename, Reach::kPlain, Meddle::kNone, Incurable, TARVO_RESULT_RENAMED, " - renamed!",
     {{"x.#om", "x"}, {"victim", "v"}}},
    {kMove, Reach::kPlain, Meddle::kNone, Incurable, TARVO_RESULT_MOVED, " - moved!",
     {{"infected/x.com", "x"}, {"victim", "v"}}},
    // A followed link: the file it leads to is acted on.
    {kCure, Reach::kLink, Meddle::kNone, Wiped, kCured, " - cured!",
     {{"x.com", "-> real/x.com"}, {"real/x.com", "c"}, {"victim", "v"}}},
    {kDelete, Reach::kLink, Meddle::kNone, Incurable, TARVO_RESULT_DELETED, " - deleted!",
     {{"x.com", "-> real/x.com"}, {"victim", "v"}}},
    {kRename, Reach::kLink, Meddle::kNone, Incurable, TARVO_RESULT_RENAMED, " - renamed!",
     {{"x.com", "-> real/x.com"}, {"real/x.#om", "x"}, {"victim", "v"}}},
    {kMove, Reach::kLink, Meddle::kNone, Incurable, TARVO_RESULT_MOVED, " - moved!",
     {{"x.com", "-> real/x.com"}, {"infected/x.com", "x"}, {"victim", "v"}}},
    // A window into a bigger file: nothing outside it is lost.
    {kCure, Reach::kWindow, Meddle::kNone, Wiped, kCured, " - cured!", {{"x.com", "c"}, {"victim", "v"}}},
    {kCure, Reach::kWindow, Meddle::kNone, Cut, kCureRefused, " - write error!",
     {{"x.com", "x"}, {"victim", "v"}}},
    {kDelete, Reach::kWindow, Meddle::kNone, Incurable, kRefused, " - write error!",
     {{"x.com", "x"}, {"victim", "v"}}},
    {kRename, Reach::kWindow, Meddle::kNone, Incurable, TARVO_RESULT_RENAMED, " - renamed!",
     {{"x.#om", "x"}, {"victim", "v"}}},
    {kMove, Reach::kWindow, Meddle::kNone, Incurable, TARVO_RESULT_MOVED, " - moved!",
     {{"infected/x.com", "x"}, {"victim", "v"}}},
    // A mail file after its envelope: one message, the envelope goes with it.
    {kCure, Reach::kEnvelope, Meddle::kNone, Wiped, kCured, " - cured!", {{"x.com", "c"}, {"victim", "v"}}},
    {kCure, Reach::kEnvelope, Meddle::kNone, Cut, kCured, " - cured!", {{"x.com", "c"}, {"victim", "v"}}},
    {kDelete, Reach::kEnvelope, Meddle::kNone, Incurable, TARVO_RESULT_DELETED, " - deleted!",
     {{"victim", "v"}}},
    {kRename, Reach::kEnvelope, Meddle::kNone, Incurable, TARVO_RESULT_RENAMED, " - renamed!",
     {{"x.#om", "x"}, {"victim", "v"}}},
    {kMove, Reach::kEnvelope, Meddle::kNone, Incurable, TARVO_RESULT_MOVED, " - moved!",
     {{"infected/x.com", "x"}, {"victim", "v"}}},
    // The name swapped for a link to another file after the scan: refused.
    {kCure, Reach::kPlain, Meddle::kSwap, Wiped, kCureRefused, " - write error!",
     {{"x.com", "-> victim"}, {"x.com.aside", "x"}, {"victim", "v"}}},
    {kCure, Reach::kPlain, Meddle::kSwap, Cut, kCureRefused, " - write error!",
     {{"x.com", "-> victim"}, {"x.com.aside", "x"}, {"victim", "v"}}},
    {kDelete, Reach::kPlain, Meddle::kSwap, Incurable, kRefused, " - write error!",
     {{"x.com", "-> victim"}, {"x.com.aside", "x"}, {"victim", "v"}}},
    {kRename, Reach::kPlain, Meddle::kSwap, Incurable, kRefused, " - write error!",
     {{"x.com", "-> victim"}, {"x.com.aside", "x"}, {"victim", "v"}}},
    {kMove, Reach::kPlain, Meddle::kSwap, Incurable, kRefused, " - write error!",
     {{"x.com", "-> victim"}, {"x.com.aside", "x"}, {"victim", "v"}}},
    {kCure, Reach::kLink, Meddle::kSwap, Wiped, kCureRefused, " - write error!",
     {{"x.com", "-> victim"}, {"real/x.com", "x"}, {"victim", "v"}}},
    {kDelete, Reach::kLink, Meddle::kSwap, Incurable, kRefused, " - write error!",
     {{"x.com", "-> victim"}, {"real/x.com", "x"}, {"victim", "v"}}},
    {kRename, Reach::kLink, Meddle::kSwap, Incurable, kRefused, " - write error!",
     {{"x.com", "-> victim"}, {"real/x.com", "x"}, {"victim", "v"}}},
    {kMove, Reach::kLink, Meddle::kSwap, Incurable, kRefused, " - write error!",
     {{"x.com", "-> victim"}, {"real/x.com", "x"}, {"victim", "v"}}},
    {kCure, Reach::kWindow, Meddle::kSwap, Wiped, kCureRefused, " - write error!",
     {{"x.com", "-> victim"}, {"x.com.aside", "x"}, {"victim", "v"}}},
    {kDelete, Reach::kEnvelope, Meddle::kSwap, Incurable, kRefused, " - write error!",
     {{"x.com", "-> victim"}, {"x.com.aside", "x"}, {"victim", "v"}}},
    {kMove, Reach::kEnvelope, Meddle::kSwap, Incurable, kRefused, " - write error!",
     {{"x.com", "-> victim"}, {"x.com.aside", "x"}, {"victim", "v"}}},
    // The rename's target name taken after the scan: another name is chosen.
    {kRename, Reach::kPlain, Meddle::kTargetTaken, Incurable, TARVO_RESULT_RENAMED, " - renamed!",
     {{"x.#om", "t"}, {"x______0.#om", "x"}, {"victim", "v"}}},
    {kRename, Reach::kLink, Meddle::kTargetTaken, Incurable, TARVO_RESULT_RENAMED, " - renamed!",
     {{"x.com", "-> real/x.com"}, {"real/x.#om", "t"}, {"real/x______0.#om", "x"}, {"victim", "v"}}},
    {kRename, Reach::kWindow, Meddle::kTargetTaken, Incurable, TARVO_RESULT_RENAMED, " - renamed!",
     {{"x.#om", "t"}, {"x______0.#om", "x"}, {"victim", "v"}}},
};
// clang-format on

TEST_F(ObjectActionsTest, ActionByReachAndInterference) {
    for (const Case& c : kCases) {
        const Sample sample = c.sample();
        SCOPED_TRACE(std::string("action ") + std::to_string(c.action) + ", " +
                     kReachNames[static_cast<int>(c.reach)] + ", interference: " +
                     kMeddleNames[static_cast<int>(c.meddle)] + ", object: " + sample.line);
        for (const auto& file : Files()) {
            std::string path = dir_ / file.first;
            unlink(path.c_str());
        }
        std::string victim = Make("victim", kVictim);
        // The file as written, and as it must look after a cure.
        std::string whole = sample.data;
        std::string cured = sample.cured;
        if (c.reach == Reach::kWindow) {
            whole = kHead + sample.data + kTail;
            cured = kHead + sample.cured + kTail;
        } else if (c.reach == Reach::kEnvelope) {
            whole = kEnvelope + sample.data;
            cured = kEnvelope + sample.cured;
        }
        std::string path = dir_ / "x.com";
        std::string real = path;
        FollowLinks = 0;
        ResetFileWindow();
        if (c.reach == Reach::kLink) {
            FollowLinks = 1;
            mkdir((dir_ / "real").c_str(), 0700);
            real = Make("real/x.com", whole);
            ASSERT_EQ(0, symlink("real/x.com", path.c_str()));
        } else {
            Make("x.com", whole);
        }
        if (c.reach == Reach::kWindow) {
            FileWindow.base = static_cast<int64_t>(kHead.size());
            FileWindow.length = static_cast<int64_t>(sample.data.size());
        } else if (c.reach == Reach::kEnvelope) {
            // As the request road's envelope skip leaves it.
            FileWindow.base = static_cast<int64_t>(kEnvelope.size());
            FileWindow.length = static_cast<int64_t>(sample.data.size());
            FileWindow.envelope = 1;
        }
        Word(kInfectedActionWord) = c.action;
        Word(kIncurableActionWord) = 0;

        HookedTask task(settings_.get(), [&] {
            if (c.meddle == Meddle::kSwap) {
                if (c.reach == Reach::kLink)
                    ASSERT_EQ(0, unlink(path.c_str()));
                else
                    ASSERT_EQ(0, rename(path.c_str(), (path + ".aside").c_str()));
                ASSERT_EQ(0, symlink("victim", path.c_str()));
            } else if (c.meddle == Meddle::kTargetTaken) {
                std::string target = real.substr(0, real.size() - 3) + "#om";
                ASSERT_TRUE(dir_.Write(target.substr(dir_.path().size() + 1), kTaken));
            }
        });
        CapturedLines().clear();
        ScanOutcome out = Finish(task, task.Scan(path.c_str(), 0));

        EXPECT_EQ(sample.finding, out.result & sample.finding);
        EXPECT_EQ(c.bits, out.result & kShown) << AllLines();
        EXPECT_TRUE(Logged(path + sample.line)) << AllLines();
        if (c.line) {
            EXPECT_TRUE(Logged(path + c.line)) << AllLines();
        }
        std::map<std::string, std::string> expected;
        for (const auto& file : c.after) {
            const std::string& what = file.second;
            expected[file.first] = what == "x"   ? whole
                                   : what == "c" ? cured
                                   : what == "v" ? kVictim
                                   : what == "t" ? kTaken
                                                 : what;
        }
        EXPECT_EQ(expected, Files());
    }
}

// The engine leaves the object open where its last read stopped: the move
// still copies all of it, or leaves it where it is.
TEST_F(ObjectActionsTest, MoveCopiesTheWholeObjectWhereverTheEngineLeftIt) {
    VdbBase base;
    std::string error;
    ASSERT_EQ(0, ParseSignatureList("base kind=1 stamp=102\n"
                                    "marker keep-open file 0 keep-open text:TARVO-TEST-KEEP-OPEN\n",
                                    base, error))
        << error;
    std::string extra = dir_ / "keep.vdb";
    ASSERT_EQ(0, WriteBaseFile(extra, base, error)) << error;
    uint32_t count = 0;
    ASSERT_EQ(1, UnloadVirusBases(instance_, &count));
    SetBaseMasks({TARVO_DEMO_BASE_VDB, TARVO_DAILY_BASE_VDB, extra});
    ASSERT_GT(LoadVirusBases(instance_, nullptr), 0u) << AllLines();

    std::string data = "TARVO-TEST-KEEP-OPEN " + std::string(100000, 'k') + Signature("MODIFICATION");
    std::string path = Make("kept.com", data);
    Word(kIncurableActionWord) = kActionMove;
    CapturedLines().clear();
    ScanOutcome out = Scan(path);
    EXPECT_EQ(TARVO_RESULT_MODIFICATION | TARVO_RESULT_MOVED, out.result);
    EXPECT_TRUE(Logged(path + " - moved!")) << AllLines();
    EXPECT_FALSE(Exists(path));
    std::string copy = Read(quarantine_ + "/kept.com");
    EXPECT_EQ(data.size(), copy.size());
    EXPECT_TRUE(copy == data) << "the copy holds the object's bytes";
}

// A quarantine that holds every name of the unique-name scheme already.
TEST_F(ObjectActionsTest, QuarantineTakesMoreThanEightyOneObjectsOfOneName) {
    ASSERT_EQ(0, mkdir(quarantine_.c_str(), 0700));
    for (int i = 0; i < 81; ++i) {
        char name[kPathBufSize];
        CopyPathBuffer(name, (quarantine_ + "/q.com").c_str());
        ASSERT_NE(nullptr, MakeUniquePath(name)) << i;
        ASSERT_TRUE(dir_.Write(std::string(name).substr(dir_.path().size() + 1), "earlier"));
    }
    Word(kInfectedActionWord) = kActionMove;
    for (int n = 1; n <= 2; ++n) {
        std::string path = Make("q.com", Signature("DAILY") + std::to_string(n));
        ScanOutcome out = Scan(path);
        EXPECT_EQ(TARVO_RESULT_INFECTED | TARVO_RESULT_MOVED, out.result) << AllLines();
        EXPECT_FALSE(Exists(path));
        EXPECT_EQ(Signature("DAILY") + std::to_string(n), Read(quarantine_ + "/q.com." + std::to_string(n)));
    }
    EXPECT_EQ("earlier", Read(quarantine_ + "/q.com"));
    EXPECT_EQ("earlier", Read(quarantine_ + "/q9999999.com"));
}

// A name another process takes between the choice of a free name and the
// rename: the rename fails on it and goes on to the next name.
TEST_F(ObjectActionsTest, NameTakenBeforeTheRenameIsPassedOver) {
    std::string from = Make("y.exe", "the object");
    std::string wanted = dir_ / "y.#xe";
    std::vector<std::string> tried;
    const auto attempt = [&](const char* name) {
        tried.push_back(name);
        if (tried.size() == 1) dir_.Write(std::string(name).substr(dir_.path().size() + 1), kTaken);
        return RenameNoReplace(AT_FDCWD, from.c_str(), AT_FDCWD, name);
    };
    std::string chosen;
    ASSERT_EQ(0, TryUniqueNames(wanted, attempt, &chosen));
    ASSERT_EQ(2u, tried.size());
    EXPECT_EQ(wanted, tried[0]);
    EXPECT_EQ(dir_ / "y______0.#xe", chosen);
    EXPECT_EQ(kTaken, Read(wanted));
    EXPECT_EQ("the object", Read(chosen));
    EXPECT_FALSE(Exists(from));
}

} // namespace
