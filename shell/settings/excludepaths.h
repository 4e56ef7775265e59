// The ExcludePaths entries made ready for matching: a folder is tested only against the entries that
// can match it, so that a request does not pay for every entry of a long list.
#pragma once

#include <string>
#include <vector>

class tvStringList;

class ExcludePathIndex {
public:
    // From the entries of list, each with its runs of '/' squeezed; empty ones are left out.
    void Build(tvStringList& list);
    // Build, when this was never built or list changed since (by its changed flag, which this clears).
    void Follow(tvStringList& list);
    // Whether an entry matches the folder dir: each entry is a wildcard pattern (without case, '\'
    // quoting the next character), and one that does not end in '*' and does not exist as a file is
    // matched as if '*' followed it.
    bool Matches(const char* dir) const;

private:
    struct Entry {
        std::string prefix; // lower-cased text before the first wildcard: what a match begins with
        std::string pattern;
    };
    bool EntryMatches(const Entry& entry, const char* dir) const;

    // Sorted by prefix.
    std::vector<Entry> entries_;
    bool built_ = false;
};
