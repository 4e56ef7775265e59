// What the content filter recognises in the first bytes of an object.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes expected at a fixed offset of an object's first bytes.
struct FileSignature {
    uint32_t offset;
    uint32_t length;
    const char* bytes; // null ends a table
};

// Compared byte for byte, and compared without case; both end with a null row.
extern const FileSignature BinarySignatures[];
extern const FileSignature TextSignatures[];

// How many leading bytes the content filter looks at.
constexpr size_t kContentHeaderSize = 512;
// Objects below this size get the extra first-byte tests.
constexpr uint64_t kSmallObjectSize = 65536;

// Whether sig lies wholly within the len bytes at data and matches there.
bool SignatureMatches(const FileSignature& sig, const uint8_t* data, size_t len, bool noCase);
// Whether any row of table matches.
bool AnySignatureMatches(const FileSignature* table, const uint8_t* data, size_t len, bool noCase);

// The content filter's verdict on the len first bytes of an object of the
// given size: 1 to scan, 0 to skip.
int ContentWorthScanning(const uint8_t* data, size_t len, uint64_t size);
