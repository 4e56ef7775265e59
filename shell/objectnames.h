// The names the rename and move actions give an infected object.
#pragma once

#include <cstddef>

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
