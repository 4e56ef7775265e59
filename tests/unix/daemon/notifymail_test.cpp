#include "unix/daemon/notifymail.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "tests/unix/daemon_fixture.h"
#include "unix/config/daemonsettings.h"

namespace {

struct CommandCase {
    const char* mailCommand;
    const char* command;
    const char* subjectHeader;
};

TEST(MailCommandTest, FirstPercentSIsTheQuotedSubjectAndNothingIsAFormat) {
    const CommandCase cases[] = {
        {"sendmail -t", "sendmail -t", "Subject: Your virus bases are obsolete.\r\n"},
        {"mail -s %s root", "mail -s \"Your virus bases are obsolete.\" root", ""},
        {"mail -s %s %s", "mail -s \"Your virus bases are obsolete.\" %s", ""},
        {"mail %d%n%x root", "mail %d%n%x root", "Subject: Your virus bases are obsolete.\r\n"},
        {"mail %%s", "mail %\"Your virus bases are obsolete.\"", ""},
    };
    for (const auto& c : cases) {
        std::string command, header;
        BuildMailCommand(c.mailCommand, kObsoleteBasesSubject, &command, &header);
        EXPECT_EQ(command, c.command) << c.mailCommand;
        EXPECT_EQ(header, c.subjectHeader) << c.mailCommand;
    }
}

// The signals 1 to 31 of a mask line of /proc/<pid>/status; all ones when the line is missing.
uint32_t StandardSignals(const std::string& status, const std::string& field) {
    const size_t at = status.find(field);
    if (at == std::string::npos) return ~0u;
    const unsigned long long mask = std::stoull(status.substr(at + field.size(), 16), nullptr, 16);
    return static_cast<uint32_t>(mask & 0x7fffffffu);
}

class MailTest : public DaemonFileLogTest {
protected:
    void SetUp() override {
        DaemonFileLogTest::SetUp();
        savedCommand_ = MailCommand;
        savedTo_ = MailTo;
        savedTimeout_ = MailCommandTimeoutSeconds;
    }
    void TearDown() override {
        MailCommand = savedCommand_;
        MailTo = savedTo_;
        MailCommandTimeoutSeconds = savedTimeout_;
        DaemonFileLogTest::TearDown();
    }
    // A command that keeps what it reads in `name` once it has read all of it.
    std::string Keep(const std::string& name) const {
        return "cat > '" + dir_ / name + ".part' && mv '" + dir_ / name + ".part' '" + dir_ / name + "'";
    }
    bool Arrives(const std::string& name) const {
        return WaitUntil([&] { return PathExists(dir_ / name); });
    }

