// The daemon's own requests, for programs that scan through it (tarvo-scan, the tests): a scan of
// contents sent over the connection (command 1) and the version text (command 4). Unlike the
// requests of tvclientrequest.h, the strings here carry their terminator and count it, as the
// daemon's strings do. Errors are the texts of tvclientrequest.h; nothing is printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "unix/client/tvclientarrays.h"
#include "unix/client/tvclientwire.h"
#include "unix/client/tvconnect.h"

constexpr uint32_t kCommandScan = 1;
constexpr uint32_t kCommandVersionText = 4;

// Option bits of a scan request that ask for parts of the reply: the found list and the report
// lines. No other bit is sent, so the daemon neither acts on the object nor sends it back.
constexpr uint32_t kScanWantFound = 0x1;
constexpr uint32_t kScanWantReport = 0x2;

// "empty object": contents of size 0 would be taken by the daemon as a path on its own side.
extern const char ClientErrorEmptyObject[];

struct ScanAnswer {
    uint32_t result = 0;
    StringArray found;  // with kScanWantFound
    StringArray report; // with kScanWantReport
};

// The string unit of the daemon: its length with the NUL, then the bytes and the NUL; 0 or -1.
int WriteDaemonString(const DaemonConnection& connection, const char* text, size_t length);

// Command 1: `size` bytes at `data` under `name`, with the option bits of `want` (kScanWant*
// only). The reply is read to its end, also the word a removed or cured object is answered with.
std::optional<ScanAnswer> ScanContents(const DaemonConnection& connection, const char* name, const void* data,
                                       size_t size, uint32_t want, const char** error);

// Command 4: the daemon's banner, copyright and engine version lines, without the NUL.
std::optional<OwnedText> QueryVersionText(const DaemonConnection& connection, const char** error);
