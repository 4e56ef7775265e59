#include "base/tvptrlist.h"
#include "base/tvstrlist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(PointerList, AddRefusesDuplicatesAddPtrAllowsThem) {
    int a = 0, b = 0;
    tvPointerList l(1);
    int* pa = &a;
    EXPECT_EQ(l.Add(&pa, sizeof pa), 1u);
    EXPECT_EQ(l.Add(&pa, sizeof pa), 0u);
    EXPECT_EQ(l.Count(), 1u);
    EXPECT_EQ(l.AddPtr(&a), 2u);
    EXPECT_EQ(l.AddPtrUnique(&b), 3u);
    EXPECT_EQ(l.AddPtrUnique(&b), 0u);
    EXPECT_EQ(l.FirstPtr(), &a);
    EXPECT_EQ(l.NextPtr(), &a);
    EXPECT_EQ(l.NextPtr(), &b);
    EXPECT_EQ(l.NextPtr(), nullptr); // at the tail
    EXPECT_EQ(l.CurrentPtr(), &b);
    EXPECT_EQ(l.PrevPtr(), &a);
    EXPECT_EQ(l.LastPtr(), &b);
    EXPECT_EQ(l.PeekFirstPtr(), &a);
    EXPECT_EQ(l.FindPtr(&b), &b);
    EXPECT_EQ(l.FindPtr(&l), nullptr);
    EXPECT_EQ(l.RemovePtr(&a), 2u);
    EXPECT_EQ(l.RemovePtr(&a), 1u);
    EXPECT_EQ(l.RemovePtr(&a), 0u);
    EXPECT_EQ(l.FirstPtr(), &b);
}

TEST(StringList, ComparesWithoutCaseInCodePage866) {
    tvStringList l;
    l.AddString("abc");
    l.AddString("\xA0\xE5"); // Cyrillic lower case
    l.AddString("\xF1");     // the letter with diaeresis has no upper case here
    EXPECT_STREQ(static_cast<const char*>(l.FindData("ABC")), "abc");
    EXPECT_STREQ(static_cast<const char*>(l.FindData("\x80\x95")), "\xA0\xE5");
    EXPECT_EQ(l.FindData("\xF0"), nullptr);
    EXPECT_EQ(l.FindData("ab"), nullptr);
    EXPECT_EQ(l.FindData("abcd"), nullptr);
    EXPECT_EQ(l.AddStringUnique("aBc"), 0u);
    EXPECT_EQ(l.AddStringUnique("abd"), 4u);
    EXPECT_EQ(l.IndexOf("ABD"), 3u);
    l.SetChanged(0);
    l.UpperAll();
    EXPECT_TRUE(l.IsChanged()) << "what was made of the elements no longer holds";
    EXPECT_STREQ(static_cast<const char*>(l.GetAt(0)), "ABC");
    EXPECT_STREQ(static_cast<const char*>(l.GetAt(1)), "\x80\x95");
}

TEST(StringList, ReplaceAndSetReadBackTerminatedAtEveryLength) {
    // The stored size leaves out the terminator: the node must supply it.
    for (size_t len : {0, 1, 15, 16, 17, 31, 32, 33}) {
        SCOPED_TRACE(len);
        std::string s(len, 'q'), t(len, 'r');
        tvStringList l;
        l.AddString("first");
        l.AddString("second");
        EXPECT_EQ(l.ReplaceAt(1, s.c_str()), 1u);
        EXPECT_EQ(static_cast<const char*>(l.GetAt(1)), s);
        EXPECT_EQ(l.Core()->tail->size, len);
        EXPECT_EQ(l.SetAt(1, t.c_str()), 1u);
        ASSERT_NE(l.GetAt(1), nullptr);
        EXPECT_EQ(static_cast<const char*>(l.GetAt(1)), t);
        // Copies keep the same layout.
        tvStringList copy(l);
        EXPECT_EQ(static_cast<const char*>(copy.GetAt(1)), t);
    }
}

TEST(StringList, SetAtRemovesInsteadOfDuplicating) {
    tvStringList l;
    for (const char* s : {"one", "two", "three"}) l.AddString(s);
    EXPECT_EQ(l.SetAt(0, "THREE"), 2u);
    EXPECT_STREQ(static_cast<const char*>(l.GetAt(0)), "two");
    EXPECT_EQ(l.SetAt(0, "TWO"), 0u); // the same element: replaced
    EXPECT_STREQ(static_cast<const char*>(l.GetAt(0)), "TWO");
}

TEST(WildStringList, FindDataAnswersTheFirstMatchingPattern) {
    tvWildStringList l(1);
    l.AddString("*.EXE");
    l.AddString("A?C");
    l.AddString("*");
    EXPECT_STREQ(static_cast<const char*>(l.FindData("x.exe")), "*.EXE");
    EXPECT_STREQ(static_cast<const char*>(l.FindData("abc")), "A?C");
    EXPECT_STREQ(static_cast<const char*>(l.FindData("zzz")), "*");
    tvWildStringList strict;
    strict.AddString("*.com");
    EXPECT_EQ(strict.FindData("a.exe"), nullptr);
    // The name looked up is left as it was.
    char name[] = "a**.com";
    EXPECT_NE(strict.FindData(name), nullptr);
    EXPECT_STREQ(name, "a**.com");
}

} // namespace
