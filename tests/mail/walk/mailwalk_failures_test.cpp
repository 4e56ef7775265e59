// The mail walk where something goes wrong or is refused: time-outs, a write-back or backup that
// fails, messages that are not walked, and the details of what is written back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include "mail/mime/base64.h"
#include "mail/walk/headerrules.h"
#include "mail/walk/mailwalk.h"
#include "shell/archive_maker.h"
#include "shell/host/memfile.h"
#include "tests/mail/walk/walk_fixture.h"

namespace {

std::string Base64Of(const std::string& data) {
    std::string out;
    Base64Encode(data, out);
    return out;
}

std::string Part(const std::string& data, const char* name) {
    return std::string("Content-Type: application/octet-stream; name=\"") + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + Base64Of(data);
}

std::string TwoParts(const std::string& first, const std::string& second) {
    return "From: a@example.org\r\nSubject: two\r\nContent-Type: multipart/mixed; "
           "boundary=\"BB\"\r\n\r\n--BB\r\n" +
           first + "\r\n--BB\r\n" + second + "\r\n--BB--\r\n";
}

std::string Infected() {
    return Eicar();
}

// An archive whose member the engine hands out without end: its scan ends only at the time-out.
std::string Endless() {
    return MakeTar({{"m", Signature("MARKER-ENDLESS")}});
}

class MailWalkFailures : public MailWalkTest {
protected:
    WalkRun ScanObject(const std::string& mail, uint32_t opt1, int named, uint32_t size,
                       const std::function<void()>& setup = nullptr) {
        return Run(
            opt1,
            [&](int fd) {
                TimeBudget budget = kUnlimitedBudget;
                return ScanMailObject(fd, budget, size, named, "client.eml");
            },
            [&] {
                CreateMemoryFileList();
                AddMemoryFile(mail.data(), static_cast<uint32_t>(mail.size()), "client.eml");
                if (setup) setup();
            });
    }
};

// A time-out stops the walk and the write-back, whether it strikes between two parts or in the last
// one; what was deleted before it is not claimed as treated.
TEST_F(MailWalkFailures, TimeOutStopsTheWalkAndTheWriteBack) {
    const struct {
        const char* what;
        std::string mail;
        size_t found;
    } cases[] = {
        {"between two parts", TwoParts(Part(Endless(), "slow.bin"), Part(Infected(), "late.bin")), 0},
        {"during the last part", TwoParts(Part(Infected(), "early.bin"), Part(Endless(), "slow.bin")), 1},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(dir.Write("mail", c.mail));
        const WalkRun run = ScanPath(dir / "mail", kWantFound | kWantDelete, [] { FileTimeout = 1; });
        EXPECT_EQ(c.mail, ReadWholeFile(dir / "mail")) << c.what;
        EXPECT_TRUE(run.left.result & kMailTimedOut) << c.what;
        EXPECT_TRUE(run.word & 0x200) << std::hex << run.word << " " << c.what;  // time-outs
        EXPECT_FALSE(run.word & 0x100) << std::hex << run.word << " " << c.what; // nothing treated
        EXPECT_EQ(c.found, run.found.size()) << c.what;
        EXPECT_FALSE(run.hasObject) << c.what;
        ExpectClean(run, c.what);
        EXPECT_EQ(std::vector<std::string>(), TempFiles()) << c.what;
    }
}

// A write-back over the file size limit leaves the mail file whole, sends no object, leaves no
// temporary file and reports a write error with nothing treated.
TEST_F(MailWalkFailures, AFailedWriteLeavesTheOriginalWhole) {
    const std::string mail = TwoParts(Part("clean", "a.bin"), Part(Infected(), "b.bin"));
    ASSERT_TRUE(dir.Write("mail", mail));
    const auto limit = [&] {
        const rlim_t size = mail.size();
        struct rlimit rl = {size, size};
        setrlimit(RLIMIT_FSIZE, &rl);
    };
    WalkRun run = ScanPath(dir / "mail", kWantFound | kWantDelete, limit);
    EXPECT_EQ(mail, ReadWholeFile(dir / "mail"));
    EXPECT_EQ(0x40 | 1, run.left.result);
    EXPECT_EQ(0x22u, run.word); // write errors, infected
    EXPECT_FALSE(run.hasObject);
    EXPECT_NE(std::string::npos, run.log.find("/mail - error writing cured message!\n")) << run.log;
    ExpectClean(run, "in place");
    EXPECT_EQ(std::vector<std::string>{"mail"}, [&] {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir.path().c_str())) {
            while (const dirent* e = readdir(d))
                if (e->d_name[0] != '.' && std::string(e->d_name) != "tmp") names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }());

