#include "shell/settings/excludepaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "base/scratch_dir.h"
#include "base/strutil.h"
#include "base/tvstrlist.h"
#include "base/wildmatch.h"
#include "shell/settings/scansettings.h"
#include "tests/shell/access_count.h"

namespace {

bool Matches(const std::vector<std::string>& entries, const std::string& dir) {
    tvStringList list(1);
    for (const auto& e : entries) list.AddString(e.c_str());
    ExcludePathIndex index;
    index.Build(list);
    return index.Matches(dir.c_str());
}

// Every entry in turn, as the list reads: the meaning the index keeps.
bool EachEntryMatches(const std::vector<std::string>& entries, const std::string& dir) {
    for (std::string pattern : entries) {
        SqueezeChar(&pattern[0], '/');
        pattern.resize(strlen(pattern.c_str()));
        if (pattern.empty()) continue;
        if (pattern.back() != '*' && access(pattern.c_str(), F_OK) != 0) pattern += '*';
        if (WildMatchEsc(pattern.c_str(), dir.c_str())) return true;
    }
    return false;
}

TEST(ExcludePathIndex, MatchesAsEachEntryWould) {
    ScratchDir scratch;
    const std::string d = scratch.path();
    ASSERT_EQ(0, mkdir((d + "/skip").c_str(), 0700));
    const struct {
        const char* name;
        std::vector<std::string> entries;
        std::string dir;
        bool excluded;
    } cases[] = {
        {"an existing folder: itself", {d + "/skip"}, d + "/skip", true},
        {"an existing folder: not what begins with it", {d + "/skip"}, d + "/skipper", false},
        {"a missing entry: what begins with it", {d + "/ski"}, d + "/skip", true},
        {"a missing entry: not what is shorter", {d + "/ski"}, d + "/sk", false},
        {"runs of slashes squeezed", {d + "//skip"}, d + "/skip", true},
        {"without case", {d + "/SKIP"}, d + "/skip", true},
        {"a wildcard first", {"*" + d + "/skip"}, d + "/skip", true},
        {"a wildcard first, elsewhere", {"*/sk?p*"}, "/srv/x/skip", true},
        {"one character", {d + "/s?ip"}, d + "/skip", true},
        {"a quoted character", {d + "/sk\\ip"}, d + "/skip", true},
        {"a quoted star", {d + "/sk\\*"}, d + "/skip", false},
        {"a backslash at the end quotes the star after it", {d + "/skip\\"}, d + "/skip*", true},
        {"a backslash at the end: not the folder", {d + "/skip\\"}, d + "/skip", false},
        {"an empty entry", {""}, d + "/skip", false},
        {"a data object's folder", {d + "/skip", d + "/srv*"}, ".", false},
        {"a shorter entry behind a longer one that begins the folder",
         {d + "/sr*x", d + "/srv/ab?z"},
         d + "/srv/ab/x",
         true},
        {"a shorter entry behind a longer one that does not",
         {d + "/sr*x", d + "/srv/aa"},
         d + "/srv/ab/x",
         true},
        {"entries beside the folder", {d + "/srv/aa/q", d + "/srv/b"}, d + "/srv/ab", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.excluded, Matches(c.entries, c.dir));
        EXPECT_EQ(c.excluded, EachEntryMatches(c.entries, c.dir));
    }

    // Entries and folders from a few characters, against every entry in turn; relative entries are
    // looked up in the scratch folder, where some of them exist.
    char* const before = getcwd(nullptr, 0);
    ASSERT_NE(nullptr, before);
    ASSERT_EQ(0, chdir(d.c_str()));
    for (const char* name : {"a", "a/b", "ab", "A", "b", "b/a"}) EXPECT_EQ(0, mkdir(name, 0700)) << name;
    std::mt19937 random(32);
    const char alphabet[] = "ab/A*?\\";
    const auto text = [&](size_t most) {
        std::string s;
        for (size_t n = random() % (most + 1); n > 0; --n) s += alphabet[random() % (sizeof alphabet - 1)];
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> entries;
        for (size_t n = 1 + random() % 6; n > 0; --n) entries.push_back(text(5));
        std::string dir = text(6);
        for (char& c : dir)
            if (c == '*' || c == '?' || c == '\\') c = 'b';
        EXPECT_EQ(EachEntryMatches(entries, dir), Matches(entries, dir))
            << "folder " << dir << " entry " << entries[0];
    }
    EXPECT_EQ(0, chdir(before));
    free(before);
}

// Only entries that can match the folder are looked up on the disk.
TEST(ExcludePathIndex, LooksUpOnlyEntriesThatCanMatch) {
    tvStringList list(1);
    for (int i = 0; i < 1000; ++i) list.AddString(("/srv/excluded/folder" + std::to_string(i)).c_str());
    ExcludePathIndex index;
    index.Build(list);
    const unsigned long before = AccessCalls;
    EXPECT_FALSE(index.Matches("."));
    EXPECT_FALSE(index.Matches("/var/spool/mail"));
    EXPECT_FALSE(index.Matches("/srv/excluded"));
    EXPECT_EQ(before, AccessCalls);
    // folder12 is missing and begins folder123: the one lookup that decides.
    EXPECT_TRUE(index.Matches("/srv/excluded/folder123/x"));
    EXPECT_LE(AccessCalls - before, 3u);
}

// The settings make the entries ready again whenever the list changes.
TEST(ExcludePathIndex, SettingsFollowTheList) {
    TarvoMainSettings s;
    EXPECT_FALSE(s.MatchExcludePath("/a"));
    s.excludePaths.AddString("/a");
    EXPECT_TRUE(s.MatchExcludePath("/a"));
    s.excludePaths.Clear();
    EXPECT_FALSE(s.MatchExcludePath("/a"));
    s.excludePaths.AddString("/b");
    EXPECT_TRUE(s.MatchExcludePath("/b"));
    EXPECT_FALSE(s.MatchExcludePath("/a"));
    TarvoMainSettings other;
    other.excludePaths.AddString("/c");
    ASSERT_EQ(0, CopyMainSettings(other, s));
    EXPECT_TRUE(s.MatchExcludePath("/c"));
    EXPECT_FALSE(s.MatchExcludePath("/b"));
    s.excludePaths.RemoveLast();
    EXPECT_FALSE(s.MatchExcludePath("/c"));
    // Settings that share the lists share what was made of them.
    s.excludePaths.AddString("/d");
    TarvoMainSettings shared(&s, true);
    EXPECT_TRUE(shared.MatchExcludePath("/d"));
    s.excludePaths.AddString("/e");
    EXPECT_TRUE(shared.MatchExcludePath("/e"));
}

} // namespace
