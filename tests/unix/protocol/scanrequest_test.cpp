// Commands 1, 5 and 11 over a socket through the stand-in engine: the exact reply words, lists,
// statistics pairs and returned object of each request, and requests that must end the connection.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <algorithm>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "shell/archive_maker.h"
#include "shell/disk/drivemap.h"
#include "tests/unix/scan_server.h"
#include "unix/protocol/clientlogs.h"
#include "unix/protocol/scanrequest.h"
#include "unix/config/settingslife.h"
#include "unix/protocol/signalflags.h"
#include "unix/protocol/updatescript.h"

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// A pair of the statistics.
std::string Pair(uint32_t bit, uint32_t value) {
    return Word(bit) + Word(value);
}

std::string Object(const std::string& bytes) {
    return Word(static_cast<uint32_t>(bytes.size())) + bytes;
}

// OPT1 bits of the tests.
constexpr uint32_t kFound = 1u << 0, kReport = 1u << 1, kStats = 1u << 2, kCure = 1u << 6, kRename = 1u << 8,
                   kDelete = 1u << 9, kServerState = 1u << 21, kTagged = 1u << 22, kReason = 1u << 23,
                   kEnvelope = 1u << 24;

class ScanRequestTest : public ScanServerTest {
protected:
    std::string Curable() const { return Signature("CURABLE") + " rest"; }
    std::string Cured() const { return std::string(Signature("CURABLE").size(), '\0') + " rest"; }
    // Every request leaves the temporary folder empty.
    void TearDown() override { EXPECT_EQ(TempFiles(), std::vector<std::string>()); }
};

// Objects the client sends: in memory, and in a temporary file when they may not be held in memory.
TEST_F(ScanRequestTest, SentObjects) {
    const std::string eicarFound = "infected with EICAR-Test-File";
    const struct Case {
        const char* name;
        uint32_t opt1;
        std::string data;
        std::string reply;
    } cases[] = {
        {"clean, nothing asked", 0, "hello", Word(0x100000)},
        {"clean with statistics", kStats, "hello", Word(0x100000) + Word(1) + Pair(0x100000, 1)},
        {"clean with every list", kFound | kTagged | kReason | kReport, "hello",
         Word(0x100000) + List({}) + List({}) + Word(0) + List({"c.obj - Ok\n"})},
        {"infected with lists", kFound | kTagged | kReport | kStats, Eicar(),
         Word(0x20) + List({eicarFound}) + List({"EICAR-Test-File,K"}) +
             List({"c.obj infected with EICAR-Test-File\n"}) + Word(1) + Pair(0x20, 1)},
        {"infected, cure asked, incurable", kCure, Eicar(), Word(0x20)},
        {"cured: the object comes back", kCure | kStats, Curable(),
         Word(0x100120) + Word(3) + Pair(0x20, 1) + Pair(0x100, 1) + Pair(0x100000, 1) + Object(Cured())},
        {"deleted: the word 0 comes back", kDelete, Eicar(), Word(0x180120) + Word(0)},
        {"suspicious", kStats, Signature("SUSPICIOUS"),
         Word(0x100040) + Word(2) + Pair(0x40, 1) + Pair(0x100000, 1)},
    };
    for (uint32_t limit : {kMemoryFileMaxReceive, 0u}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (limit ? " (in memory)" : " (temporary file)"));
            const Exchange e = Serve(DataRequest(c.opt1, "c.obj", c.data) + Close(),
                                     [limit] { RequestMemoryLimit = limit; });
            EXPECT_EQ(e.reply, c.reply);
            EXPECT_EQ(e.lastResult, -1) << "the connection ends with the client's closing word";
            EXPECT_EQ(TempFiles(), std::vector<std::string>());
        }
    }
}

