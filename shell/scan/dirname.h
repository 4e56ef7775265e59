// The directory part of a path.
#pragma once

#include <cstddef>

// Writes the directory part of path into out (at most outSize - 1
// characters) and returns out: "" for an empty path, "." without a '/',
// "/" for a path directly below the root or made of slashes only; trailing
// slashes are ignored.
char* DirNameOf(const char* path, char* out, size_t outSize);