    // The same into a temporary file for the client: no object, no file left.
    run = ScanObject(mail, kWantFound | kWantDelete, 1, static_cast<uint32_t>(mail.size()), limit);
    EXPECT_EQ(0x40 | 1, run.left.result);
    EXPECT_EQ(0x22u, run.word);
    EXPECT_FALSE(run.hasObject);
    ExpectClean(run, "temporary");
    EXPECT_EQ(std::vector<std::string>(), TempFiles());
}

TEST_F(MailWalkFailures, BackupCopies) {
    const std::string mail = TwoParts(Part("clean", "a.bin"), Part(Infected(), "b.bin"));
    const std::string backups = dir / "backup";
    ASSERT_EQ(0, mkdir(backups.c_str(), 0700));
    ASSERT_TRUE(dir.Write("mail", mail));

    // A backup that cannot be made: the client still gets its answer, the file stays as it was.
    WalkRun run = ScanPath(dir / "mail", kWantFound | kWantDelete, [&] {
        snprintf(BackupFilesTo, sizeof BackupFilesTo, "%s", (dir / "missing").c_str());
    });
    EXPECT_EQ(mail, ReadWholeFile(dir / "mail"));
    EXPECT_EQ(0x22u, run.word);
    EXPECT_EQ(1u, run.found.size());
    EXPECT_NE(std::string::npos, run.log.find("Error saving backup file!\n")) << run.log;
    ExpectClean(run, "failed backup");

    // A backup that can: the original in it, the message rewritten.
    run = ScanPath(dir / "mail", kWantFound | kWantDelete,
                   [&] { snprintf(BackupFilesTo, sizeof BackupFilesTo, "%s", backups.c_str()); });
    EXPECT_EQ(0x180120u, run.word);
    EXPECT_NE(mail, ReadWholeFile(dir / "mail"));
    const size_t at = run.log.find("Backup copy created in '" + backups + "/mail.");
    ASSERT_NE(std::string::npos, at) << run.log;
    const size_t begin = run.log.find('\'', at) + 1;
    const std::string backup = run.log.substr(begin, run.log.find('\'', begin) - begin);
    EXPECT_EQ(mail, ReadWholeFile(backup));
    ExpectClean(run, "backup");
}

// A mail object of the client: the changed message goes back as the object, through a temporary file
// that is gone afterwards.
TEST_F(MailWalkFailures, ObjectsOfTheClient) {
    const std::string mail = TwoParts(Part("clean", "a.bin"), Part(Infected(), "b.bin"));
    WalkRun run = ScanObject(mail, kWantFound | kWantDelete, 0, static_cast<uint32_t>(mail.size()));
    EXPECT_EQ(0x201, run.left.result);
    EXPECT_EQ(0x180120u, run.word);
    ASSERT_TRUE(run.hasObject);
    EXPECT_NE(std::string::npos, run.object.find("This part of message has been infected")) << run.object;
    EXPECT_EQ(std::string::npos, run.object.find(Base64Of(Infected()).substr(0, 40)));
    EXPECT_NE(std::string::npos, run.log.find("DATA[")) << run.log;
    ExpectClean(run, "object");
    EXPECT_EQ(std::vector<std::string>(), TempFiles());

    // An object shorter than its size word: not read whole, not walked, no answer.
    run = ScanObject(mail, kWantFound, 1, static_cast<uint32_t>(mail.size() + 10));
    EXPECT_EQ(-1, run.left.result);
    EXPECT_NE(std::string::npos,
              run.log.find("client.eml - error operating with file's memory image! (Read)\n"))
        << run.log;
    ExpectClean(run, "short object");
}

