// The reply writer of the mail walk: result word, lists and statistics by the request's OPT1, then the
// object, which is removed once sent.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/logwriter.h"
#include "shell/host/hostfiles.h"
#include "shell/host/hostreport.h"
#include "shell/host/memfile.h"
#include "shell/scan/requestoption.h"
#include "shell/scan/scantask.h"
#include "tests/base/scratch_dir.h"
#include "tests/unix/logcapture.h"
#include "tests/unix/peer.h"
#include "unix/protocol/scanrequest.h"

namespace {

std::string String(const std::string& text) {
    return Word(static_cast<uint32_t>(text.size() + 1)) + text + std::string(1, '\0');
}

class ScanReplyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearFoundLists();
        RequestOptionWord = 0;
    }
    void TearDown() override {
        ClearFoundLists();
        FreeMemoryFiles();
        RequestOptionWord = 0;
        RequestReasonText = nullptr;
    }
    // What SendScanReply writes, and its answer.
    std::string Reply(uint32_t scanFlags, const char* object, int* answer = nullptr) {
        SocketPair pair;
        TimeBudget budget = 5000;
        const int sent = SendScanReply(pair.ours, budget, &task, scanFlags, object);
        if (answer) *answer = sent;
        pair.CloseOurs();
        return PeerReadAll(pair.theirs);
    }

    LogCapture log;
    ScanTask task{nullptr, 0, kScanStackBudget};
};

TEST_F(ScanReplyTest, ListsByTheRequestOptionsThenTheObject) {
    RequestOptionWord = (1u << 0) | (1u << 22) | (1u << 23) | (1u << 2);
    FoundList.AddString("infected with EICAR-Test-File");
    TaggedList.AddString("EICAR-Test-File,K");
    RequestReasonText = "rejected by rule 3";
    task.CountInfected(0);
    task.CountDeleted();
    ASSERT_EQ(CreateMemoryFileList(), 0);
    const char* name = AddMemoryFile("part", 4, "mail.out");
    ASSERT_NE(name, nullptr);
    const std::string reply = Reply(0, name);
    EXPECT_EQ(reply, Word(0x180120) + Word(1) + String("infected with EICAR-Test-File") + Word(1) +
                         String("EICAR-Test-File,K") + String("rejected by rule 3") + Word(4) + Word(0x20) +
                         Word(1) + Word(0x100) + Word(1) + Word(0x80000) + Word(1) + Word(0x100000) +
                         Word(1) + Word(4) + "part");
    EXPECT_EQ(GetMemoryFileData(nullptr, "mail.out"), nullptr) << "the object is removed once sent";
    EXPECT_EQ(FoundList.Count(), 0u);
    EXPECT_EQ(TaggedList.Count(), 0u);
}

TEST_F(ScanReplyTest, NoObjectOrOneThatCannotBeOpened) {
    EXPECT_EQ(Reply(0, nullptr), Word(0x100000));
    EXPECT_EQ(Reply(0, ""), Word(0x100000));
    EXPECT_EQ(Reply(0, "/nonexistent/object"), Word(0x100000) + Word(0));
    RequestOptionWord = 1u << 23;
    EXPECT_EQ(Reply(0, nullptr), Word(0x100000) + Word(0));
}

TEST_F(ScanReplyTest, FileObjectIsSentAndRemoved) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Write("out.eml", std::string(40000, 'm')));
    const std::string path = dir / "out.eml";
    int answer = -1;
    EXPECT_EQ(Reply(0, path.c_str(), &answer), Word(0x100000) + Word(40000) + std::string(40000, 'm'));
    EXPECT_EQ(answer, 0);
    struct stat st;
    EXPECT_NE(lstat(path.c_str(), &st), 0);
}

} // namespace
