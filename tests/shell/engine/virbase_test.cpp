#include "shell/engine/virbase.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <map>
#include <string>
#include <vector>

#include "engine/vdbwriter.h"
#include "shell/engine/engines.h"
#include "shell/scan/lockword.h"
#include "tests/shell/shell_fixture.h"

namespace {

// An engine that records the commands it gets and answers command 0 per
// path (the header's record count when not told otherwise).
struct FakeEngine {
    std::vector<std::string> calls; // "0 path", "1", "2"
    std::map<std::string, int32_t> answers;
    int32_t loadedAnswer = 77;
    int32_t unloadAnswer = 0;
};
FakeEngine* Fake = nullptr;

TARVO_ALIGN_STACK int32_t TARVO_CDECL FakeDispatch(void*, uint32_t command, ...) {
    va_list args;
    va_start(args, command);
    int32_t answer = -1;
    if (command == TARVO_CMD_LOAD_BASE) {
        std::string path = va_arg(args, const char*);
        Fake->calls.push_back("0 " + path);
        auto it = Fake->answers.find(path);
        answer = it != Fake->answers.end() ? it->second : 1;
    } else if (command == TARVO_CMD_BASES_LOADED) {
        Fake->calls.push_back("1");
        answer = Fake->loadedAnswer;
    } else if (command == TARVO_CMD_UNLOAD_BASES) {
        Fake->calls.push_back("2");
        answer = Fake->unloadAnswer;
    }
    va_end(args);
    return answer;
}

std::vector<std::string> Loaded() {
    std::vector<std::string> out;
    for (auto* r = static_cast<const LoadedBaseRecord*>(LoadedBaseList.First()); r;
         r = static_cast<const LoadedBaseRecord*>(LoadedBaseList.Next()))
        out.push_back(std::string(r->path) + " " + std::to_string(r->count));
    return out;
}

class VirusBaseTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        Fake = &fake_;
        instance_.module = 1;
        instance_.dispatcher = FakeDispatch;
    }
    void TearDown() override {
        std::unique_ptr<BaseList> bases(instance_.bases);
        instance_.bases = nullptr;
        Fake = nullptr;
        ShellTest::TearDown();
    }

    // Writes a base into the scratch folder: its path.
    std::string Base(const std::string& name, uint16_t kind, uint16_t stamp, uint32_t key4 = 0,
                     uint32_t count = 1, uint8_t daily = 0) {
        VdbBase base;
        base.kind = kind;
        base.stamp = stamp;
        base.key4 = key4;
        base.daily = daily;
        base.countGiven = true;
        base.count = count;
        std::string path = dir_ / name;
        std::string error;
        EXPECT_EQ(0, WriteBaseFile(path, base, error)) << error;
        return path;
    }

    std::vector<std::string> Sent() {
        std::vector<std::string> sent = fake_.calls;
        fake_.calls.clear();
        return sent;
    }

    FakeEngine fake_;
    EngineInstance instance_{};
};

std::string HeaderImage(uint32_t lead) {
    VdbBase base;
    base.lead = lead;
    base.kind = 3;
    base.stamp = 0x2345;
    base.key3 = 0x0102;
    base.key3b = 0x1234;
    base.flag = 1;
    base.key4 = 0xA0B0C0D0u;
    base.daily = 1;
    base.countGiven = true;
    base.count = 4242;
    return BuildBaseImage(base);
}