// Messages the walk hands back (-1: scan them as plain files) or answers without a walk.
TEST_F(MailWalkFailures, MessagesNotWalked) {
    const struct {
        const char* what;
        std::string mail;
        int result;
        uint32_t word; // 0: no reply
        const char* logLine;
    } cases[] = {
        {"no header field at all", "\r\nbody only\r\n", -1, 0,
         " - no valid rfc822 headers were found by the daemons parser, pass object to engine as is\n"},
        {"a blank before the colon", "From: a@b\r\nSubject : x\r\n\r\nbody\r\n", -1, 0,
         " - an invalid rfc822 character with code 0X20 in the 7 position of the header(field name) number "
         "1, "
         "pass object to engine as is\n"},
        {"an 8-bit body byte", "Subject: caf\xE9 x\r\n\r\nbody\r\n", -1, 0,
         " - an invalid rfc822 character with code 0XE9 in the 12 position of the header(field body) number "
         "0, "
         "pass object to engine as is\n"},
        {"a field without its line end", "Subject: x", -1, 0,
         " - a CR or CRLF absent at the end of the header number 0, pass object to engine as is\n"},
        // A partial message cannot be put together: it is answered skipped, once its fragment has been
        // looked at (and found clean).
        {"partial",
         "Content-Type: message/partial; id=\"a@b\"; number=1\r\n\r\nSubject: part one\r\n\r\nclean", 0x1000,
         0x101000, " - partial message, skipped\n"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(dir.Write("mail", c.mail));
        const WalkRun run = ScanPath(dir / "mail", kWantFound | kWantDelete);
        EXPECT_EQ(c.result, run.left.result) << c.what;
        EXPECT_EQ(c.word, run.word) << std::hex << c.what;
        if (c.logLine) {
            EXPECT_NE(std::string::npos, run.log.find(dir / "mail" + c.logLine)) << c.what << "\n" << run.log;
        }
        EXPECT_EQ(c.mail, ReadWholeFile(dir / "mail")) << c.what;
        ExpectClean(run, c.what);
    }
}

// What the walk writes back: the envelope in front again, CR LF only in the headers and the parts it
// rewrote, no field added by reading, untouched binary bytes as they were.
TEST_F(MailWalkFailures, WrittenBackAsItCameButForTheChangedPart) {
    const std::string envelope = "P sender <a@example.org>\nR <b@example.org>\n\n";
    const std::string binary = "bin\nary\r\rdata\n\x80\xff";
    const std::string mail =
        "From: a@example.org\nSubject: lf only\nContent-Type: multipart/mixed; boundary=BB\n\n"
        "--BB\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: binary\n\n" +
        binary +
        "\n--BB\nContent-Type: text/plain\n\nplain text\nsecond line\n"
        "--BB\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n" +
        Base64Of(Infected()) + "\n--BB--\n";
    ASSERT_TRUE(dir.Write("mail", envelope + mail));
    const WalkRun run = ScanPath(dir / "mail", kWantFound | kWantDelete);
    EXPECT_EQ(0x180120u, run.word);
    const std::string written = ReadWholeFile(dir / "mail");
    ASSERT_EQ(envelope, written.substr(0, envelope.size()));
    // The untouched part keeps its own bytes, its LF-only header lines among them.
    EXPECT_NE(std::string::npos, written.find("\n--BB\r\nContent-Type: application/octet-stream\n"
                                              "Content-Transfer-Encoding: binary\n\n" +
                                              binary + "\r\n--BB"))
        << written;
    EXPECT_NE(std::string::npos, written.find("From: a@example.org\r\nSubject: lf only\r\n")) << written;
    EXPECT_NE(std::string::npos, written.find("plain text\nsecond line")) << written;
    // One field each for the binary part and the notice; none added to the plain part.
    size_t fields = 0;
    for (size_t at = written.find("Content-Transfer-Encoding"); at != std::string::npos;
         at = written.find("Content-Transfer-Encoding", at + 1))
        ++fields;
    EXPECT_EQ(2u, fields) << written;
    EXPECT_EQ(std::string::npos, written.find("Content-Description")) << written;
    ExpectClean(run, "written back");
}

TEST_F(MailWalkFailures, ExtendedMailInfo) {
    const std::string mail =
        "Received: from relay (relay [10.1.2.3]) by mx; Mon, 1 Jan 2024 00:00:00 +0000\r\n"
        "Received: from client (client [8.8.8.8]) by relay; Mon, 1 Jan 2024 00:00:00 +0000\r\n"
        "Subject: hello there\r\nContent-Type: text/plain\r\n\r\nbody\r\n";
    ASSERT_TRUE(dir.Write("mail", mail));
    const WalkRun run = ScanPath(dir / "mail", kWantFound, [] { LogExtendedMailInfo = 1; });
    const std::string name = dir / "mail";
    EXPECT_NE(std::string::npos,
              run.log.find(name + " - subject: hello there\n" + name + " - ip: 8.8.8.8 \n" + name +
                           " - from: (unknown) \n" + name + " - to: (unknown)\n"))
        << run.log;
    ExpectClean(run, "info");
}

// DebugMail files: new files of mode 0600 with the process id in their names; a link planted at a
// name is left alone.
TEST_F(MailWalkFailures, DumpFilesAreNewAndPrivate) {
    const std::string mail = TwoParts(Part("first", "a.bin"), Part("second", "b.bin"));
    ASSERT_TRUE(dir.Write("mail", mail));
    ASSERT_TRUE(dir.Write("victim", "keep"));
    const std::string victim = dir / "victim";
    const WalkRun run = ScanPath(dir / "mail", kWantFound, [&] {
        DebugMail = 1;
        const std::string planted = tempDir + "/tarvod.out." + std::to_string(getpid()) + ".0";
        if (symlink(victim.c_str(), planted.c_str()) != 0) _exit(3);
    });
    EXPECT_EQ("keep", ReadWholeFile(victim));
    std::vector<std::string> files = TempFiles();
    EXPECT_EQ(4u, files.size()); // the link, its decoded file, and both files of the second part
    for (const std::string& file : files) {
        struct stat st {};
        ASSERT_EQ(0, lstat((tempDir + "/" + file).c_str(), &st));
        if (!S_ISLNK(st.st_mode)) {
            EXPECT_EQ(0600u, st.st_mode & 0777) << file;
        }
        unlink((tempDir + "/" + file).c_str());
    }
    EXPECT_NE(std::string::npos, run.log.find(" +-application:octet-stream / base64 [6] (")) << run.log;
    EXPECT_NE(std::string::npos, run.log.find("\n \n multipart:mixed (body parts: 2)\n | \n +-")) << run.log;
    ExpectClean(run, "dump");
}

} // namespace

