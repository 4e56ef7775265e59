#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/message.h"
#include "mail/walk/readings.h"

namespace {

const char kUuReading[] = "a uuencoded file in the text";
const char kUuFields[] =
    "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n";

// The uuencoded files the readings of a text message find: the text each starts with.
std::vector<std::string> UuencodedStarts(const std::string& body) {
    std::unique_ptr<DwMessage> message(
        DwMessage::NewMessage("Content-Type: text/plain\r\n\r\n" + body, nullptr));
    message->Parse();
    std::vector<EntityReading> readings;
    OtherEntityReadings(*message, &readings);
    std::vector<std::string> starts;
    for (const EntityReading& reading : readings) {
        if (std::string(reading.why) != kUuReading) continue;
        EXPECT_EQ(reading.text.compare(0, sizeof kUuFields - 1, kUuFields), 0);
        starts.push_back(reading.text.substr(sizeof kUuFields - 1, 11));
    }
    return starts;
}

TEST(UuencodedReading, FindsEveryBeginLineAmongLinesThatStartAlike) {
    // Lines that start with 'b', or with "begin" but no mode, come before and between the files; the
    // padding moves the lines across the sixteen-byte blocks the text is searched in.
    for (size_t pad = 0; pad < 40; ++pad) {
        const std::string body = std::string(pad, 'x') +
                                 "\r\nbar\r\nbeginning\r\nbegin x\r\nbegin 644 a.com\r\n" +
                                 "M1\r\n`\r\nend\r\nb\r\nbegin 755 b.com\r\n`\r\nend\r\n";
        EXPECT_EQ(UuencodedStarts(body), (std::vector<std::string>{"begin 644 a", "begin 755 b"})) << pad;
    }
    EXPECT_EQ(UuencodedStarts("begin 644 first.com\r\n`\r\nend\r\n"),
              std::vector<std::string>{"begin 644 f"});
    EXPECT_TRUE(UuencodedStarts("no file here\r\nbegin\r\nbegin 8\r\n").empty());
}

// The starts as a reader of each line finds them, at most eight.
std::vector<std::string> StartsReference(const std::string& body) {
    std::vector<std::string> starts;
    for (size_t at = 0; at < body.size() && starts.size() < 8; ++at)
        if ((at == 0 || body[at - 1] == '\n') && body.compare(at, 6, "begin ") == 0 && at + 6 < body.size() &&
            body[at + 6] >= '0' && body[at + 6] <= '7')
            starts.push_back(body.substr(at, 11));
    return starts;
}

// The starts found in the second part of a multipart message, whose text lies among others that
// hold begin lines of their own, right up to its edges.
std::vector<std::string> StartsInPart(const std::string& body) {
    const std::string around = "begin 644 out.com\r\nbegin 644 out2\r\n";
    std::unique_ptr<DwMessage> message(
        DwMessage::NewMessage("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n" + around +
                                  "\r\n--b\r\n\r\n" + body + "\r\n--b\r\n\r\n" + around + "\r\n--b--\r\n",
                              nullptr));
    message->Parse();
    EXPECT_EQ(message->Body().PartCount(), 3);
    DwEntity& part = message->Body().PartAt(1);
    EXPECT_EQ(part.Body().TextView(), body);
    std::vector<EntityReading> readings;
    OtherEntityReadings(part, &readings);
    std::vector<std::string> starts;
    for (const EntityReading& reading : readings)
        if (std::string(reading.why) == kUuReading)
            starts.push_back(reading.text.substr(sizeof kUuFields - 1, 11));
    return starts;
}

TEST(UuencodedReading, APartFindsTheFilesInItsOwnTextOnly) {
    std::string many;
    for (int i = 0; i < 12; ++i)
        many += "begin 60" + std::to_string(i % 8) + " f" + std::to_string(i) + "\r\n`\r\n";
    const std::string bodies[] = {
        "begin 644 first.com\r\n",
        "text\r\nbegin 644 last",
        "text\r\nbegin 6",
        "text\r\nbegin ",
        "text\r\nb",
        "\nbegin 755 x\r\n",
        "",
        "b",
        "begin 8\r\nbegin 7\r\n\rbegin 6 cr\r\n\n\nbegin 5 lf",
        std::string("a\0\nbegin 644 nul\0\r\n", 19),
        many,
        "x\r\n" + many,
    };
    for (const std::string& body : bodies) {
        EXPECT_EQ(StartsInPart(body), StartsReference(body)) << body;
        EXPECT_EQ(UuencodedStarts(body), StartsReference(body)) << body;
    }
}

} // namespace
