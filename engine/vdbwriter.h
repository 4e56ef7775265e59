// Builds base files of the stand-in engine (engine/vdbformat.h) from a
// readable signature list. Used by the base tool and by tests that need
// bases of their own.
//
// The list, one item a line; blank lines and lines starting with '#' are
// skipped:
//   base key=value ...       header values: title="text" (quotes allow
//                            blanks), kind, stamp, key3, key3b, flag (0/1),
//                            key4, daily (0/1); count (the header's record
//                            count, when it must differ from the records),
//                            format (the body format number), lead (bytes of
//                            zeros before the header). Numbers are decimal or
//                            0x hexadecimal.
//   CLASS NAME TARGET OFFSET CURE PATTERN
//     CLASS    infected modification suspicious adware dialer joke riskware
//              hacktool, or marker
//     NAME     the finding's name (no blanks); for a marker, a label
//     TARGET   file, boot or any (both)
//     OFFSET   where the pattern must start in the object, or * for anywhere
//     CURE     incurable, wipe or cut; for a marker the result bits it
//              reports: a number or names joined by '+' (read-error,
//              write-error, decompression-error, password, crc-error,
//              header-crc-error, no-memory, split, container, and
//              the engine's own repeat, refuse, endless and
//              keep-open)
//     PATTERN  text:BYTES (the rest of the line as it stands) or
//              hex:HEXDIGITS (blanks between pairs allowed)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct VdbSignature {
    uint8_t cls = 0;
    uint8_t targets = 0;
    uint8_t cure = 0;
    int32_t offset = -1;
    uint32_t result = 0;
    std::string name;
    std::string pattern; // unmasked bytes
};

struct VdbBase {
    std::string title;
    uint16_t kind = 0;
    uint16_t stamp = 0;
    uint16_t key3 = 0;
    uint16_t key3b = 0; // low 15 bits
    uint8_t flag = 0;
    uint32_t key4 = 0;
    uint8_t daily = 0;
    uint16_t format = 1;
    bool countGiven = false;
    uint32_t count = 0;
    uint32_t lead = 0;
    std::vector<VdbSignature> signatures;
};

// Parses a whole list. 0, or -1 with error holding "line N: what".
int ParseSignatureList(const std::string& text, VdbBase& base, std::string& error);

// The bytes of the base file.
std::string BuildBaseImage(const VdbBase& base);

// Writes the base file (created or truncated). 0, or -1 with error set.
int WriteBaseFile(const std::string& path, const VdbBase& base, std::string& error);