namespace {

// The header rules act only when the request asks for them; a part rule reaches the attachment of a
// forwarded message; the rejection is counted, answered with its reason and nothing is scanned.
TEST_F(MailWalkFailures, HeaderRulesRejectBeforeTheScan) {
    const std::string inner = "Content-Type: message/rfc822\r\n\r\nFrom: b@example.org\r\nContent-Type: "
                              "multipart/mixed; boundary=\"CC\"\r\n\r\n--CC\r\n" +
                              Part(Infected(), "evil.exe") + "\r\n--CC--\r\n";
    const std::string mail = TwoParts(Part("clean", "a.txt"), inner);
    ASSERT_TRUE(dir.Write("mail", mail));
    const auto rules = [] {
        if (AddPartRule("FileName = \"\\.exe$\"", 1) != 1) _exit(3);
    };
    WalkRun run = ScanPath(dir / "mail", kWantFound | kWantDelete | kWantRules | kWantReason, rules);
    EXPECT_EQ(0x20000, run.left.result);
    EXPECT_EQ(0x20000u, run.word) << std::hex << run.word;
    EXPECT_TRUE(run.found.empty());
    EXPECT_EQ("FileName = \"\\.exe$\"", run.reason);
    EXPECT_EQ(mail, ReadWholeFile(dir / "mail"));
    ExpectClean(run, "rejected");

    // Without OPT1 bit 5 the same rule does nothing: the message is scanned and the part deleted.
    run = ScanPath(dir / "mail", kWantFound | kWantDelete | kWantReason, rules);
    EXPECT_EQ(0x201, run.left.result);
    EXPECT_EQ(0x180120u, run.word) << std::hex << run.word;
    EXPECT_TRUE(run.reason.empty());
    ExpectClean(run, "rules off");
}

} // namespace

namespace {

// A mail file whose reads fail (-1, as for a folder) is not walked and gets no answer.
TEST_F(MailWalkFailures, UnreadableMailFile) {
    const std::string folder = dir / "folder";
    ASSERT_EQ(0, mkdir(folder.c_str(), 0700));
    const WalkRun run = ScanPath(folder, kWantFound);
    EXPECT_EQ(-1, run.left.result);
    EXPECT_EQ(0u, run.word);
    ExpectClean(run, "folder");
}

// A part that decodes with errors is scanned all the same, after a warning naming the encoding.
TEST_F(MailWalkFailures, DecodingErrorsWarnAndScanAllTheSame) {
    const std::string mail =
        TwoParts("Content-Type: text/plain; name=\"q.txt\"\r\nContent-Transfer-Encoding: "
                 "quoted-printable\r\n\r\n" +
                     Signature("APPENDED") + " =ZZ broken",
                 Part("fine", "b.bin"));
    ASSERT_TRUE(dir.Write("mail", mail));
    const WalkRun run = ScanPath(dir / "mail", kWantFound);
    EXPECT_EQ(1, run.left.result);
    EXPECT_EQ(1u, run.found.size());
    EXPECT_NE(std::string::npos,
              run.log.find(dir / "mail" +
                           "/q.txt - Warning: errors were occured during quoted-printable-decoding "
                           "of this part of the message\n"))
        << run.log;
    ExpectClean(run, "decoding");
}

} // namespace
