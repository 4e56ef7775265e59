// A small buffered stream for reading a file or a block of memory, or for
// writing a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct BufStream {
    int fd = -1;          // kMemoryStream for a stream over memory
    size_t index = 0;     // reading: next byte; writing: bytes pending
    size_t filled = 0;    // bytes held in the buffer (reading)
    int64_t position = 0; // offset of the next byte
    int write = 0;
    int atEnd = 0; // end of data or a read error
    unsigned char* buffer = nullptr;
    size_t bufferSize = 0;
    int callerBuffer = 0; // the buffer is the caller's and is not freed
    int writeFailed = 0;  // pending bytes could not be written
    std::unique_ptr<unsigned char[]> ownBuffer;
};

constexpr int kMemoryStream = -2;
constexpr size_t kStreamBufferSize = 16384;

// Opens path for writing (created or truncated, mode 0600) or reading. A
// read stream given a buffer and a size reads those bytes instead of a file.
// Null on failure.
BufStream* StreamOpen(const char* path, int write, void* buffer, size_t size);
// Writes what is pending, closes and frees; 0, or -1 when data was lost.
int StreamClose(BufStream* stream);
// The next byte (0-255), or -1 at the end.
int StreamGetByte(BufStream* stream);
// The byte StreamGetByte would give next, left in the stream; -1 at the end.
int StreamPeekByte(BufStream* stream);
size_t StreamRead(BufStream* stream, void* buf, size_t n);
// Up to and including '\n', at most max bytes, then a terminator: buf needs
// max + 1 bytes. The number stored.
size_t StreamReadLine(BufStream* stream, char* buf, size_t max);
// Skips line ends, then reads one line of at most max characters without its
// end; buf needs max + 1 bytes. The number stored.
size_t StreamReadTrimmedLine(BufStream* stream, char* buf, size_t max);
// n, or -1 when the stream is not for writing or a write failed.
int64_t StreamWrite(BufStream* stream, const void* data, size_t n);
// pos, or -1 (write streams, positions a memory stream does not hold).
int64_t StreamSeek(BufStream* stream, int64_t pos);
// Size in bytes, or -1; reading goes on where it was.
int64_t StreamSize(BufStream* stream);

struct StreamCloser {
    void operator()(BufStream* s) const { StreamClose(s); }
};
using BufStreamPtr = std::unique_ptr<BufStream, StreamCloser>;
