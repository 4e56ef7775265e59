#include "mail/mime/addresslist.h"
#include "mail/mime/addressparser.h"
#include "mail/mime/group.h"
#include "mail/mime/mailbox.h"
#include "mail/mime/mailboxlist.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct MailboxCase {
    const char* text;
    const char* displayName;
    const char* route;
    const char* localPart;
    const char* domain;
    bool valid;
    const char* assembled; // after a change
};

TEST(Mailbox, ParseAndAssembleTable) {
    const MailboxCase cases[] = {
        {"John Smith <j@h>", "John Smith", "", "j", "h", true, "John Smith <j@h>"},
        {"j@h (John Smith)", "John Smith", "", "j", "h", true, "John Smith <j@h>"},
        {"j@h", "", "", "j", "h", true, "<j@h>"},
        {"\"Smith, John\" <j@h>", "\"Smith, John\"", "", "j", "h", true, "\"Smith, John\" <j@h>"},
        {"<@r,@s:j@h>", "", "@r,@s", "j", "h", true, "<@r,@s:j@h>"},
        {"Joe <@r.x,@[1.2.3.4]:j.k@h.i>", "Joe", "@r.x,@[1.2.3.4]", "j.k", "h.i", true,
         "Joe <@r.x,@[1.2.3.4]:j.k@h.i>"},
        {"first.last@example.org", "", "", "first.last", "example.org", true, "<first.last@example.org>"},
        {"\"quoted local\"@h", "", "", "\"quoted local\"", "h", true, "<\"quoted local\"@h>"},
        {"j@[10.1.2.3]", "", "", "j", "[10.1.2.3]", true, "<j@[10.1.2.3]>"},
        {"<j@h> (the comment)", "the comment", "", "j", "h", true, "the comment <j@h>"},
        {"(only a comment) <j@h>", "only a comment", "", "j", "h", true, "only a comment <j@h>"},
        {"j@h (Smith, John)", "Smith, John", "", "j", "h", true, "\"Smith, John\" <j@h>"},
        {"Name\r\n <j@h>", "Name", "", "j", "h", true, "Name <j@h>"},
        {"\"a\r\n b\" <j@h>", "\"a  b\"", "", "j", "h", true, "\"a  b\" <j@h>"},
        // Without local part and domain nothing can be written: the text stays.
        {"John", "", "", "John", "", false, "John"},
        {"root", "", "", "root", "", false, "root"},
        {"<>", "", "", "", "", false, "<>"},
        {"", "", "", "", "", false, ""},
        {"@h", "", "", "", "h", false, "@h"},
        {"<\"unclosed@h>", "", "", "", "", false, "<\"unclosed@h>"},
    };
    for (const MailboxCase& c : cases) {
        DwMailbox m(c.text, nullptr);
        m.Parse();
        EXPECT_EQ(m.DisplayName(), c.displayName) << c.text;
        EXPECT_EQ(m.Route(), c.route) << c.text;
        EXPECT_EQ(m.LocalPart(), c.localPart) << c.text;
        EXPECT_EQ(m.Domain(), c.domain) << c.text;
        EXPECT_EQ(m.IsValid(), c.valid) << c.text;
        EXPECT_FALSE(m.IsModified());
        m.Assemble(); // not modified: untouched
        EXPECT_EQ(m.Text(), c.text);
        m.MarkModified();
        m.Assemble();
        EXPECT_EQ(m.Text(), c.assembled) << c.text;
        EXPECT_EQ(m.IsModified(), !c.valid) << c.text;
        EXPECT_TRUE(m.IsMailbox());
        EXPECT_FALSE(m.IsGroup());
    }
}

