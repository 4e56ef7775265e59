// The transfer encoding read from the forms writers use: quoted, after comments, as an encoded
// word, broken.
#include <gtest/gtest.h>

#include <string>

#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/mechanism.h"

namespace {

TEST(MechanismParse, WrittenForms) {
    const struct {
        std::string text;
        int cte;
    } cases[] = {
        {"\"base64\"", kCteBase64},
        {"\"quoted-printable\" (c)", kCteQuotedPrintable},
        {"(a (nested) comment) \"Quoted-Printable\"", kCteQuotedPrintable},
        {"=?us-ascii?q?base64?=", kCteBase64},
        {"=?us-ascii?Q?quoted-printable?=", kCteQuotedPrintable},
        {"\"base", kCteNull},
        {"(base64", kCteNull},
        {"; base64", kCteBase64},
        {"\"\"", kCteNull},
        {"\"ba\\se64\"", kCteNull},
        {"base64\r\n", kCteBase64},
        {"\xff" "base64", kCteUnknown},
        {std::string("bin\0ary", 7), kCteNull},
    };
    for (const auto& c : cases) {
        DwMechanism mechanism(c.text, nullptr);
        mechanism.Parse();
        EXPECT_EQ(mechanism.AsEnum(), c.cte) << c.text;
        DwHeaders headers("Content-Transfer-Encoding: " + c.text + "\r\n", nullptr);
        headers.Parse();
        const DwMechanism* found = headers.FindContentTransferEncoding();
        ASSERT_NE(found, nullptr) << c.text;
        DwMechanism alone(headers.FieldAt(0).FieldBodyText(), nullptr);
        alone.Parse();
        EXPECT_EQ(found->AsEnum(), alone.AsEnum()) << c.text;
    }
}

} // namespace
