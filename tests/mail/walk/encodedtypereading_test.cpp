#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mail/mime/message.h"
#include "mail/walk/readings.h"

namespace {

const char kEncodedTypeReading[] = "its Content-Type decoded from encoded words";

// Whether a message of that Content-Type is read with its Content-Type decoded from encoded words,
// with the type read from the field's text as the walk reads it.
bool ReadDecoded(const std::string& contentType) {
    std::unique_ptr<DwMessage> message(
        DwMessage::NewMessage("Content-Type: " + contentType + "\r\n\r\nbody\r\n", nullptr));
    message->Parse();
    const EntityType read = EntityTypeOf(*message);
    std::vector<EntityReading> readings;
    OtherEntityReadings(*message, read, &readings);
    bool decoded = false;
    for (const EntityReading& reading : readings) decoded |= std::string(reading.why) == kEncodedTypeReading;
    return decoded;
}

TEST(EncodedTypeReading, FindsEncodedWordsWhereverTheTextHoldsThem) {
    const struct {
        std::string contentType;
        bool decoded;
    } cases[] = {
        {"text/plain; charset=us-ascii", false},
        {"text/plain; charset=\"a?b\"", false},
        {"text/plain; name==?us-ascii?Q?a.com?=", true},
        {"text/plain;name==?us-ascii?Q?a.com?=", true},
        // Before the parameters, in a comment or in place of the names.
        {"text/plain (=?us-ascii?Q?x?=); charset=us-ascii", true},
        {"=?us-ascii?Q?text/plain?=", true},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadDecoded(c.contentType), c.decoded) << c.contentType;
    // The encoded word moved across the sixteen-byte blocks the parameters are looked at in.
    for (size_t pad = 0; pad < 40; ++pad) {
        const std::string contentType = "text/plain; x=" + std::string(pad, 'x') + "; y==?us-ascii?Q?z?=";
        EXPECT_TRUE(ReadDecoded(contentType)) << contentType;
    }
}

} // namespace
