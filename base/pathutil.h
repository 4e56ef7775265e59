// Path expansion and creation, unique names, number parsing and formatting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/shortbytes.h"

// Path buffers hold kPathMax characters and a terminator.
constexpr size_t kPathMax = 4096;
constexpr size_t kPathBufSize = kPathMax + 1;

// The running program's path as resolved at start-up; relative paths of the
// configuration are anchored at its folder. "" until set.
// 0, or -1 (path left empty) for a null or over-long path.
int SetProgramPath(const char* path);
const char* ProgramPath();

// Fills a kPathBufSize buffer with at most kPathMax characters of src and a terminator.
char* CopyPathBuffer(char* dst, const char* src);
// The same for a src of length characters (strlen) that the caller measured already. Inline: every
// scanned object's path is copied.
inline char* CopyPathBuffer(char* dst, const char* src, size_t length) {
    const size_t n = length < kPathMax ? length : kPathMax;
    // A path may be copied over itself, or over a part of itself.
    const auto to = reinterpret_cast<uintptr_t>(dst);
    const auto from = reinterpret_cast<uintptr_t>(src);
    if (from + n <= to || to + n <= from)
        CopyShortBytes(dst, src, n);
    else
        std::memmove(dst, src, n);
    dst[n] = '\0';
    return dst;
}

// dst (kPathBufSize bytes) gets src as an absolute path without ".", ".." and
// empty components. Returns dst, or null with dst empty when the result would
// not fit.
char* CanonicalPath(const char* src, char* dst);

// Expands a leading "~" or "~user", anchors a relative path at the program's
// folder when relative is set (a path beginning with '/', '.' or '~' is not
// anchored), otherwise makes it canonical; runs of '/' become one. Returns
// dst (kPathBufSize bytes), or null with dst empty when the result would not
// fit. A null src gives "".
char* ExpandPath(const char* src, char* dst, int relative);

// Creates path and its missing parents (mode 0300). 1 when path is a
// directory afterwards, 0 otherwise.
int MakeDirs(const char* path);
// mkdir with mode 0700: 0, or -1 with errno set.
int MakeDir700(const char* path);

// When something of that name exists, changes the name in the kPathBufSize
// buffer path into one that does not, padding the part before the extension
// with '_' to 8 characters and writing digits into it from the right.
// Returns path, or null (path unchanged) when every candidate exists or the
// name would not fit.
char* MakeUniquePath(char* path);

// Decimal digits only (one leading '-' when allowMinus); -1 for anything
// else and for values outside 32 bits or equal to 2147483647. "" gives 0.
int32_t ParseNumber(const char* str, int allowMinus);

// Decimal digits of value; buf needs 11 bytes.
char* FormatUInt(uint32_t value, char* buf);
// "a.b.c.d" or, with a port, "a.b.c.d:port"; address and port in host order.
char* FormatIPv4(uint32_t address, char* buf, size_t size, unsigned int port);