TEST(Mailbox, DecodedDisplayNames) {
    const struct {
        const char* text;
        const char* decoded;
        const char* charset;
    } cases[] = {
        // Two adjacent B words join without the blank between them.
        {"=?koi8-r?B?8NLJ?= =?koi8-r?B?18XU?= <j@h>", "\xF0\xD2\xC9\xD7\xC5\xD4", "koi8-r"},
        {"=?ISO-8859-1?Q?Caf=E9?= Bar <j@h>", "Caf\xE9 Bar", "ISO-8859-1"},
        {"=?us-ascii?Q?a?= =?utf-8?Q?b?= <j@h>", "ab", "utf-8"},
        {"Plain Name <j@h>", "Plain Name", ""},
        {"<j@h>", "", ""},
    };
    for (const auto& c : cases) {
        DwMailbox m(c.text, nullptr);
        m.Parse();
        std::string name = "stale", charset = "stale";
        m.DecodedDisplayName(name, charset);
        EXPECT_EQ(name, c.decoded) << c.text;
        EXPECT_EQ(charset, c.charset) << c.text;
    }
    // A name read before does not outlive the next parse.
    DwMailbox m("Old Name <j@h>", nullptr);
    m.Parse();
    m.SetText(std::string("<k@h>"));
    m.Parse();
    std::string name, charset;
    m.DecodedDisplayName(name, charset);
    EXPECT_EQ(name, "");
}

// Parses text as an address list, applies change to it, assembles, parses the result again.
std::unique_ptr<DwAddressList> RoundTrip(const std::string& text, void (*change)(DwAddressList&),
                                         std::string* assembled = nullptr, bool folding = true) {
    DwAddressList list(text, nullptr);
    list.SetFolding(folding);
    list.Parse();
    change(list);
    list.Assemble();
    if (assembled) *assembled = list.Text();
    auto again = std::make_unique<DwAddressList>(list.Text(), nullptr);
    again->Parse();
    return again;
}

std::vector<std::string> Members(const DwAddressList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.AddressCount(); ++i) {
        const DwAddress* a = list.AddressAt(i);
        out.push_back(std::string(a->IsGroup() ? "G:" : "M:") + a->Text());
    }
    return out;
}

TEST(AddressList, SplittingTable) {
    const struct {
        const char* text;
        std::vector<std::string> members;
    } cases[] = {
        {"a@b, , c@d", {"M:a@b", "M:c@d"}},
        {",,a@b,,", {"M:a@b"}},
        {"", {}},
        {"   ", {}},
        {"Friends: a@b, c@d;, e@f", {"G:Friends: a@b, c@d;", "M:e@f"}},
        {"\"Smith, John\" <j@h>, k@h", {"M:\"Smith, John\" <j@h>", "M:k@h"}},
        {"Joe <@r,@s:j@h>, k@h", {"M:Joe <@r,@s:j@h>", "M:k@h"}},
        {"a@b (x, y), c@d", {"M:a@b (x, y)", "M:c@d"}},
        // A group without ';' keeps every member.
        {"Team: a@b, c@d", {"G:Team: a@b, c@d"}},
        {"Empty:;, a@b", {"G:Empty:;", "M:a@b"}},
        {"undisclosed-recipients:;", {"G:undisclosed-recipients:;"}},
        {"root, <>, a@b", {"M:root", "M:<>", "M:a@b"}},
    };
    for (const auto& c : cases) {
        DwAddressList list(c.text, nullptr);
        list.Parse();
        EXPECT_EQ(Members(list), c.members) << c.text;
        EXPECT_FALSE(list.IsModified());
        list.Assemble();
        EXPECT_EQ(list.Text(), c.text);
    }

    DwAddressList team("Team: a@b, c@d", nullptr);
    team.Parse();
    EXPECT_EQ(static_cast<DwGroup&>(*team.AddressAt(0)).Mailboxes().MailboxCount(), 2);
}

