// The names the rename and move actions give an infected object.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// path with its extension (after the last '.' of the last component; a name
// without one gets a '.') overwritten by pattern: '?' keeps the original
// character, any other character replaces it. The new extension ends where
// the pattern ends, or where a '?' meets the end of the original extension:
// "a.exe" and "#??" give "a.#xe", "a" gives "a.#". 0, or -1 when the result
// does not fit into outSize bytes.
int MakeRenamedName(const char* path, const char* pattern, char* out, size_t outSize);

// The last component of path joined to folder, runs of '/' squeezed, in out
// (kPathBufSize bytes). 0, or -1 when it does not fit or path names no file.
int MakeMoveTarget(const char* folder, const char* path, char* out);

// Tries attempt on wanted, then on the free names that MakeUniquePath finds
// after it, then on wanted with a counter suffix (".1", ".2", ...), until
// attempt succeeds (0) or fails (-1) with errno other than EEXIST: attempt
// takes the name itself (an exclusive create, a rename that replaces
// nothing), so a name taken in the meantime is passed over. 0 with the name
// in chosen, or -1.
int TryUniqueNames(const std::string& wanted, const std::function<int(const char*)>& attempt,
                   std::string* chosen);
