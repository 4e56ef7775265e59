// Header editing of the walk: removal of every field of a name, in one pass over many fields.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/walk/mailwalk.h"

namespace {

std::vector<std::string> FieldTexts(const DwHeaders& headers) {
    std::vector<std::string> texts;
    for (int i = 0; i < headers.FieldCount(); ++i)
        texts.push_back(headers.FieldAt(i).FieldName() + ":" + headers.FieldAt(i).FieldBodyText());
    return texts;
}

// Many fields of the name among others, in every spelling of its case, at the start, in runs and at
// the end: exactly the others are left, in their order, and the headers are marked changed.
TEST(HeaderEdit, RemovalByNameLeavesExactlyTheOtherFieldsInOrder) {
    const char* const spellings[] = {"Lines", "lines", "LINES", "LiNeS"};
    std::string text;
    std::vector<std::string> kept;
    int named = 0;
    for (int i = 0; i < 20000; ++i) {
        // Runs of one to three fields of the name between the kept ones, and the name as a prefix of
        // a kept one.
        for (int run = 0; run <= i % 3; ++run, ++named)
            text += std::string(spellings[(i + run) % 4]) + ": 1\r\n";
        const std::string name = i % 5 == 0 ? "Lines-Extra" : "X-Field" + std::to_string(i);
        text += name + ": " + std::to_string(i) + "\r\n";
        kept.push_back(name + ":" + std::to_string(i));
    }
    text += "Lines: last\r\n";
    ++named;
    DwHeaders headers(text, nullptr);
    headers.Parse();
    ASSERT_EQ(static_cast<int>(kept.size()) + named, headers.FieldCount());
    EXPECT_FALSE(headers.IsModified());

    EXPECT_EQ(1, RemoveFieldsByName(headers, "lines"));
    EXPECT_EQ(kept, FieldTexts(headers));
    EXPECT_TRUE(headers.IsModified());
    EXPECT_EQ(0, RemoveFieldsByName(headers, "Lines"));
    EXPECT_EQ(kept, FieldTexts(headers));

    // The headers can still be edited and put together again.
    SetHeaderField(headers, "Lines", "7");
    ASSERT_EQ(static_cast<int>(kept.size()) + 1, headers.FieldCount());
    EXPECT_EQ("Lines", headers.FieldAt(headers.FieldCount() - 1).FieldName());
    headers.Assemble();
    EXPECT_EQ(std::string::npos, headers.Text().find("Lines: 1\r\n"));
}

} // namespace