TEST(AddressList, SplitterKinds) {
    DwAddressListParser p("a@b, , G: x@y;, c@d");
    std::vector<int> kinds;
    std::vector<std::string> texts;
    for (int kind = p.Kind(); kind != kAddrEnd; kind = p.Advance()) {
        kinds.push_back(kind);
        texts.push_back(p.CurrentText());
    }
    EXPECT_EQ(kinds, (std::vector<int>{kAddrMailbox, kAddrNull, kAddrGroup, kAddrMailbox}));
    EXPECT_EQ(texts, (std::vector<std::string>{"a@b", "", "G: x@y;", "c@d"}));
    EXPECT_EQ(p.Advance(), kAddrEnd);
    EXPECT_EQ(p.Rewind(), kAddrMailbox);
    EXPECT_EQ(p.CurrentText(), "a@b");

    DwMailboxListParser m("G: x@y, <a:b@c>, z");
    EXPECT_EQ(m.Kind(), kAddrMailbox);
    EXPECT_EQ(m.CurrentText(), "G: x@y");
    EXPECT_EQ(m.Advance(), kAddrMailbox);
    EXPECT_EQ(m.CurrentText(), "<a:b@c>");
    EXPECT_EQ(m.Advance(), kAddrMailbox);
    EXPECT_EQ(m.CurrentText(), "z");
    EXPECT_EQ(m.Advance(), kAddrEnd);
}

DwMailbox& MailboxOf(DwAddressList& list, int index) {
    return static_cast<DwMailbox&>(*list.AddressAt(index));
}

TEST(AddressList, ChangedNamesReadBackTheSame) {
    const char* names[] = {
        "Smith, John",        "a <b>",      "x@y", "Team: a", "semi;colon", "back\\slash \"q\"",
        "dots. and (parens)", "plain words"};
    for (const char* name : names) {
        static std::string sName;
        sName = name;
        std::string text;
        auto again = RoundTrip(
            "j@h, k@h", [](DwAddressList& l) { MailboxOf(l, 0).SetDisplayName(sName); }, &text);
        ASSERT_EQ(again->AddressCount(), 2) << name << " -> " << text;
        DwMailbox& m = MailboxOf(*again, 0);
        EXPECT_EQ(m.LocalPart(), "j") << text;
        EXPECT_EQ(m.Domain(), "h") << text;
        // Written again, the name read back gives the same text.
        DwMailbox copy(m);
        copy.MarkModified();
        copy.Assemble();
        EXPECT_EQ(copy.Text() + ",\r\n k@h", text);
    }
}

TEST(AddressList, EncodedDisplayNamesReadBackTheSame) {
    const struct {
        char encoding;
        const char* expected;
    } cases[] = {
        {'Q', "=?utf-8?Q?Smith=2C_John_=3Cx=40y=3E_=22=5B=5D=28=29=3A=3B=2E=5C?= <j@h>"},
        {'q', "=?utf-8?Q?Smith=2C_John_=3Cx=40y=3E_=22=5B=5D=28=29=3A=3B=2E=5C?= <j@h>"},
        {'B', "=?utf-8?B?U21pdGgsIEpvaG4gPHhAeT4gIltdKCk6Oy5c?= <j@h>"},
        {'x', "\"Smith, John <x@y> \\\"[]():;.\\\\\" <j@h>"},
    };
    static const std::string kName = "Smith, John <x@y> \"[]():;.\\";
    for (const auto& c : cases) {
        static char sEncoding;
        sEncoding = c.encoding;
        std::string text;
        auto again = RoundTrip(
            "j@h", [](DwAddressList& l) { MailboxOf(l, 0).SetEncodedDisplayName(kName, "utf-8", sEncoding); },
            &text);
        EXPECT_EQ(text, c.expected);
        ASSERT_EQ(again->AddressCount(), 1) << text;
        if (c.encoding == 'x') continue;
        std::string decoded, charset;
        MailboxOf(*again, 0).DecodedDisplayName(decoded, charset);
        EXPECT_EQ(decoded, kName);
        EXPECT_EQ(charset, "utf-8");
    }
}

