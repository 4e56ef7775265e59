#pragma once
// The silent core of the timed transfers: whole buffers read from or written to a descriptor against a
// time budget, with the reason when they end early. The daemon's reader and writer (wire.h) add their
// log messages on top; the client library uses the core as it is, since it must print nothing.

#include <cstddef>

#include "unix/protocol/budget.h"

// Largest piece that one read or write system call moves.
constexpr size_t kTransferPiece = 16384;

enum class TransferEnd {
    kDone,        // every byte moved
    kStopped,     // the stop flag was set and the caller honours it
    kExpired,     // the budget was spent before the next system call
    kTimedOut,    // the wait for the descriptor ran out (or a flag ended it)
    kClosed,      // end of stream while reading, or a write that took nothing
    kIoError,     // read/write failed; `error` holds errno
    kWaitError,   // poll failed; `error` holds errno
    kInterrupted, // exit flag during an unlimited, stop-honouring wait
};

struct TransferResult {
    TransferEnd end = TransferEnd::kDone;
    int error = 0;
    size_t done = 0; // bytes moved before the end
};

// Reads exactly `size` bytes. The budget is lowered by the time spent (never below 0; a negative
// budget stays unlimited). With `more`, each read also asks for up to `more` bytes after them, which
// are taken when they are there already but never waited for (`done` tells how many came): for
// fields that the sender is known to send next, so that one call can take both.
TransferResult ReadExact(int fd, void* buffer, size_t size, TimeBudget& budget, bool honourStop,
                         size_t more = 0);

// What WriteExact writes to: a socket is tried with send() first (a descriptor that turns out not to
// be one falls back to write()); a pipe or a file is written with write() from the start.
enum class WriteTarget { kSocket, kPipe };

// Writes exactly `size` bytes; waits for the descriptor to become writable when it is full. Sockets
// are written with MSG_NOSIGNAL, so a peer that went away gives EPIPE instead of killing the process.
TransferResult WriteExact(int fd, const void* buffer, size_t size, TimeBudget& budget, bool honourStop,
                          WriteTarget target = WriteTarget::kSocket);