TEST_F(VirusBaseTest, HeaderIsFoundAtTheLastOffsetWhereItFitsAndNoFurther) {
    ASSERT_TRUE(dir_.Write("fits.vdb", HeaderImage(512 - 96)));
    ASSERT_TRUE(dir_.Write("past.vdb", HeaderImage(512 - 95)));
    uint16_t kind = 0, stamp = 0, key3 = 0, key3b = 0;
    uint32_t count = 0, key4 = 0, flag = 0;
    uint8_t daily = 0;
    char buffer[kBaseHeaderBufferSize];
    ASSERT_EQ(1, ReadBaseHeader((dir_ / "fits.vdb").c_str(), buffer, &kind, &stamp, &count, &key3, &key3b,
                                &key4, &flag, &daily));
    EXPECT_EQ(3, kind);
    EXPECT_EQ(0x2345, stamp);
    EXPECT_EQ(4242u, count);
    EXPECT_EQ(0x0102, key3);
    EXPECT_EQ(0x1234, key3b);
    EXPECT_EQ(1u, flag);
    EXPECT_EQ(0xA0B0C0D0u, key4);
    EXPECT_EQ(1, daily);
    EXPECT_EQ(0, ReadBaseHeader((dir_ / "past.vdb").c_str(), buffer, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr));
}