TEST(AddressList, FoldingOnAndOff) {
    std::string text;
    auto touch = [](DwAddressList& l) { l.MarkModified(); };
    RoundTrip("a@b, c <c@d>, e@f (E)", touch, &text, true);
    EXPECT_EQ(text, "a@b,\r\n c <c@d>,\r\n e@f (E)");
    RoundTrip("a@b, c <c@d>, e@f (E)", touch, &text, false);
    EXPECT_EQ(text, "a@b, c <c@d>, e@f (E)");

    DwMailboxList from("a@b, c@d, e@f", nullptr);
    from.Parse();
    from.MarkModified();
    from.Assemble();
    EXPECT_EQ(from.Text(), "a@b,\r\n  c@d,\r\n  e@f");
    from.SetFolding(false);
    from.MarkModified();
    from.Assemble();
    EXPECT_EQ(from.Text(), "a@b, c@d, e@f");
    from.MailboxAt(1)->SetDomain("x");
    from.Assemble();
    EXPECT_EQ(from.Text(), "a@b, <c@x>, e@f");
}

TEST(AddressList, InvalidMembersKeepTheirText) {
    std::string text;
    auto again = RoundTrip(
        "root, <>, a@b", [](DwAddressList& l) { MailboxOf(l, 2).SetDomain("c"); }, &text, false);
    EXPECT_EQ(text, "root, <>, <a@c>");
    EXPECT_EQ(again->AddressCount(), 3);
}

TEST(AddressList, GroupsThroughAChange) {
    std::string text;
    auto again = RoundTrip(
        "Friends: a@b, c@d;, e@f",
        [](DwAddressList& l) {
            auto& g = static_cast<DwGroup&>(*l.AddressAt(0));
            g.Mailboxes().MailboxAt(1)->SetDisplayName("C");
        },
        &text);
    EXPECT_EQ(text, "Friends:a@b,\r\n  C <c@d>;,\r\n e@f");
    ASSERT_EQ(again->AddressCount(), 2);
    auto& g = static_cast<DwGroup&>(*again->AddressAt(0));
    EXPECT_EQ(g.GroupName(), "Friends");
    EXPECT_EQ(g.Mailboxes().MailboxCount(), 2);
    EXPECT_TRUE(g.IsValid());

    // The group name is written so that it reads back as one name.
    again = RoundTrip(
        "G: a@b;", [](DwAddressList& l) { static_cast<DwGroup&>(*l.AddressAt(0)).SetGroupName("x, y: z"); },
        &text);
    EXPECT_EQ(text, "\"x, y: z\":a@b;");
    ASSERT_EQ(again->AddressCount(), 1);
    EXPECT_EQ(static_cast<DwGroup&>(*again->AddressAt(0)).GroupName(), "\"x, y: z\"");

    // A group without ';' keeps all its members through a change.
    again = RoundTrip(
        "Team: a@b, c@d", [](DwAddressList& l) { static_cast<DwGroup&>(*l.AddressAt(0)).SetGroupName("T"); },
        &text);
    EXPECT_EQ(text, "T:a@b, c@d;");
    EXPECT_EQ(static_cast<DwGroup&>(*again->AddressAt(0)).Mailboxes().MailboxCount(), 2);

    // A group whose name is gone keeps its text.
    again = RoundTrip(
        "G: a@b;, c@d", [](DwAddressList& l) { static_cast<DwGroup&>(*l.AddressAt(0)).SetGroupName(""); },
        &text, false);
    EXPECT_EQ(text, "G: a@b;, c@d");
}

