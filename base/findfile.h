// Directory search by shell-style mask ("dir/*.vdb"), one entry at a time.
// An open search holds one descriptor of the budget.
#pragma once

#include <dirent.h>

#include <cstdint>
#include <string>

struct FindRecord {
    DIR* dir = nullptr;
    std::string name;      // current entry
    std::string fullName;  // directory, '/', name
    std::string pattern;   // last component of the search path
    std::string directory; // the rest, "/" or "./"
    size_t directoryLength = 0;
    int isLink = 0;
    int64_t size = -1;   // -1 when not available
    int mode = -1;       // of the entry itself
    int targetMode = -1; // of what a link points to
    int error = 0;       // errno of the last status query
};

// Identifies an open search; -1 for none.
using FindHandle = intptr_t;

// Starts a search and fills *record with the first match; -1 with errno
// set (EMFILE at the budget limit, ENOENT when nothing matches).
FindHandle FindFirst(const char* path, FindRecord** record);
// 0 with the record on the next match; -1 at the end, when the search is
// released and record becomes null.
int FindNext(FindHandle handle, FindRecord*& record);
const char* FindFileName(const FindRecord* record);
// The entry's mode, or for a link with FollowLinks its target's; -1 when
// not available.
int FindFileMode(const FindRecord* record);
// Ends a search early and gives its descriptor back; record becomes null.
// Harmless after FindNext has ended the search.
int FindClose(FindHandle handle, FindRecord*& record);