TEST_F(VirusBaseTest, HeaderNeedsItsCheckWordAndAReadableFile) {
    std::string image = HeaderImage(0);
    image[TARVO_BASE_OFFSET_CHECK] = 'N';
    ASSERT_TRUE(dir_.Write("unchecked.vdb", image));
    uint16_t kind = 99;
    EXPECT_EQ(0, ReadBaseHeader((dir_ / "unchecked.vdb").c_str(), nullptr, &kind, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(99, kind) << "nothing filled";
    EXPECT_EQ(0, ReadBaseHeader((dir_ / "missing.vdb").c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr));
}

TEST_F(VirusBaseTest, ShortFileAfterALongOneDoesNotFindTheOldHeader) {
    ASSERT_TRUE(dir_.Write("long.vdb", HeaderImage(400)));
    ASSERT_TRUE(dir_.Write("short.vdb", std::string(300, '\0')));
    char buffer[kBaseHeaderBufferSize];
    ASSERT_EQ(1, ReadBaseHeader((dir_ / "long.vdb").c_str(), buffer, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, ReadBaseHeader((dir_ / "short.vdb").c_str(), buffer, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr));
}

BaseRecord Keys(uint16_t kind, uint16_t stamp, uint16_t key3, uint32_t key4, const char* path = "") {
    BaseRecord r;
    r.kind = kind;
    r.stamp = stamp;
    r.key3 = key3;
    r.key4 = key4;
    r.path = path;
    return r;
}

TEST_F(VirusBaseTest, OrderIsKindThenStampOrKey3AndKey4) {
    struct Case {
        BaseRecord a, b;
        int order;
    };
    const Case cases[] = {
        {Keys(2, 0, 0, 0), Keys(1, 9, 9, 9), 1},           {Keys(1, 5, 0, 0), Keys(1, 6, 0, 0), -1},
        {Keys(1, 0x2005, 9, 0), Keys(1, 0x0005, 1, 0), 0}, // only 13 bits of the stamp, no key3
        {Keys(1, 9, 1, 5), Keys(1, 1, 2, 5), -1},          // a key4 set: key3 decides, not the stamp
        {Keys(1, 0, 1, 0xFFFFFFFF), Keys(1, 0, 1, 1), 1},  // key4 unsigned
        {Keys(1, 0, 1, 7), Keys(1, 5, 1, 7), 0},
    };
    for (const Case& c : cases) {
        int order = CompareBaseRecords(c.a, c.b);
        EXPECT_EQ(c.order, (order > 0) - (order < 0));
        int reverse = CompareBaseRecords(c.b, c.a);
        EXPECT_EQ(-c.order, (reverse > 0) - (reverse < 0));
    }
}

TEST_F(VirusBaseTest, ListRunsFromTheGreatestDownAndANewBaseGoesBeforeItsEquals) {
    BaseList list;
    list.InsertSorted(Keys(1, 5, 0, 0, "first-equal"));
    list.InsertSorted(Keys(2, 0, 0, 0, "greatest"));
    list.InsertSorted(Keys(1, 1, 0, 0, "least"));
    list.InsertSorted(Keys(1, 5, 0, 0, "second-equal"));
    std::vector<std::string> order;
    for (const BaseRecord& r : list.records) order.push_back(r.path);
    EXPECT_EQ(std::vector<std::string>({"greatest", "second-equal", "first-equal", "least"}), order);
}

TEST_F(VirusBaseTest, FullLoadSendsTheBasesInOrderAndListsOnlyThoseLoaded) {
    std::string a = Base("a.vdb", 1, 10);
    std::string b = Base("b.vdb", 1, 10);
    std::string big = Base("big.vdb", 5, 0);
    std::string empty = Base("empty.vdb", 1, 3);
    std::string skipped = Base("skipped.vdb", 1, 2);
    std::string broken = Base("broken.vdb", 1, 1);
    ASSERT_TRUE(dir_.Write("not-a-base.vdb", "plain text"));
    ASSERT_TRUE(dir_.Write("other.txt", "not matched"));
    fake_.answers = {{a, 3}, {b, 4}, {big, 5}, {empty, 0}, {skipped, -2}, {broken, -1}};
    // b is found after a (second mask): the equal pair goes b first.
    SetBaseMasks({dir_ / "[a]*.vdb", dir_ / "[b]*.vdb", dir_ / "[ens]*.vdb"});
    uint32_t word = 0;
    EXPECT_EQ(12u, LoadVirusBases(&instance_, &word));
    EXPECT_EQ(77u, word);
    EXPECT_EQ(std::vector<std::string>(
                  {"0 " + big, "0 " + b, "0 " + a, "0 " + empty, "0 " + skipped, "0 " + broken, "1"}),
              Sent());
    EXPECT_EQ(std::vector<std::string>({big + " 5", b + " 4", a + " 3"}), Loaded());
    EXPECT_TRUE(HasLine("Loading " + big + " - Ok, virus records: 5\n")) << AllLines();
    EXPECT_TRUE(HasLine("Loading " + empty + " - empty, skipped\n")) << AllLines();
    EXPECT_TRUE(HasLine("Loading " + skipped + " - skipped\n")) << AllLines();
    EXPECT_TRUE(HasLine("Loading " + broken + " - error!\n")) << AllLines();
    EXPECT_TRUE(HasLine("Total virus records: 12\n")) << AllLines();
    EXPECT_EQ(0u, BaseLock);
}

TEST_F(VirusBaseTest, FolderMaskTakesEveryFileInIt) {
    std::string a = Base("a.vdb", 1, 2);
    std::string b = Base("b.base", 1, 1);
    ASSERT_EQ(0, mkdir((dir_ / "sub.vdb").c_str(), 0700));
    SetBaseMasks({dir_.path()});
    EXPECT_EQ(2u, LoadVirusBases(&instance_, nullptr));
    EXPECT_EQ(std::vector<std::string>({"0 " + a, "0 " + b, "1"}), Sent());
}

// However many masks name a file, and under whichever name, it is one base: sent once, listed once,
// counted once.
TEST_F(VirusBaseTest, FileThatSeveralMasksNameIsLoadedOnce) {
    const std::string a = Base("a.vdb", 1, 2);
    const std::string b = Base("b.vdb", 1, 1);
    const std::string link = dir_ / "link.vdb";
    ASSERT_EQ(0, symlink(a.c_str(), link.c_str()));
    fake_.answers = {{a, 3}, {link, 3}, {b, 4}};
    struct Case {
        const char* name;
        std::vector<std::string> masks;
    };
    std::vector<std::string> repeated(10000, dir_ / "*.vdb");
    const Case cases[] = {
        {"two lines", {dir_ / "a.vdb", dir_ / "*.vdb"}},
        {"the folder and a mask in it", {dir_.path(), dir_ / "[ab].vdb"}},
        {"one mask ten thousand times", repeated},
        {"the same folder in two spellings", {dir_.path(), dir_.path() + "/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetBaseMasks(c.masks);
        CapturedLines().clear();
        EXPECT_EQ(7u, LoadVirusBases(&instance_, nullptr));
        const std::vector<std::string> sent = Sent();
        EXPECT_EQ(3u, sent.size()) << testing::PrintToString(sent);
        EXPECT_EQ(1, std::count(sent.begin(), sent.end(), "0 " + b)) << testing::PrintToString(sent);
        EXPECT_EQ(2u, Loaded().size()) << testing::PrintToString(Loaded());
        EXPECT_TRUE(HasLine("Total virus records: 7\n")) << AllLines();
        // A reload of the same masks finds nothing new.
        EXPECT_EQ(7, UpdateVirusBases(&instance_, nullptr));
        EXPECT_TRUE(Sent().empty());
        EXPECT_EQ(2u, Loaded().size());
    }
}

TEST_F(VirusBaseTest, FailedEndOfLoadingLoadsNothing) {
    Base("a.vdb", 1, 2);
    SetBaseMasks({dir_ / "*.vdb"});
    fake_.loadedAnswer = -1;
    uint32_t word = 5;
    EXPECT_EQ(0u, LoadVirusBases(&instance_, &word));
    EXPECT_EQ(5u, word);
}

TEST_F(VirusBaseTest, StopFlagSendsNoBase) {
    Base("a.vdb", 1, 2);
    SetBaseMasks({dir_ / "*.vdb"});
    StopFlag = 1;
    EXPECT_EQ(0u, LoadVirusBases(&instance_, nullptr));
    EXPECT_EQ(std::vector<std::string>({"1"}), Sent());
}

TEST_F(VirusBaseTest, InstanceWithoutEngineIsAnInternalErrorAndReleasesTheLock) {
    EngineInstance empty{};
    EXPECT_EQ(0u, LoadVirusBases(&empty, nullptr));
    EXPECT_TRUE(HasLine("Tarvo/Linux: * Error: Internal error\n")) << AllLines();
    EXPECT_TRUE(HasLine("Tarvo/Linux: * File : shell/virbase\n")) << AllLines();
    EXPECT_EQ(0u, BaseLock);
    EXPECT_EQ(-1, UpdateVirusBases(&empty, nullptr));
    EXPECT_EQ(0, UnloadVirusBases(&empty, nullptr));
    EXPECT_EQ(0u, BaseLock);
}

TEST_F(VirusBaseTest, HeldLockIsGivenUpInsteadOfWaitedForForEver) {
    LockWordPolls = 3;
    BaseLock = 1;
    EXPECT_EQ(0u, LoadVirusBases(&instance_, nullptr));
    EXPECT_EQ(-1, UpdateVirusBases(&instance_, nullptr));
    EXPECT_TRUE(Sent().empty());
    BaseLock = 0;
    LockWordPolls = 100000;
}

class ReloadTest : public VirusBaseTest {
protected:
    void SetUp() override {
        VirusBaseTest::SetUp();
        a_ = Base("a.vdb", 1, 2, 0, 5);
        b_ = Base("b.vdb", 1, 1, 0, 6);
        // The engine counts fewer records than a's header says.
        fake_.answers = {{a_, 3}, {b_, 6}};
        SetBaseMasks({dir_ / "*.vdb"});
        ASSERT_EQ(9u, LoadVirusBases(&instance_, &word_));
        Sent();
        CapturedLines().clear();
        word_ = 1234;
    }
    std::string a_, b_;
    uint32_t word_ = 0;
};

TEST_F(ReloadTest, NothingChangedSendsNothingAndReportsTheSameTotal) {
    EXPECT_EQ(9, UpdateVirusBases(&instance_, &word_));
    EXPECT_TRUE(Sent().empty()) << "a count that differs from the header is no change";
    EXPECT_EQ(1234u, word_);
    EXPECT_EQ(std::vector<std::string>({a_ + " 3", b_ + " 6"}), Loaded());
    EXPECT_TRUE(HasLine("Total virus records: 9\n")) << AllLines();
}

TEST_F(ReloadTest, ChangedAndNewBasesAloneAreSent) {
    Base("b.vdb", 1, 1, 0, 7);
    std::string c = Base("c.vdb", 1, 0, 0, 2);
    fake_.answers[b_] = 7;
    fake_.answers[c] = 2;
    EXPECT_EQ(12, UpdateVirusBases(&instance_, &word_));
    EXPECT_EQ(std::vector<std::string>({"0 " + b_, "0 " + c, "1"}), Sent());
    EXPECT_EQ(77u, word_);
    EXPECT_EQ(std::vector<std::string>({a_ + " 3", b_ + " 7", c + " 2"}), Loaded());
}

TEST_F(ReloadTest, DailyBaseMarkedAsSuchAsksForAFullLoad) {
    Base("trvtoday.vdb", 1, 9, 0, 1, 1);
    EXPECT_EQ(-1, UpdateVirusBases(&instance_, &word_));
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(0u, BaseLock);

    std::string daily = Base("trvtoday.vdb", 1, 9, 0, 1, 0);
    EXPECT_EQ(10, UpdateVirusBases(&instance_, &word_));
    EXPECT_EQ(std::vector<std::string>({"0 " + daily, "1"}), Sent());
}

TEST_F(ReloadTest, DailyFlagCountsOnlyUnderTheDailyName) {
    std::string other = Base("extra.vdb", 1, 9, 0, 1, 1);
    EXPECT_EQ(10, UpdateVirusBases(&instance_, &word_));
    EXPECT_EQ(std::vector<std::string>({"0 " + other, "1"}), Sent());
}

TEST_F(ReloadTest, UnreadableHeaderOrEngineErrorFailsTheReload) {
    ASSERT_TRUE(dir_.Write("c.vdb", "no header"));
    EXPECT_EQ(-1, UpdateVirusBases(&instance_, &word_));
    ASSERT_EQ(0, unlink((dir_ / "c.vdb").c_str()));

    Base("b.vdb", 1, 1, 9, 6);
    fake_.answers[b_] = -1;
    EXPECT_EQ(-1, UpdateVirusBases(&instance_, &word_));
    EXPECT_EQ(std::vector<std::string>({"0 " + b_}), Sent());
    EXPECT_EQ(1234u, word_);
    EXPECT_EQ(0u, BaseLock);
}

// The engine cannot drop one base: masks that no longer name a loaded base, or name nothing at all,
// ask for the full load, which then counts only what they name.
TEST_F(ReloadTest, BaseNoLongerNamedAsksForAFullLoad) {
    for (const std::vector<std::string>& masks :
         {std::vector<std::string>{dir_ / "a.vdb"}, std::vector<std::string>{dir_ / "*.none"},
          std::vector<std::string>{}}) {
        SetBaseMasks(masks);
        EXPECT_EQ(-1, UpdateVirusBases(&instance_, &word_)) << testing::PrintToString(masks);
        EXPECT_TRUE(Sent().empty());
        EXPECT_EQ(0u, BaseLock);
    }
    SetBaseMasks({dir_ / "*.none"});
    EXPECT_EQ(0u, LoadVirusBases(&instance_, &word_));
    EXPECT_TRUE(Loaded().empty());
}

TEST_F(ReloadTest, UnloadSendsCommandTwoAndForgetsTheList) {
    uint32_t count = 9;
    EXPECT_EQ(1, UnloadVirusBases(&instance_, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(nullptr, instance_.bases);
    EXPECT_EQ(std::vector<std::string>({"2"}), Sent());
    fake_.unloadAnswer = -1;
    EXPECT_EQ(0, UnloadVirusBases(&instance_, &count));
}

} // namespace