// The rename action gives a sent object's temporary file another name in the temporary folder: the
// file still goes with the request.
TEST_F(ScanRequestTest, RenamedObjectGoesWithTheRequest) {
    for (uint32_t opt1 : {kRename, kRename | kDelete}) {
        SCOPED_TRACE(opt1);
        const Exchange e = Serve(DataRequest(opt1 | kReport, "c.obj", Curable()) + Close(), [] {
            CreateSettings(); // the daemon's own settings
            RequestMemoryLimit = 0;
            LogProcessInfo = 0;
        });
        // Still infected (renamed is no treatment), so nothing goes back; the report tells the rename.
        EXPECT_EQ(e.reply,
                  Word(0x20) + List({"c.obj infected with Tarvo.Test.Curable\n", "c.obj - renamed!\n"}));
        EXPECT_EQ(e.lastResult, -1);
        EXPECT_EQ(TempFiles(), std::vector<std::string>());
    }
}

// Files on the server (size 0): nothing goes back unless OPT1 bit 21 asks for the word 0 of a changed file.
TEST_F(ScanRequestTest, ServerFiles) {
    const struct {
        const char* name;
        uint32_t opt1;
        std::string data; // empty: no file
        std::string reply;
        std::string after; // the file afterwards; "-" when it is gone
    } cases[] = {
        {"clean", kServerState, "hello", Word(0x100000), "hello"},
        {"infected, incurable", kServerState | kCure, Eicar(), Word(0x20), Eicar()},
        {"cured without bit 21", kCure, Curable(), Word(0x100120), Cured()},
        {"cured with bit 21", kCure | kServerState, Curable(), Word(0x100120) + Word(0), Cured()},
        {"deleted with bit 21", kDelete | kServerState, Eicar(), Word(0x180120) + Word(0), "-"},
        {"deleted without bit 21", kDelete, Eicar(), Word(0x180120), "-"},
        {"missing: a read error", kServerState | kStats, "",
         Word(0x100001) + Word(2) + Pair(1, 1) + Pair(0x100000, 1), "-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "object";
        unlink(path.c_str());
        if (!c.data.empty()) {
            ASSERT_TRUE(dir.Write("object", c.data));
        }
        const Exchange e = Serve(PathRequest(c.opt1, path) + Close());
        EXPECT_EQ(e.reply, c.reply);
        EXPECT_EQ(e.lastResult, -1);
        if (c.after == "-") {
            EXPECT_FALSE(Exists(path));
        } else {
            EXPECT_EQ(ReadWholeFile(path), c.after);
        }
    }
}

// Command 5: only the window of the server file is scanned; a window length of 0 is a command 1.
TEST_F(ScanRequestTest, WindowOfAServerFile) {
    const std::string prefix(100, 'p');
    ASSERT_TRUE(dir.Write("big", prefix + Eicar() + "tail"));
    const std::string path = dir / "big";
    const auto window = [&](uint32_t offset, uint32_t length) {
        return Word(5) + Word(offset) + Word(length) + Word(kReport) + String(path);
    };
    Exchange e = Serve(window(100, static_cast<uint32_t>(Eicar().size())) + Close());
    EXPECT_EQ(e.reply, Word(0x20) + List({path + " infected with EICAR-Test-File\n"}));
    EXPECT_EQ(e.lastResult, -1);
    e = Serve(window(0, 1000) + Close());
    EXPECT_EQ(e.reply, Word(0x100000) + List({path + " - Ok\n"}));
    // No window: the request carries its size word and its data.
    e = Serve(Word(5) + Word(7) + Word(0) + Word(0) + String("sent") +
              Word(static_cast<uint32_t>(Eicar().size())) + Eicar() + Close());
    EXPECT_EQ(e.reply, Word(0x20));
    // A window at or past the end of the file: no byte read, a read error and nothing found.
    const uint64_t end = prefix.size() + Eicar().size() + 4;
    for (const uint64_t offset : {end, end + 1, end + 100000}) {
        e = Serve(window(static_cast<uint32_t>(offset), 10) + Close());
        EXPECT_EQ(e.reply, Word(0x1) + List({path + " - read error!\n"})) << offset;
    }
    // Partly past the end: the bytes that are there are scanned.
    e = Serve(window(static_cast<uint32_t>(end - 4), 10) + Close());
    EXPECT_EQ(e.reply, Word(0x100000) + List({path + " - Ok\n"}));
    // Window words cut short: nothing is served.
    e = Serve(Word(5) + Word(7));
    EXPECT_EQ(e.reply, "");
    EXPECT_EQ(e.lastResult, -1);
}

// The mail envelope on the wire, and the one at the start of a mail file, which the scan leaves out.
TEST_F(ScanRequestTest, MailEnvelopes) {
    const auto text = [](const std::string& t) { return Word(static_cast<uint32_t>(t.size())) + t; };
    const std::string envelope =
        text("from@example.org") + Word(2) + text("a@example.org") + text("b@example.org");
    Exchange e =
        Serve(Word(1) + Word(kEnvelope | kStats) + envelope + String("m") + Word(5) + "hello" + Close());
    EXPECT_EQ(e.reply, Word(0x100000) + Word(1) + Pair(0x100000, 1));

    // The signature counts only at the start of the object: it is found once the envelope is skipped.
    const std::string mail = "P I 12-05-2004 10:00:00 0000 ____ ____ <from@example.org>\n"
                             "O L\n"
                             "\n";
    ASSERT_TRUE(dir.Write("mail", mail + Eicar()));
    e = Serve(PathRequest(0, dir / "mail") + Close());
    EXPECT_EQ(e.reply, Word(0x20));
    ASSERT_TRUE(dir.Write("notmail", "X" + mail + Eicar()));
    e = Serve(PathRequest(0, dir / "notmail") + Close());
    EXPECT_EQ(e.reply, Word(0x100000));
    // Sent data in a temporary file is a file like any other.
    e = Serve(DataRequest(0, "mail", mail + Eicar()) + Close(), [] { RequestMemoryLimit = 0; });
    EXPECT_EQ(e.reply, Word(0x20));

    // An envelope cut short ends the request before any reply.
    e = Serve(Word(1) + Word(kEnvelope) + text("from@example.org") + Word(2) + text("a@example.org"));
    EXPECT_EQ(e.reply, "");
    EXPECT_EQ(e.lastResult, -1);
    EXPECT_NE(e.log.find("Error reading envelope data (To)!"), std::string::npos) << e.log;
}

// Actions on an object read through a window: a command-5 window is part of a bigger file, whose
// bytes outside it stay; a mail file read after its envelope is one message, acted on with it.
TEST_F(ScanRequestTest, ActionsOnWindowsKeepWhatLiesOutside) {
    const std::string program = "MZ program text ";
    const std::string appended = program + Signature("APPENDED") + " appended";
    const std::string prefix = "From the mailbox: earlier messages\n";
    const std::string tail = "\nFrom the mailbox: later messages\n";
    const std::string envelope = "P I 12-05-2004 10:00:00 0000 ____ ____ <from@example.org>\nO L\n\n";
    const struct {
        const char* name;
        bool window; // command 5, else a mail file of command 1
        uint32_t opt1;
        std::string object;
        std::string reply;
        std::string after; // the file afterwards; "-" when it is gone
    } cases[] = {
        {"window: a delete is refused", true, kDelete, Eicar(), Word(0x22), prefix + Eicar() + tail},
        {"window: a cut is refused", true, kCure, appended, Word(0x22), prefix + appended + tail},
        {"window: a wipe stays inside", true, kCure, Curable(), Word(0x100120), prefix + Cured() + tail},
        {"mail file: deleted with its envelope", false, kDelete, Eicar(), Word(0x180120), "-"},
        {"mail file: the message is cut", false, kCure, appended, Word(0x100120), envelope + program},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "mbox";
        unlink(path.c_str());
        ASSERT_TRUE(dir.Write("mbox", c.window ? prefix + c.object + tail : envelope + c.object));
        const std::string request = c.window ? Word(5) + Word(static_cast<uint32_t>(prefix.size())) +
                                                   Word(static_cast<uint32_t>(c.object.size())) +
                                                   Word(c.opt1) + String(path)
                                             : PathRequest(c.opt1, path);
        const Exchange e = Serve(request + Close());
        EXPECT_EQ(e.reply, c.reply) << e.log;
        if (c.after == "-") {
            EXPECT_FALSE(Exists(path));
        } else {
            EXPECT_EQ(ReadWholeFile(path), c.after);
        }
    }
}

std::string TimeoutRequest(int32_t timeout, const std::string& name, const std::string& data) {
    return Word(1) + Word(0x80000000u | kStats) + Word(0x80000000u) + Word(4) +
           Word(static_cast<uint32_t>(timeout)) + String(name) + Word(static_cast<uint32_t>(data.size())) +
           data;
}

void StopOnUsr1(int) {
    StopFlag = 1;
}

TEST_F(ScanRequestTest, ClientTimeOuts) {
    // An archive whose walk never ends, and a configured time-out of 1 s.
    ASSERT_TRUE(dir.Write("big.tar", MakeTar({{"m", Signature("MARKER-ENDLESS")}})));
    const std::string endless = ReadWholeFile(dir / "big.tar");
    const auto oneSecond = [] { FileTimeout = 1; };

    // Negative: reported, and the configured time-out applies.
    Exchange e = Serve(TimeoutRequest(-5, "c", endless) + Close(), oneSecond);
    ASSERT_GE(e.reply.size(), 4u);
    EXPECT_EQ(e.reply.substr(0, 4), Word(0x100200)) << e.log;
    EXPECT_EQ(e.log.rfind("Invalid value for scan timeout was passed from client\n", 0), 0u) << e.log;
    EXPECT_NE(e.log.find(" - timeout!"), std::string::npos) << e.log;

    // Zero: no limit. The configured second passes without a time-out; then the scan is stopped
    // from outside, well after it.
    e = Serve(TimeoutRequest(0, "c", endless) + Close(), [] {
        FileTimeout = 1;
        signal(SIGUSR1, StopOnUsr1);
        const pid_t server = getpid();
        if (fork() == 0) {
            sleep(4);
            kill(server, SIGUSR1);
            _exit(0);
        }
    });
    // The stop ends the request without a reply; a time-out would have answered with its pair.
    EXPECT_EQ(e.reply.find(Pair(0x200, 1)), std::string::npos) << e.log;
    EXPECT_EQ(e.log.find("timeout!"), std::string::npos) << e.log;
    EXPECT_NE(e.log.find("c/m.3 - Ok"), std::string::npos) << "the walk went on\n" << e.log;

    // An archive whose walk never ends: the time-out of 1 s ends it.
    ASSERT_TRUE(dir.Write("big.tar", MakeTar({{"m", Signature("MARKER-ENDLESS")}})));
    e = Serve(Word(1) + Word(0x80000000u | kStats) + Word(0x80000000u) + Word(4) + Word(1) +
              String(dir / "big.tar") + Word(0) + Close());
    ASSERT_GE(e.reply.size(), 4u);
    EXPECT_EQ(e.reply.substr(0, 4), Word(0x100200)) << e.log;
    EXPECT_NE(e.reply.find(Pair(0x200, 1)), std::string::npos);
    EXPECT_NE(e.log.find(" - timeout!"), std::string::npos) << e.log;
    EXPECT_EQ(e.lastResult, -1);
}

// Requests that leave the rest of the connection unknown: the reply (when one can be given) carries the
// error, then the connection ends; what follows is never read as a command.
TEST_F(ScanRequestTest, HostileRequestsEndTheConnection) {
    const std::string marker = dir / "script-ran";
    const std::string script = dir / "update.pl";
    ASSERT_TRUE(dir.Write("update.pl", "#!/bin/sh\ntouch '" + marker + "'\n"));
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    // A command 9 and a command 2 hidden in the payload.
    const std::string hidden = Word(9) + Word(2);
    const struct {
        const char* name;
        std::string request;
        std::string reply;
        std::string log;
    } cases[] = {
        {"huge name length", Word(1) + Word(0) + Word(0xFFFFFFF0) + hidden, Word(4),
         "File name too long (4294967280 bytes, at most 4096)!"},
        {"name longer than a path", Word(1) + Word(0) + Word(4097) + hidden, Word(4),
         "File name too long (4097 bytes, at most 4096)!"},
        {"name without its NUL", Word(1) + Word(0) + Word(8) + hidden + Word(0), Word(16),
         "Error reading file name!"},
        {"name cut short", Word(1) + Word(0) + Word(100) + "abc", Word(16), "Error reading file name!"},
        {"no size word", Word(1) + Word(0) + String("n"), Word(0x100010), "Error reading file size!"},
        {"negative size", Word(1) + Word(0) + String("n") + Word(0x80000000u) + hidden, Word(0x100010),
         "Invalid input data!"},
        {"data cut short", Word(1) + Word(kStats) + String("n") + Word(100) + "only some",
         Word(1) + Word(1) + Pair(1, 0), "Error reading file data!"},
        {"data cut short into a temporary file", Word(1) + Word(0) + String("t") + Word(100) + "only some",
         Word(1), "Error reading file data!"},
        {"no option words", Word(1), "", ""},
        {"disk name longer than a path", Word(11) + Word(0) + Word(5000) + hidden, "",
         "Error reading file name size!"},
        {"disk name cut short", Word(11) + Word(0) + Word(10) + "/dev", "", "Error reading file name size!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool temporary = std::string(c.name).find("temporary") != std::string::npos;
        const Exchange e = Serve(c.request, [&] {
            UpdateScriptPath = script.c_str();
            if (temporary) RequestMemoryLimit = 0;
        });
        EXPECT_EQ(e.reply, c.reply);
        EXPECT_EQ(e.lastResult, -1);
        EXPECT_NE(e.log.find(c.log), std::string::npos) << e.log;
        EXPECT_FALSE(Exists(marker)) << "a command was read out of the payload";
    }
}

// Failures that leave the connection in step keep it.
TEST_F(ScanRequestTest, InvalidButWholeRequestKeepsTheConnection) {
    const Exchange e = Serve(Word(1) + Word(0) + Word(0) + Word(0) + Word(2) + Close());
    EXPECT_EQ(e.reply, Word(0x100010) + Word(600));
    EXPECT_NE(e.log.find("Invalid input data!"), std::string::npos);
}

// The limit of a name: 4096 bytes with its NUL are served (one more is refused above).
TEST_F(ScanRequestTest, NameAtTheLimitIsServed) {
    const Exchange e =
        Serve(DataRequest(0, std::string(kMaxRequestName - 1, 'n'), "hello") + Word(2) + Close());
    EXPECT_EQ(e.reply, Word(0x100000) + Word(600));
    EXPECT_EQ(e.log.find("too long"), std::string::npos) << e.log;
}

// A client type with its own log target: the request's lines go there, and the next request's lines go
// back to the configured log.
TEST_F(ScanRequestTest, ClientLogTargetLastsForTheRequest) {
    const std::string mailLog = dir / "mail.log";
    const auto typed = [](uint32_t type, const std::string& name) {
        return Word(1) + Word(0x80000000u) + Word(0x80000000u) + Word(2) + Word(type) + String(name) +
               Word(5) + "hello";
    };
    const Exchange e = Serve(typed(4, "first") + DataRequest(0, "second", "hello") + Close(),
                             [&] { ClientLogTargets["mail:"] = mailLog; });
    EXPECT_EQ(e.reply, Word(0x100000) + Word(0x100000));
    EXPECT_EQ(ReadWholeFile(mailLog), "<mail>: first - Ok\n");
    EXPECT_EQ(e.log, "second - Ok\n");
}

// Log lines cannot be split by a name: line ends in it are written escaped, whatever OPT2 says of
// non-printable names.
TEST_F(ScanRequestTest, NamesCannotSplitLogLines) {
    const std::string name = "a\nforged line\r";
    for (uint32_t opt2 : {0u, 1u << 25, 1u << 26}) {
        SCOPED_TRACE(opt2);
        const Exchange e =
            Serve(Word(1) + Word(0x80000000u) + Word(opt2) + String(name) + Word(5) + "hello" + Close());
        EXPECT_EQ(e.reply, Word(0x100000));
        EXPECT_EQ(std::count(e.log.begin(), e.log.end(), '\n'), 1) << e.log;
        EXPECT_EQ(e.log.find('\r'), std::string::npos) << e.log;
    }
}

// Command 11 on regular files standing in for disks.
class DiskRequestTest : public ScanRequestTest {
protected:
    void SetUp() override {
        ScanRequestTest::SetUp();
        devices = dir / "dev";
        ASSERT_EQ(mkdir(devices.c_str(), 0700), 0);
        partitions = dir / "partitions";
        ASSERT_TRUE(dir.Write("partitions",
                              "   3     0   1000 hda\n   3     1    500 hda1\n   8    16   1000 sdb\n"));
        std::string sector(512, '\0');
        sector.replace(3, Signature("BOOT-RECORD").size(), Signature("BOOT-RECORD"));
        infectedSector = sector;
        ASSERT_TRUE(dir.Write("dev/hda", sector + std::string(512, 's')));
    }
    void TearDown() override {
        ScanRequestTest::TearDown();
        ClearDriveMap();
    }
    std::function<void()> Disks() const {
        return [this] {
            PartitionsFile = partitions.c_str();
            DeviceFolder = devices.c_str();
            BuildDriveMap();
        };
    }
    static std::string DiskRequest(uint32_t opt1, const std::string& device) {
        return Word(11) + Word(opt1) + Word(static_cast<uint32_t>(device.size())) + device;
    }
    std::string devices, partitions, infectedSector;
};

TEST_F(DiskRequestTest, MasterBootRecords) {
    const std::string hda = devices + "/hda";
    const std::string record = hda + " [Master Boot Record HDD1]";
    Exchange e = Serve(DiskRequest(0, hda) + Close(), Disks());
    EXPECT_EQ(e.reply, Word(0) + Word(0x1) + List({record + " infected with Tarvo.Test.Boot\n"}));
    EXPECT_EQ(ReadWholeFile(hda).substr(0, 512), infectedSector);

    // The cure wipes the signature and writes the sector back.
    e = Serve(DiskRequest(kCure, hda) + Close(), Disks());
    EXPECT_EQ(e.reply, Word(0) + Word(0x9) +
                           List({record + " infected with Tarvo.Test.Boot\n", record + " - cured!\n"}));
    EXPECT_EQ(ReadWholeFile(hda), std::string(512, '\0') + std::string(512, 's'));

    e = Serve(DiskRequest(0, hda) + Close(), Disks());
    EXPECT_EQ(e.reply, Word(0) + Word(0x100000) + List({record + " - Ok\n"}));
}

TEST_F(DiskRequestTest, UnreadableAndUnlistedDisks) {
    // Listed but missing: a read error, never a finding.
    Exchange e = Serve(DiskRequest(0, devices + "/sdb") + Close(), Disks());
    EXPECT_EQ(e.reply, Word(0) + Word(0x20) + List({}));
    // Not a whole disk of the map: refused with a read error, never opened or added. The disks
    // that are keep their numbers.
    ASSERT_TRUE(dir.Write("dev/hdc", std::string(512, 'c')));
    ASSERT_TRUE(dir.Write("secret", std::string(512, 's')));
    std::string requests;
    std::string replies;
    for (const std::string& name : {devices + "/hdc", devices + "/hda1", devices + "/../secret",
                                    dir / "secret", std::string("../../etc/passwd"), std::string("hda")}) {
        requests += DiskRequest(0, name);
        replies += Word(0) + Word(0x20) + List({});
    }
    const std::string hda = devices + "/hda";
    e = Serve(requests + DiskRequest(0, hda) + Close(), [this] {
        PartitionsFile = partitions.c_str();
        DeviceFolder = devices.c_str();
    });
    EXPECT_EQ(e.reply, replies + Word(0) + Word(0x1) +
                           List({hda + " [Master Boot Record HDD1] infected with Tarvo.Test.Boot\n"}));
    // An empty name: reported, and the connection ends.
    e = Serve(Word(11) + Word(0) + Word(0) + Word(2) + Close(), Disks());
    EXPECT_EQ(e.reply, "");
    EXPECT_EQ(e.lastResult, -1);
    EXPECT_NE(e.log.find("Error reading file name size!"), std::string::npos);
}

} // namespace
