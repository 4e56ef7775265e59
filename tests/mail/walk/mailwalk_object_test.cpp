// A client's object held in memory, walked where it lies: the object is left byte for byte as it
// came, whatever the walk cured or deleted, and the walk answers and writes back what it does for
// the same bytes in a mail file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/mime/base64.h"
#include "mail/walk/mailwalk.h"
#include "shell/host/memfile.h"
#include "tests/mail/walk/walk_fixture.h"

namespace {

std::string Base64(const std::string& data) {
    std::string out;
    Base64Encode(data, out);
    return out;
}

// A payload the demo base finds anywhere in an object and cures by cutting it off there.
std::string Appended() {
    return "head of the file " + Signature("APPENDED") + " appended body";
}

std::string Attachment(const std::string& data, const char* name) {
    return std::string("Content-Type: application/octet-stream; name=\"") + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + Base64(data);
}

std::string Mixed(const std::vector<std::string>& parts) {
    std::string text =
        "From: a@example.org\r\nSubject: test\r\nContent-Type: multipart/mixed; boundary=BB\r\n\r\n";
    for (const std::string& part : parts) text += "--BB\r\n" + part + "\r\n";
    return text + "--BB--\r\n";
}

std::string Renamed(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

class MailWalkObject : public MailWalkTest {
protected:
    // The walk of mail as the client's object "client.eml"; held receives the object's bytes as the
    // walk left them.
    WalkRun ScanHeld(const std::string& mail, uint32_t opt1, std::string& held) {
        const WalkRun run = Run(
            opt1,
            [&](int fd) {
                TimeBudget budget = kUnlimitedBudget;
                const int result =
                    ScanMailObject(fd, budget, static_cast<uint32_t>(mail.size()), 1, "client.eml");
                uint32_t size = 0;
                const uint8_t* data = GetMemoryFileData(&size, "client.eml");
                const std::string left =
                    data ? std::string(reinterpret_cast<const char*>(data), size) : std::string("(gone)");
                if (!dir.Write("held", left)) _exit(4);
                return result;
            },
            [&] {
                CreateMemoryFileList();
                AddMemoryFile(mail.data(), static_cast<uint32_t>(mail.size()), "client.eml");
            });
        held = ReadWholeFile(dir / "held");
        return run;
    }
};

TEST_F(MailWalkObject, TheHeldObjectStaysAsItCame) {
    constexpr uint32_t kCure = kWantFound | kWantCure, kDelete = kWantFound | kWantDelete;
    const std::string envelope = "P sender <a@example.org>\nR <b@example.org>\n\n";
    const std::string html =
        "Content-Type: text/html\r\nContent-Transfer-Encoding: 8bit\r\n\r\ntext before\r\n"
        "<html><body>" +
        Appended() + "</body></html>\r\n";
    // Not encoded, the infected part is scanned where it lies in the object.
    const std::string plain = "Content-Type: text/plain\r\n\r\n" + Appended();
    const std::string nested = "Content-Type: message/rfc822\r\n\r\nSubject: inner\r\n\r\n" + Appended();
    const struct {
        const char* what;
        std::string mail;
        uint32_t opt1;
    } cases[] = {
        {"clean", Mixed({plain.substr(0, 30), Attachment("clean", "a.bin")}), kCure},
        {"cured attachment", Mixed({Attachment(Appended(), "a.bin")}), kCure},
        {"cured plain part", Mixed({plain, Attachment("clean", "b.bin")}), kCure},
        {"deleted plain part", Mixed({Attachment("clean", "a.bin"), plain}), kDelete},
        {"cured html page", Mixed({html}), kCure},
        {"deleted nested message", Mixed({nested}), kDelete},
        {"cured behind an envelope", envelope + Mixed({plain}), kCure},
        {"infected, nothing asked", Mixed({plain}), kWantFound},
    };
    for (const auto& c : cases) {
        std::string held;
        const WalkRun object = ScanHeld(c.mail, c.opt1, held);
        EXPECT_EQ(c.mail, held) << c.what;
        ExpectClean(object, c.what);
        // The same bytes in a mail file: the same answer, and what is written over the file is what
        // goes back as the object.
        ASSERT_TRUE(dir.Write("mail", c.mail));
        const WalkRun file = ScanPath(dir / "mail", c.opt1);
        EXPECT_EQ(file.left.result, object.left.result) << c.what;
        EXPECT_EQ(file.word, object.word) << std::hex << c.what;
        EXPECT_EQ(file.found.size(), object.found.size()) << c.what;
        EXPECT_EQ(Renamed(file.log, dir / "mail", "client.eml"), object.log) << c.what;
        const std::string written = ReadWholeFile(dir / "mail");
        EXPECT_EQ(written != c.mail, object.hasObject) << c.what;
        if (object.hasObject) {
            EXPECT_EQ(written, object.object) << c.what;
        }
        EXPECT_EQ(std::vector<std::string>(), TempFiles()) << c.what;
    }
}

} // namespace
