#pragma once
// The process prefix printed before the daemon's per-request log lines.

#include <cstddef>

// Room for the longest prefix: a peer address of up to 256 bytes, a blank and "[pid] ".
constexpr size_t kProcessPrefixSize = 300;

// The address of the client being served (empty for Unix-domain clients and between clients).
extern char ClientPeerAddress[257];

// With LogProcessInfo on: the peer address and a blank (when known), then the own pid in square
// brackets and a blank; otherwise the empty text. Always terminated within `size` bytes.
void FormatProcessPrefix(char* buffer, size_t size);