TEST(AddressList, EverySetterMarksTheTree) {
    DwAddressList list("G: a@b;, c@d", nullptr);
    list.Parse();
    auto& group = static_cast<DwGroup&>(*list.AddressAt(0));
    auto& mailbox = MailboxOf(list, 1);
    const std::vector<void (*)(DwGroup&, DwMailbox&)> changes = {
        [](DwGroup& g, DwMailbox&) { g.SetGroupName("H"); },
        [](DwGroup& g, DwMailbox&) {
            DwGroup other("X: y@z;", nullptr);
            other.Parse();
            g = other;
        },
        [](DwGroup&, DwMailbox& m) {
            DwMailbox other("Y <y@z>", nullptr);
            other.Parse();
            m = other;
        },
        [](DwGroup&, DwMailbox& m) { m.SetRoute("@r"); },
        [](DwGroup&, DwMailbox& m) { m.SetLocalPart("l"); },
        [](DwGroup&, DwMailbox& m) { m.SetDisplayName("D"); },
        [](DwGroup&, DwMailbox& m) { m.SetEncodedDisplayName("E", "utf-8", 'Q'); },
        [](DwGroup& g, DwMailbox&) { g.Mailboxes().AppendMailbox(new DwMailbox("n@m", nullptr)); },
        [](DwGroup& g, DwMailbox&) { delete g.Mailboxes().RemoveMailboxAt(0); },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        list.Assemble();
        ASSERT_FALSE(list.IsModified()) << i;
        changes[i](group, mailbox);
        EXPECT_TRUE(list.IsModified()) << i;
    }
    list.Assemble();
    EXPECT_EQ(list.Text(), "X:n@m;,\r\n =?utf-8?Q?E?= <@r:l@z>");
    EXPECT_EQ(group.Parent(), &list);
    EXPECT_EQ(group.Mailboxes().Parent(), &group);
}

TEST(AddressList, ListOperationsAndCopies) {
    DwAddressList list("a@b, c@d", nullptr);
    list.Parse();
    list.InsertAddressAt(-5, new DwMailbox("<first@x>", nullptr));
    list.InsertAddressAt(99, new DwMailbox("<last@x>", nullptr));
    list.AppendAddress(nullptr);
    ASSERT_EQ(list.AddressCount(), 4);
    EXPECT_EQ(list.AddressAt(0)->Text(), "<first@x>");
    EXPECT_EQ(list.AddressAt(3)->Parent(), &list);
    EXPECT_EQ(list.RemoveAddressAt(4), nullptr);
    std::unique_ptr<DwAddress> removed(list.RemoveAddressAt(1));
    EXPECT_EQ(removed->Parent(), nullptr);
    EXPECT_EQ(removed->Text(), "a@b");

    DwAddressList copy(list);
    EXPECT_EQ(copy.AddressCount(), 3);
    EXPECT_EQ(copy.AddressAt(1)->Parent(), &copy);
    EXPECT_NE(copy.AddressAt(1), list.AddressAt(1));
    DwAddressList assigned("x@y", nullptr);
    assigned.Parse();
    assigned = list;
    EXPECT_EQ(assigned.AddressCount(), 3);
    std::unique_ptr<DwMessageComponent> clone(list.Clone());
    EXPECT_EQ(clone->ClassId(), kCidAddressList);
    list.DeleteAllAddresses();
    EXPECT_EQ(list.AddressCount(), 0);
    EXPECT_EQ(copy.AddressCount(), 3);

    // Many members grow the array past its first ten slots.
    std::string many;
    for (int i = 0; i < 100; ++i) many += "m" + std::to_string(i) + "@x, ";
    DwMailboxList big(many, nullptr);
    big.Parse();
    EXPECT_EQ(big.MailboxCount(), 100);
    EXPECT_EQ(big.MailboxAt(99)->LocalPart(), "m99");
    DwGroup group("G: a@b;", nullptr);
    group.Parse();
    DwGroup groupCopy(group);
    EXPECT_EQ(groupCopy.Mailboxes().Parent(), &groupCopy);
    EXPECT_EQ(groupCopy.Mailboxes().MailboxCount(), 1);
}

TEST(AddressListDeathTest, IndexOutsideTheListEndsTheProcess) {
    DwAddressList list("a@b", nullptr);
    list.Parse();
    EXPECT_DEATH(list.AddressAt(1), "");
    DwMailboxList mailboxes("a@b", nullptr);
    mailboxes.Parse();
    EXPECT_DEATH(mailboxes.MailboxAt(-1), "");
}

} // namespace
