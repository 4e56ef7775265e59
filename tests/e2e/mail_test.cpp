// The obsolete-bases letter of a real start and of a reload, through a mail command that keeps
// what it is given.
#include <dirent.h>

#include "daemon_process.h"

namespace e2e {
namespace {

// The letters kept so far, each as its own file named letter.<shell pid>.
std::vector<std::string> Letters(const Daemon& d) {
    std::vector<std::string> out;
    DIR* dir = opendir(d.Path("mail").c_str());
    if (!dir) return out;
    while (const dirent* e = readdir(dir))
        if (strncmp(e->d_name, "letter.", 7) == 0) out.push_back(ReadFile(d.Path("mail/") + e->d_name));
    closedir(dir);
    return out;
}

class ObsoleteBasesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(mkdir(d_.Path("updates").c_str(), 0700), 0);
        ASSERT_EQ(mkdir(d_.Path("mail").c_str(), 0700), 0);
        // Updated in 2001: far older than the one hour allowed.
        ASSERT_TRUE(WriteFile(d_.Path("updates/timestamp"), "1000000000\n"));
        d_.Set("MaxBasesObsolescencePeriod", "1");
        d_.Set("MailTo", "admin@example.org");
    }
    // A command line that keeps the letter, and its first argument, once it has all of it.
    std::string Keeper(const std::string& argument) const {
        const std::string part = d_.Path("mail/part.$$");
        return "\"echo " + argument + " > " + d_.Path("mail/args.$$") + "; cat > " + part + " && mv " + part +
               " " + d_.Path("mail/letter.$$") + "\"";
    }

    Daemon d_;
};

const char kNotice[] = "Dear Administrator,Your virus bases are not up to date. Please run updating script "
                       "manually or use cron for this purpose.";
const char kBody[] = "Dear Administrator,your virus bases are not up to date. Please run updating script "
                     "manually or use cron for this purpose.";

TEST_F(ObsoleteBasesTest, LetterAtStartAndAgainAtReload) {
    d_.Set("MailCommand", Keeper("none"));
    ASSERT_TRUE(d_.StartDaemon());
    EXPECT_NE(d_.StartOutput().find(kNotice), std::string::npos) << d_.StartOutput();
    ASSERT_TRUE(WaitFor([&] { return Letters(d_).size() == 1; }));
    EXPECT_EQ(Letters(d_)[0], std::string("To: admin@example.org\r\n"
                                          "Subject: Your virus bases are obsolete.\r\n"
                                          "MIME-Version: 1.0\r\n"
                                          "Content-Type: text/plain; charset=UTF-8\r\n"
                                          "\r\n") +
                                  kBody);
    kill(d_.Master(), SIGHUP);
    EXPECT_TRUE(WaitFor([&] { return Letters(d_).size() == 2; })) << d_.Log();
    EXPECT_EQ(d_.Stop(), 0);
    EXPECT_EQ(d_.Leftovers(), 0);
}

TEST_F(ObsoleteBasesTest, SubjectOnTheCommandLine) {
    d_.Set("MailCommand", Keeper("%s"));
    const RunResult r = d_.Run({"--check-only"});
    EXPECT_EQ(r.status, 0) << r.output;
    ASSERT_TRUE(WaitFor([&] { return Letters(d_).size() == 1; })) << r.output;
    const std::string letter = Letters(d_)[0];
    EXPECT_EQ(letter.find("Subject:"), std::string::npos) << letter;
    EXPECT_EQ(letter.rfind("To: admin@example.org\r\nMIME-Version: 1.0\r\n", 0), 0u) << letter;
    DIR* dir = opendir(d_.Path("mail").c_str());
    std::string args;
    while (const dirent* e = readdir(dir))
        if (strncmp(e->d_name, "args.", 5) == 0) args = ReadFile(d_.Path("mail/") + e->d_name);
    closedir(dir);
    EXPECT_EQ(args, "Your virus bases are obsolete.\n");
}

TEST_F(ObsoleteBasesTest, WithoutMailCommandTheNoticeSaysSo) {
    const RunResult r = d_.Run({"--check-only"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("the letter was not sent"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Error occured while sending notification about obsolete bases to admin"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find(kNotice), std::string::npos) << r.output;
}

} // namespace
} // namespace e2e
