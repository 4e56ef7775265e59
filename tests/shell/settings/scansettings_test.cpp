#include "shell/settings/scansettings.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "shell/settings/defaultextensions.h"

namespace {

std::vector<std::string> Items(tvList& list) {
    std::vector<std::string> out;
    for (void* p = list.First(); p; p = list.Next()) out.emplace_back(static_cast<const char*>(p));
    return out;
}

TEST(TarvoMainSettings, StartsWithTheBuiltInWords) {
    TarvoMainSettings s;
    const uint32_t expected[TarvoMainSettings::kWordCount + 1] = {0, 0, 0, 1, 1, 0, 1, 1, 1,  1,  0,  1, 0,
                                                                  0, 0, 0, 0, 0, 0, 0, 0, 16, 16, 16, 1, 1,
                                                                  1, 1, 1, 1, 1, 1, 1, 1, 1,  1,  50};
    for (int n = 1; n <= TarvoMainSettings::kWordCount; ++n)
        EXPECT_EQ(expected[n], s.word[n]) << "word " << n;
}

TEST(TarvoMainSettings, StartsWithTheBuiltInListsInOrder) {
    TarvoMainSettings s;
    std::vector<std::string> types = Items(s.fileTypeMasks);
    std::vector<std::string> names = Items(s.nameMasks);
    ASSERT_EQ(77u, types.size());
    ASSERT_EQ(77u, names.size());
    EXPECT_EQ("EXE", types.front());
    EXPECT_EQ("TBB", types.back());
    EXPECT_EQ("OV?", types[5]);
    EXPECT_EQ("*.EXE", names.front());
    EXPECT_EQ("*.SHT*", names[39]);
    EXPECT_EQ("*.TBB", names.back());
    EXPECT_TRUE(s.excludePaths.IsEmpty());
    EXPECT_TRUE(s.spareList1.IsEmpty());
    EXPECT_TRUE(s.spareList2.IsEmpty());
    EXPECT_TRUE(s.fileTypeMasks.IsLockable());
    EXPECT_TRUE(s.nameMasks.IsLockable());
}

TEST(TarvoMainSettings, MatchesMasksWithoutCase) {
    TarvoMainSettings s;
    EXPECT_TRUE(s.MatchTypeMask("exe"));
    EXPECT_TRUE(s.MatchTypeMask("Ovl"));
    EXPECT_TRUE(s.MatchTypeMask("html"));
    EXPECT_FALSE(s.MatchTypeMask("txt"));
    EXPECT_TRUE(s.MatchNameMask("setup.Exe"));
    EXPECT_FALSE(s.MatchNameMask("setup"));
    EXPECT_FALSE(s.MatchNameMask("exe"));
}

TEST(TarvoMainSettings, ResetBringsBackTheDefaults) {
    TarvoMainSettings s;
    s.word[12] = 3;
    s.word[36] = 7;
    s.fileTypeMasks.Clear();
    s.excludePaths.AddString("/tmp");
    ASSERT_EQ(0, s.ResetToDefaults());
    EXPECT_EQ(0u, s.word[12]);
    EXPECT_EQ(50u, s.word[36]);
    EXPECT_EQ(77u, s.fileTypeMasks.Count());
    EXPECT_TRUE(s.excludePaths.IsEmpty());
}

class SettingsCopy : public ::testing::Test {
protected:
    void SetUp() override {
        for (int n = 1; n <= TarvoMainSettings::kWordCount; ++n) source.word[n] = 1000 + n;
        source.fileTypeMasks.Clear();
        source.fileTypeMasks.AddString("EXE");
        source.nameMasks.Clear();
        source.nameMasks.AddString("*.com");
        source.nameMasks.AddString("*.bat");
        source.excludePaths.AddString("/proc");
        source.spareList1.AddString("one");
        source.spareList2.AddString("two");
        target.word[17] = 99;
        target.excludePaths.AddString("/old");
    }
    TarvoMainSettings source;
    TarvoMainSettings target;
};

TEST_F(SettingsCopy, KeepsWordsOneTwoNineAndTenAtTheirDefaults) {
    ASSERT_EQ(0, CopyMainSettings(source, target));
    EXPECT_EQ(0u, target.word[1]);
    EXPECT_EQ(0u, target.word[2]);
    EXPECT_EQ(1u, target.word[9]);
    EXPECT_EQ(0u, target.word[10]);
    for (int n : {3, 4, 5, 6, 7, 8, 11, 12, 17, 23, 24, 35, 36})
        EXPECT_EQ(1000u + n, target.word[n]) << "word " << n;
}

TEST_F(SettingsCopy, ReplacesEveryList) {
    ASSERT_EQ(0, target.CopyFrom(source));
    EXPECT_EQ((std::vector<std::string>{"EXE"}), Items(target.fileTypeMasks));
    EXPECT_EQ((std::vector<std::string>{"*.com", "*.bat"}), Items(target.nameMasks));
    EXPECT_EQ((std::vector<std::string>{"/proc"}), Items(target.excludePaths));
    EXPECT_EQ((std::vector<std::string>{"one"}), Items(target.spareList1));
    EXPECT_EQ((std::vector<std::string>{"two"}), Items(target.spareList2));
    // The copy is the target's own: changing the source later leaves it.
    source.nameMasks.Clear();
    EXPECT_EQ(2u, target.nameMasks.Count());
}

TEST_F(SettingsCopy, CopyToGoesTheOtherWay) {
    ASSERT_EQ(0, source.CopyTo(target));
    EXPECT_EQ(1017u, target.word[17]);
    EXPECT_TRUE(target.MatchNameMask("x.BAT"));
}

TEST_F(SettingsCopy, OntoItselfChangesNothing) {
    ASSERT_EQ(0, CopyMainSettings(source, source));
    EXPECT_EQ(1001u, source.word[1]);
    EXPECT_EQ(2u, source.nameMasks.Count());
    EXPECT_EQ(1u, source.excludePaths.Count());
}

// The invariant every faster way of copying must keep: each list of the copy
// holds the source's entries in the source's order, whatever the copy held.
std::vector<std::vector<std::string>> ListsOf(TarvoMainSettings& s) {
    return {Items(s.fileTypeMasks), Items(s.excludePaths), Items(s.spareList1), Items(s.spareList2),
            Items(s.nameMasks)};
}

TEST_F(SettingsCopy, EveryWayOfCopyingGivesTheSourceListsListByList) {
    TarvoMainSettings defaults;
    for (TarvoMainSettings* from : {&source, &defaults}) {
        const std::vector<std::vector<std::string>> expected = ListsOf(*from);
        TarvoMainSettings copied(from);
        TarvoMainSettings shared(from, true);
        TarvoMainSettings onto;
        onto.excludePaths.AddString("/old");
        ASSERT_EQ(0, CopyMainSettings(*from, onto));
        for (TarvoMainSettings* copy : {&copied, &shared, &onto}) {
            EXPECT_EQ(expected, ListsOf(*copy));
            for (int n : {3, 8, 11, 36}) EXPECT_EQ(from->word[n], copy->word[n]) << "word " << n;
            for (int n : {1, 2, 9, 10}) EXPECT_EQ(defaults.word[n], copy->word[n]) << "word " << n;
        }
        EXPECT_TRUE(shared.SharesListsWith(*from));
        EXPECT_FALSE(copied.SharesListsWith(*from));
    }
}

TEST_F(SettingsCopy, SharedListsOutliveTheirSourceAndWordsStayOwn) {
    auto owner = std::make_unique<TarvoMainSettings>(&source);
    TarvoMainSettings shared(owner.get(), true);
    shared.word[17] = 5;
    EXPECT_EQ(1017u, owner->word[17]);
    owner.reset();
    EXPECT_EQ((std::vector<std::string>{"*.com", "*.bat"}), Items(shared.nameMasks));
    EXPECT_TRUE(shared.MatchNameMask("x.BAT"));
}

TEST(TarvoMainSettings, MadeFromNothingIsTheDefaults) {
    TarvoMainSettings defaults;
    TarvoMainSettings fromNull(nullptr);
    TarvoMainSettings sharedFromNull(nullptr, true);
    for (TarvoMainSettings* s : {&fromNull, &sharedFromNull}) {
        EXPECT_EQ(ListsOf(defaults), ListsOf(*s));
        for (int n = 1; n <= TarvoMainSettings::kWordCount; ++n) EXPECT_EQ(defaults.word[n], s->word[n]) << n;
    }
}

} // namespace
