// The names the walk gives the objects of a message's parts: the message's name, a '/' and the part's
// label, whatever the parts before them were named, with line feeds dropped and cut to the limit.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "mail/walk/mailwalk.h"
#include "tests/mail/walk/walk_fixture.h"

namespace {

class MailPartNames : public MailWalkTest {};

std::string Part(const char* type, const std::string& body) {
    return std::string("Content-Type: ") + type + "\r\n\r\n" + body;
}

// An object's name made of a part's: without line feeds, at most 511 characters.
std::string ObjectName(std::string name) {
    name.erase(std::remove(name.begin(), name.end(), '\n'), name.end());
    return name.substr(0, 511);
}

TEST_F(MailPartNames, EachPartIsNamedAfterTheMessage) {
    const std::string found = Signature("APPENDED");
    // Parts named alike and not, and between them parts that end without an object of their own.
    std::string mail = "Subject: names\r\nContent-Type: multipart/mixed; boundary=BB\r\n\r\n";
    for (const std::string& part :
         {Part("text/plain", found), Part("application/x; name=\"file.bin\"", found),
          Part("message/partial", "x"), Part("text/plain", ""),
          Part("text/html", "before <html>" + found + "</html>"), Part("text/x-long-subtype-name", found),
          Part("text/plain", found)})
        mail += "--BB\r\n" + part + "\r\n";
    mail += "--BB--\r\n";
    const std::vector<std::string> labels = {
        "[text:plain]", "file.bin", "[text:html].Stripped", "[text:html]", "[text:x-long-subtype-name]",
        "[text:plain]"};
    // Folders that bring the message's name (the mail file's path) near the limit, and past it.
    const size_t room = 505 - std::min<size_t>(dir.path().size() + 358, 400);
    const std::string near =
        std::string(200, 'a') + "/" + std::string(150, 'b') + "/" + std::string(room, 'c');
    const std::string past =
        std::string(200, 'a') + "/" + std::string(200, 'c') + "/" + std::string(200, 'd');
    for (const std::string& folder : {std::string("plain"), std::string("with\nline feed"), near, past}) {
        const std::string path = dir / folder + "/mail";
        std::string made = dir.path();
        for (size_t at = 0; at != std::string::npos;) {
            const size_t next = folder.find('/', at);
            made += "/" + folder.substr(at, next == std::string::npos ? next : next - at);
            mkdir(made.c_str(), 0700);
            at = next == std::string::npos ? next : next + 1;
        }
        ASSERT_TRUE(dir.Write(folder + "/mail", mail)) << path;
        const WalkRun run = ScanPath(path, kWantFound);
        // Every infected object's line (names cut alike may be told once).
        for (const std::string& label : labels) {
            const std::string line = ObjectName(path + "/" + label) + " infected with Tarvo.Test.Appended\n";
            EXPECT_NE(run.log.find(line), std::string::npos) << path.size() << " " << line << run.log;
        }
    }
}

// A NUL in a part's name ends its object's name, for the memory file as for the engine, which opens the
// object by that name: the part is scanned, not refused, wherever the NUL stands.
TEST_F(MailPartNames, ANulEndsTheObjectName) {
    const std::string found = Signature("APPENDED");
    using namespace std::string_literals;
    const std::string names[] = {"ab\0cd.bin"s, "\0hidden.exe"s,
                                 std::string(300, 'x') + "\0"s + std::string(300, 'y'),
                                 std::string(600, 'x') + "\0tail"s};
    for (const std::string& name : names) {
        // Built whole: a NUL would end a C string of the type.
        const std::string mail = "Subject: nul\r\nContent-Type: multipart/mixed; boundary=BB\r\n\r\n--BB\r\n"
                                 "Content-Type: application/x; name=\"" +
                                 name + "\"\r\n\r\n" + found + "\r\n--BB--\r\n";
        ASSERT_TRUE(dir.Write("mail", mail));
        const std::string path = dir / "mail";
        const WalkRun run = ScanPath(path, kWantFound);
        const std::string object = ObjectName(path + "/" + name);
        const std::string line = object.substr(0, object.find('\0')) + " infected with Tarvo.Test.Appended\n";
        EXPECT_NE(run.log.find(line), std::string::npos) << line << run.log;
        EXPECT_NE(0u, run.word & 0x20) << std::hex << run.word << "\n" << run.log;
        EXPECT_EQ(0u, run.word & 0x1) << std::hex << run.word << "\n" << run.log;
    }
}

// A page's object is named after its part: where a long file name cuts both names to the same one, the
// whole part is still scanned, text before "<html>" included.
TEST_F(MailPartNames, AnHtmlPartIsScannedWholeWhereItsNameIsCut) {
    const std::string html = "text before " + Signature("APPENDED") + "\r\n<html>a page</html>\r\n";
    for (const size_t nameLength : {size_t(8), size_t(600)}) {
        const std::string name = std::string(nameLength, 'p') + ".htm";
        const std::string mail =
            "Subject: page\r\nContent-Type: multipart/mixed; boundary=BB\r\n\r\n--BB\r\n" +
            Part(("text/html; name=\"" + name + "\"").c_str(), html) + "\r\n--BB--\r\n";
        ASSERT_TRUE(dir.Write("mail", mail));
        const WalkRun run = ScanPath(dir / "mail", kWantFound);
        EXPECT_NE(0u, run.word & 0x20) << nameLength << " " << std::hex << run.word << "\n" << run.log;
        EXPECT_EQ(0u, run.word & 0x1) << nameLength << " " << std::hex << run.word << "\n" << run.log;
        ExpectClean(run, "page");
    }
}

} // namespace
