#include "mail/mime/stamp.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct StampCase {
    const char* text;
    const char* from;
    const char* by;
    const char* via;
    const char* with;
    const char* id;
    const char* forClause;
    long long date; // -1: no date text
};

TEST(Stamp, ClauseTable) {
    const StampCase cases[] = {
        // The from clauses the sender search reads.
        {"from mail.example.org ([10.1.2.3]) by mx.local (Postfix) with ESMTP id 4F2A1;\r\n"
         "\tTue, 3 Jan 2004 10:00:00 +0100",
         "mail.example.org ([10.1.2.3])", "mx.local (Postfix)", "", "ESMTP", "4F2A1", "", 1073120400},
        {"from host (host.example.org [192.0.2.7]) by mx with SMTP; 3 Jan 2004 09:00:00 GMT",
         "host (host.example.org [192.0.2.7])", "mx", "", "SMTP", "", "", 1073120400},
        {"from [10.1.2.3] (helo=relay) by mx; 3 Jan 2004 09:00:00 GMT", "[10.1.2.3] (helo=relay)", "mx", "",
         "", "", "", 1073120400},
        {"from relay (HELO relay.example) (8.8.8.8)\r\n  by mx id 1; 3 Jan 2004 09:00:00 GMT",
         "relay (HELO relay.example) (8.8.8.8)", "mx", "", "", "1", "", 1073120400},
        {"from unknown (HELO x) ([172.16.0.9]) by a.b; 3 Jan 2004 09:00:00 GMT",
         "unknown (HELO x) ([172.16.0.9])", "a.b", "", "", "", "", 1073120400},
        // Keywords behind the current clause, and inside comments, are ordinary words.
        {"by mx from the outside; 3 Jan 2004 09:00:00 GMT", "", "mx from the outside", "", "", "", "",
         1073120400},
        {"from a (by b) BY c VIA d WITH e ID f FOR <g@h>; 3 Jan 2004 09:00:00 GMT", "a (by b)", "c", "d", "e",
         "f", "<g@h>", 1073120400},
        {"from a for x by y id z; 3 Jan 2004 09:00:00 GMT", "a", "", "", "", "", "x by y id z", 1073120400},
        // Only the last ';' ends the clauses; words before the first keyword belong to none.
        {"junk from a; b by c; 3 Jan 2004 09:00:00 GMT", "a; b", "c", "", "", "", "", 1073120400},
        {"from a (unclosed by b", "a (unclosed", "b", "", "", "", "", -1},
        {"from a by b", "a", "b", "", "", "", "", -1},
        {"", "", "", "", "", "", "", -1},
        {";", "", "", "", "", "", "", 0},
    };
    for (const StampCase& c : cases) {
        DwStamp s(c.text, nullptr);
        s.Parse();
        EXPECT_EQ(s.From(), c.from) << c.text;
        EXPECT_EQ(s.By(), c.by) << c.text;
        EXPECT_EQ(s.Via(), c.via) << c.text;
        EXPECT_EQ(s.With(), c.with) << c.text;
        EXPECT_EQ(s.Id(), c.id) << c.text;
        EXPECT_EQ(s.For(), c.forClause) << c.text;
        if (c.date >= 0) {
            EXPECT_EQ(s.Date().AsUnixTime(), c.date) << c.text;
        } else {
            EXPECT_EQ(s.Date().Text(), "") << c.text;
        }
        EXPECT_EQ(s.Date().Parent(), &s);
        EXPECT_FALSE(s.IsModified()) << c.text;
        EXPECT_EQ(s.Text(), c.text);
    }
}

TEST(Stamp, ReadingDoesNotMarkTheTree) {
    DwStamp parent("", nullptr);
    auto* stamp = new DwStamp("from a by b; 3 Jan 2004 09:00:00 GMT", &parent);
    std::unique_ptr<DwStamp> owned(stamp);
    stamp->Parse();
    EXPECT_FALSE(parent.IsModified());
    stamp->SetWith("SMTP");
    EXPECT_TRUE(parent.IsModified());
}

TEST(Stamp, Assemble) {
    DwStamp s("from a\r\n (b [10.1.2.3])   by c; Sat, 3 Jan 2004 09:00:00 +0000", nullptr);
    s.Parse();
    s.SetId("42");
    s.Assemble();
    EXPECT_EQ(s.Text(), "from a (b [10.1.2.3]) by c id 42; Sat, 3 Jan 2004 09:00:00 +0000");
    EXPECT_FALSE(s.IsModified());

    // Only the by clause: "by ", the value, "; " and the date's text; folded at offset 10.
    DwStamp only;
    only.SetBy("mx.example.org");
    DwDateTime date;
    ASSERT_EQ(date.SetValues(2004, 1, 3, 10, 0, 0, 60, "CET"), 0);
    only.SetDate(date);
    only.Assemble();
    EXPECT_EQ(only.Text(), "by mx.example.org; Sat, 3 Jan 2004 10:00:00 +0100 (CET)");
    only.SetFrom("relay.example.org (relay.example.org [192.0.2.44])");
    only.SetFor("<someone.with.a.long.name@example.org>");
    only.Assemble();
    // The first line counts 10 columns as used: "Received: ".
    EXPECT_EQ(only.Text(), "from relay.example.org (relay.example.org [192.0.2.44]) by\r\n"
                           " mx.example.org for <someone.with.a.long.name@example.org>; Sat, 3 Jan 2004\r\n"
                           " 10:00:00 +0100 (CET)");
    DwStamp again(only.Text(), nullptr);
    again.Parse();
    EXPECT_EQ(again.From(), "relay.example.org (relay.example.org [192.0.2.44])");
    EXPECT_EQ(again.For(), "<someone.with.a.long.name@example.org>");
    EXPECT_EQ(again.Date().AsUnixTime(), date.AsUnixTime());
    EXPECT_EQ(again.Date().ZoneName(), "CET");

    // A stamp read without a date is not given one.
    DwStamp undated("from a by b", nullptr);
    undated.Parse();
    undated.SetVia("x");
    undated.Assemble();
    EXPECT_EQ(undated.Text(), "from a by b via x");
}

TEST(Stamp, Copies) {
    DwStamp s("from a by b; 3 Jan 2004 09:00:00 GMT", nullptr);
    s.Parse();
    DwStamp copy(s);
    EXPECT_EQ(copy.From(), "a");
    EXPECT_EQ(copy.Date().Parent(), &copy);
    EXPECT_EQ(copy.Date().AsUnixTime(), 1073120400);
    DwStamp assigned;
    assigned = s;
    EXPECT_EQ(assigned.By(), "b");
    EXPECT_EQ(assigned.Date().Parent(), &assigned);
    std::unique_ptr<DwMessageComponent> clone(s.Clone());
    EXPECT_EQ(clone->ClassId(), kCidStamp);
    EXPECT_EQ(static_cast<DwStamp&>(*clone).Date().Parent(), clone.get());
}

} // namespace