    std::string savedCommand_, savedTo_;
    int savedTimeout_ = 0;
};

TEST_F(MailTest, LetterWithRecipientAndSubjectHeader) {
    MailTo = "admin@example.org";
    MailCommand = Keep("letter");
    ASSERT_EQ(NotifyObsoleteBases(), 1);
    ASSERT_TRUE(Arrives("letter"));
    EXPECT_EQ(
        ReadWholeFile(dir_ / "letter"),
        "To: admin@example.org\r\n"
        "Subject: Your virus bases are obsolete.\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=UTF-8\r\n"
        "\r\n"
        "Dear Administrator,your virus bases are not up to date. Please run updating script manually or "
        "use cron for this purpose.");
}

TEST_F(MailTest, SubjectOnTheCommandLineAndNoRecipient) {
    MailTo.clear();
    MailCommand = "echo %s > '" + dir_ / "args" + "'; " + Keep("letter");
    ASSERT_EQ(NotifyObsoleteBases(), 1);
    ASSERT_TRUE(Arrives("letter"));
    EXPECT_EQ(ReadWholeFile(dir_ / "args"), "Your virus bases are obsolete.\n");
    const std::string letter = ReadWholeFile(dir_ / "letter");
    EXPECT_EQ(letter.rfind("MIME-Version: 1.0\r\n", 0), 0u) << letter;
    EXPECT_EQ(letter.find("Subject:"), std::string::npos);
    EXPECT_EQ(letter.find("To:"), std::string::npos);
}

TEST_F(MailTest, EmptyCommandIsReportedAsNotSent) {
    MailCommand.clear();
    EXPECT_EQ(NotifyObsoleteBases(), 0);
    EXPECT_NE(
        Log().find("A notification sending is failed - no MailCommand is configured, the letter was not "
                   "sent !"),
        std::string::npos)
        << Log();
}

TEST_F(MailTest, ExitStatusOfTheCommandIsLogged) {
    ASSERT_EQ(
        SendNotificationMail(("cat > /dev/null; touch '" + dir_ / "ran" + "'; exit 3").c_str(), "", "x"), 1);
    ASSERT_TRUE(Arrives("ran"));
    EXPECT_TRUE(WaitUntil([&] {
        return Log().find("mail command exited with status 3") != std::string::npos;
    })) << Log();
}

TEST_F(MailTest, CommandThatNeverEndsIsKilledAtTheTimeLimit) {
    MailCommandTimeoutSeconds = 1;
    const std::string pidFile = dir_ / "pid";
    ASSERT_EQ(SendNotificationMail(("echo $$ > '" + pidFile + ".part'; mv '" + pidFile + ".part' '" +
                                    pidFile + "'; exec sleep 60")
                                       .c_str(),
                                   "", "x"),
              1);
    ASSERT_TRUE(Arrives("pid"));
    const pid_t pid = static_cast<pid_t>(std::stol(ReadWholeFile(pidFile)));
    ASSERT_GT(pid, 1);
    const bool gone = WaitUntil([&] { return kill(pid, 0) != 0 && errno == ESRCH; });
    if (!gone) kill(pid, SIGKILL);
    EXPECT_TRUE(gone);
    EXPECT_TRUE(WaitUntil([&] { return Log().find("timeout for mail command") != std::string::npos; }))
        << Log();
}

// The command holds no descriptor of the daemon's, has default dispositions and no blocked signal,
// whatever the daemon had.
TEST_F(MailTest, CommandInheritsNothingOfTheDaemon) {
    int extra[2];
    ASSERT_EQ(pipe(extra), 0); // not close-on-exec
    const int high = dup2(extra[0], 200);
    ASSERT_EQ(high, 200);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction oldTerm {
    }, oldHup{};
    sigaction(SIGTERM, &ignore, &oldTerm);
    sigaction(SIGHUP, &ignore, &oldHup);
    sigset_t usr2, savedMask;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    sigprocmask(SIG_BLOCK, &usr2, &savedMask);

    const std::string report = dir_ / "report";
    // The shell reads its own status with builtins: while it forks a reader, it blocks every signal.
    const std::string command = "for n in 0 1 2 " + std::to_string(extra[0]) + " " +
                                std::to_string(extra[1]) +
                                " 200; do [ -e /proc/$$/fd/$n ] && echo fd$n; done > '" + report +
                                ".part'; while IFS= read -r l; do case $l in SigBlk:*|SigIgn:*) echo "
                                "\"$l\";; esac; done < /proc/$$/status >> '" +
                                report + ".part'; cat > /dev/null; mv '" + report + ".part' '" + report + "'";
    const int sent = SendNotificationMail(command.c_str(), "", "x");

    sigprocmask(SIG_SETMASK, &savedMask, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    sigaction(SIGHUP, &oldHup, nullptr);
    close(extra[0]);
    close(extra[1]);
    close(high);
    ASSERT_EQ(sent, 1);
    ASSERT_TRUE(Arrives("report"));

    const std::string text = ReadWholeFile(report);
    EXPECT_EQ(text.substr(0, text.find("Sig")), "fd0\nfd1\nfd2\n");
    // Signals 1 to 31: the ones above belong to the C library and the emulator, not to the daemon.
    EXPECT_EQ(StandardSignals(text, "SigIgn:\t"), 0u) << text;
    EXPECT_EQ(StandardSignals(text, "SigBlk:\t"), 0u) << text;
}

TEST_F(MailTest, CallersSignalMaskComesBack) {
    sigset_t chld, before, after;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    sigprocmask(SIG_BLOCK, &chld, &before);
    ASSERT_EQ(SendNotificationMail(Keep("letter").c_str(), "", "x"), 1);
    sigprocmask(SIG_SETMASK, nullptr, &after);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    EXPECT_TRUE(sigismember(&after, SIGCHLD));
    ASSERT_TRUE(Arrives("letter"));
}

} // namespace
