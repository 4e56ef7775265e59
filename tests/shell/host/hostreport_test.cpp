#include "shell/host/hostreport.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "tests/shell/engine_calls.h"
#include "shell/host/hosttask.h"
#include "shell/scan/requestoption.h"
#include "tests/shell/shell_fixture.h"

namespace {

std::vector<std::string> Strings(tvStringList& list) {
    std::vector<std::string> out;
    for (auto* s = static_cast<const char*>(list.First()); s; s = static_cast<const char*>(list.Next()))
        out.push_back(s);
    return out;
}

// A scan context that records what the services asked of it, with an
// engine whose command 18 answers engineClass and engineName.
class FakeTask : public HostTask {
public:
    int32_t engineClass = -1;
    std::string engineName;
    int32_t foundClass = -1;
    uint32_t containerLevel = 0;
    uint32_t packerWord = 1;
    uint32_t archivesWord = 0x11;
    uint32_t mailWord = 0x22;
    int32_t mayCure = 1;
    char name[TARVO_FINDING_NAME_SIZE] = {0};

    EngineDispatcher HostDispatcher() override { return Dispatch; }
    char* HostFindingName() override { return name; }
    void HostSetFoundClass(int32_t cls) override { foundClass = cls; }
    bool outOfMemory = false; // printing the object's line throws std::bad_alloc
    void HostPrintObjectLine() override { Print(); }
    void HostPrintObjectName() override { Print(); }
    void HostRaiseContainerLevel() override { containerLevel++; }
    uint32_t HostPackerReportWord() override { return packerWord; }
    uint32_t HostArchivesWord() override { return archivesWord; }
    uint32_t HostMailFilesWord() override { return mailWord; }
    int32_t HostMayCure() override { return mayCure; }

private:
    void Print() const {
        if (outOfMemory) throw std::bad_alloc();
        PrintMessage("%s", "/scan/object");
    }
    static TARVO_ALIGN_STACK int32_t TARVO_CDECL Dispatch(void* context, uint32_t command, ...) {
        auto* task = static_cast<FakeTask*>(static_cast<HostTask*>(context));
        if (command != TARVO_CMD_FINDING_CLASS) return -1;
        va_list args;
        va_start(args, command);
        char* buffer = va_arg(args, char*);
        va_end(args);
        if (task->engineClass > 0)
            std::snprintf(buffer, TARVO_FINDING_NAME_SIZE, "%s", task->engineName.c_str());
        return task->engineClass;
    }
};

class HostReportTest : public ShellTest {
protected:
    void* Context() { return static_cast<HostTask*>(&task_); }
    FakeTask task_;
};

TEST_F(HostReportTest, KindOfTheCallerStandsWhenTheEngineGivesNoClass) {
    EXPECT_EQ(0, HostVirusFound(nullptr, Context(), "EICAR-Test-File", TARVO_CLASS_INFECTED));
    EXPECT_EQ(TARVO_CLASS_INFECTED, task_.foundClass);
    EXPECT_STREQ("EICAR-Test-File", task_.name);
    EXPECT_EQ(std::vector<std::string>{"infected with EICAR-Test-File"}, Strings(FoundList));
    EXPECT_EQ(std::vector<std::string>{"infected with EICAR-Test-File"}, Strings(FoundListCopy));
    EXPECT_EQ(std::vector<std::string>{"EICAR-Test-File,K"}, Strings(TaggedList));
    EXPECT_TRUE(HasLine("/scan/object infected with EICAR-Test-File\n")) << AllLines();
}

struct ClassCase {
    int32_t cls;
    const char* text;
    const char* ownTag;
    const char* plainTag;
};

TEST_F(HostReportTest, EveryClassHasItsTextAndTagTheExtendedOnesOnlyWhenAskedFor) {
    const ClassCase cases[] = {
        {1, "infected with", ",K", ",K"},
        {2, "infected with modification of", ",M", ",M"},
        {4, "probably infected with", ",S", ",S"},
        {5, "contains an advertising software", ",A", ",K"},
        {6, "contains a dialer program", ",D", ",K"},
        {7, "contains a joke (hoax) program", ",J", ",K"},
        {8, "contains a potentially dangerous software", ",R", ",K"},
        {9, "contains an intrusion tool", ",H", ",K"},
    };
    for (const ClassCase& c : cases) {
        for (uint32_t option : {0u, 0x80000000u}) {
            SCOPED_TRACE(std::to_string(c.cls) + (option ? " extended" : " plain"));
            ClearFoundLists();
            CapturedLines().clear();
            RequestOptionWord = option;
            task_.engineClass = c.cls;
            task_.engineName = "Tarvo.Test.Name";
            EXPECT_EQ(0, HostVirusFound(nullptr, Context(), "given", TARVO_CLASS_INFECTED));
            EXPECT_EQ(c.cls, task_.foundClass);
            EXPECT_EQ(std::vector<std::string>{std::string(c.text) + " Tarvo.Test.Name"}, Strings(FoundList));
            std::string tag = option ? c.ownTag : c.plainTag;
            EXPECT_EQ(std::vector<std::string>{"Tarvo.Test.Name" + tag}, Strings(TaggedList));
            EXPECT_TRUE(HasLine("/scan/object " + std::string(c.text) + " Tarvo.Test.Name\n")) << AllLines();
        }
    }
}

TEST_F(HostReportTest, ClassesWithoutATextAndNullContextsAddNothing) {
    for (int32_t engineClass : {3, 10, 0}) {
        task_.engineClass = engineClass;
        EXPECT_EQ(0, HostVirusFound(nullptr, Context(), "name", TARVO_CLASS_INFECTED));
    }
    task_.engineClass = -2;
    EXPECT_EQ(0, HostVirusFound(nullptr, Context(), "name", 3));
    EXPECT_EQ(0, HostVirusFound(nullptr, Context(), "name", 7)) << "the caller's kind is 1, 2 or 4 only";
    EXPECT_EQ(0, HostVirusFound(nullptr, nullptr, "name", TARVO_CLASS_INFECTED));
    EXPECT_EQ(0, HostVirusFound(nullptr, Context(), nullptr, 3));
    EXPECT_EQ(-1, task_.foundClass);
    EXPECT_EQ(0u, FoundList.Count());
    EXPECT_EQ(0u, TaggedList.Count());
    EXPECT_EQ(0u, FoundListCopy.Count());
    EndMessageLine(0);
    EXPECT_TRUE(CapturedLines().empty()) << AllLines();
}

TEST_F(HostReportTest, WithoutLogInfectedTheFindingIsListedButNotLogged) {
    LogInfected = 0;
    EXPECT_EQ(0, HostVirusFound(nullptr, Context(), "Quiet.Finding", TARVO_CLASS_SUSPICIOUS));
    EXPECT_EQ(std::vector<std::string>{"probably infected with Quiet.Finding"}, Strings(FoundList));
    EndMessageLine(0);
    EXPECT_TRUE(CapturedLines().empty()) << "the object line was dropped too: " << AllLines();
}

TEST_F(HostReportTest, OriginNameMarksTheObject) {
    EXPECT_EQ(0, HostVirusFound(nullptr, Context(), "Tarvo.Test.Origin", TARVO_CLASS_INFECTED));
    EXPECT_EQ(0, OriginFlag);
    EXPECT_EQ(0, HostVirusFound(nullptr, Context(), "Tarvo.Test.Origin.origin", TARVO_CLASS_INFECTED));
    EXPECT_EQ(1, OriginFlag);
}

TEST_F(HostReportTest, PackerLineOnlyWhenBothSwitchesAreOnButTheLevelAlwaysRises) {
    EXPECT_EQ(1, HostReportPacker(nullptr, Context(), "UPX", 1));
    EXPECT_EQ(1, HostReportPacker(nullptr, Context(), "Shield", 0));
    EXPECT_EQ(
        std::vector<std::string>({"/scan/object packed by UPX\n", "/scan/object immunized by Shield\n"}),
        CapturedLines());
    CapturedLines().clear();
    LogPacked = 0;
    EXPECT_EQ(1, HostReportPacker(nullptr, Context(), "UPX", 1));
    LogPacked = 1;
    task_.packerWord = 0;
    EXPECT_EQ(0, HostReportPacker(nullptr, Context(), "UPX", 1));
    EndMessageLine(0);
    EXPECT_TRUE(CapturedLines().empty()) << AllLines();
    EXPECT_EQ(4u, task_.containerLevel);
    EXPECT_EQ(0, HostReportPacker(nullptr, nullptr, "UPX", 1));
}

TEST_F(HostReportTest, QueryAnswersFromTheTaskAndTheGate) {
    struct Case {
        uint32_t code;
        int32_t answer;
        int32_t withoutTask;
    };
    const Case cases[] = {{0, 1, 0}, {1, 0, 0}, {2, 1, 1}, {3, 1, 1}, {4, 0x11, 0}, {5, 0x22, 0}, {6, 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.answer, HostQuery(nullptr, Context(), c.code)) << c.code;
        EXPECT_EQ(c.withoutTask, HostQuery(nullptr, nullptr, c.code)) << c.code;
    }
    task_.mayCure = 0;
    EXPECT_EQ(0, HostQuery(nullptr, Context(), TARVO_QUERY_MAY_CURE));
}

TEST_F(HostReportTest, ReportingRowsWorkThroughTheEngine) {
    PrepareEngines(TARVO_ENGINE_DLL);
    int index = LoadEngine();
    ASSERT_GE(index, 0) << AllLines();
    EngineDispatcher engine = EngineAt(static_cast<uint32_t>(index))->dispatcher;
    void* task = Context();
    EXPECT_EQ(0,
              CallRow(engine, task, TARVO_HS_VIRUS_FOUND, task, "Tarvo.Test.Adware", TARVO_CLASS_SUSPICIOUS));
    EXPECT_EQ(std::vector<std::string>{"Tarvo.Test.Adware,S"}, Strings(TaggedList));
    EXPECT_EQ(1, CallRow(engine, task, TARVO_HS_REPORT_PACKER, task, "UPX", 1));
    EXPECT_EQ(0x22, CallRow(engine, task, TARVO_HS_QUERY, task, TARVO_QUERY_MAIL_FILES));
    EXPECT_EQ(0, CallRow(engine, nullptr, TARVO_HS_VIRUS_FOUND, nullptr, "x", 1));

    // No exception unwinds into the engine: without memory for the object's line the finding is
    // still listed and counted, and the packer still answers.
    ClearFoundLists();
    task_.outOfMemory = true;
    LogPacked = 1;
    EXPECT_EQ(0, CallRow(engine, task, TARVO_HS_VIRUS_FOUND, task, "EICAR-Test-File", TARVO_CLASS_INFECTED));
    EXPECT_EQ(TARVO_CLASS_INFECTED, task_.foundClass);
    EXPECT_EQ(std::vector<std::string>{"infected with EICAR-Test-File"}, Strings(FoundList));
    EXPECT_EQ(1, CallRow(engine, task, TARVO_HS_REPORT_PACKER, task, "UPX", 1));
}

} // namespace
