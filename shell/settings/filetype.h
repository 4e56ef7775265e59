// The check of an object's file type on disk before it is scanned.
#pragma once

#include <cstdint>

// Scan flags the check sets.
enum : uint32_t {
    kScanFlagNoAttributes = 0x1, // the file's attributes could not be read
    kScanFlagLinkSkipped = 0x400,
    kScanFlagNotRegular = 0x800,
};

struct FileTypeVerdict {
    int skip;         // 1 to skip, 0 to scan
    uint32_t message; // message number of the report, 0 for none
    uint32_t flags;   // scan flags to set
    int error;        // errno when the attributes could not be read
};

// What CheckFileType decides for path; size 0 means unknown (taken from the file).
FileTypeVerdict ClassifyFileType(const char* path, uint64_t size);

// 1 to skip path, 0 to scan it; the scan flags of the verdict are added to
// *flags. Unless quiet, a skip or a failure is reported on the current line,
// after the object's name when printName is set.
int CheckFileType(const char* path, uint64_t size, int quiet, int printName, uint32_t* flags);
