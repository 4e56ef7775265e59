#include "shell/settings/excludepaths.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <string_view>
#include <unistd.h>

#include "base/strutil.h"
#include "base/tvstrlist.h"
#include "base/wildmatch.h"

namespace {

char Lower(char c) {
    return static_cast<char>(tolower(static_cast<unsigned char>(c)));
}

// What every text that the pattern matches begins with, lower-cased as the match compares: the
// characters before its first wildcard, quoted ones included. A backslash at the end is left out: a
// '*' appended to the pattern would make it quote that.
std::string LiteralPrefix(const std::string& pattern) {
    std::string prefix;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '*' || c == '?') break;
        if (c == '\\') {
            if (i + 1 == pattern.size()) break;
            c = pattern[++i];
        }
        prefix += Lower(c);
    }
    return prefix;
}

size_t CommonLength(std::string_view a, std::string_view b) {
    const size_t most = std::min(a.size(), b.size());
    size_t n = 0;
    while (n < most && a[n] == b[n]) ++n;
    return n;
}

} // namespace

void ExcludePathIndex::Build(tvStringList& list) {
    entries_.clear();
    for (const char* entry = static_cast<const char*>(list.First()); entry;
         entry = static_cast<const char*>(list.Next())) {
        std::string pattern = entry;
        SqueezeChar(&pattern[0], '/');
        pattern.resize(strlen(pattern.c_str()));
        if (pattern.empty()) continue;
        entries_.push_back(Entry{LiteralPrefix(pattern), pattern});
    }
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.prefix < b.prefix; });
    built_ = true;
}

void ExcludePathIndex::Follow(tvStringList& list) {
    if (built_ && !list.IsChanged()) return;
    Build(list);
    list.SetChanged(0);
}

bool ExcludePathIndex::EntryMatches(const Entry& entry, const char* dir) const {
    const std::string& pattern = entry.pattern;
    if (pattern.back() == '*') return WildMatchEsc(pattern.c_str(), dir) != 0;
    const bool exact = WildMatchEsc(pattern.c_str(), dir) != 0;
    const bool starred = WildMatchEsc((pattern + '*').c_str(), dir) != 0;
    // Whether the entry exists as a file decides only where the two differ.
    if (exact == starred) return exact;
    return access(pattern.c_str(), F_OK) == 0 ? exact : starred;
}

bool ExcludePathIndex::Matches(const char* dir) const {
    if (entries_.empty() || !dir) return false;
    std::string lowered = dir;
    for (char& c : lowered) c = Lower(c);
    // The entries that can match are those whose prefix begins the folder. Each round takes the
    // greatest prefix not above the part of the folder still in question: either it begins the
    // folder, and the entries with it are tried, or the prefixes left to try are no longer than
    // what it has in common with the folder.
    size_t limit = lowered.size();
    for (;;) {
        const std::string_view key(lowered.data(), limit);
        const auto after = std::upper_bound(entries_.begin(), entries_.end(), key,
                                            [](std::string_view k, const Entry& e) { return k < e.prefix; });
        if (after == entries_.begin()) return false;
        const std::string& found = std::prev(after)->prefix;
        const size_t common = CommonLength(found, key);
        if (common < found.size()) {
            limit = common;
            continue;
        }
        for (auto e = std::prev(after);; --e) {
            if (e->prefix != found) break;
            if (EntryMatches(*e, dir)) return true;
            if (e == entries_.begin()) break;
        }
        if (found.empty()) return false;
        limit = found.size() - 1;
    }
}
