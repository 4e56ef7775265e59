#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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

} // namespace
