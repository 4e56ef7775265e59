#pragma once
// Framing of the client protocol and the timed reader and writer that every exchange uses.
//
// Words are 32-bit big-endian on the client protocol (host order on the master-child pipes: the
// caller puts a word in the order it wants before sending it). A string is a word holding strlen + 1,
// then the text and its NUL; a list is a word N, then N strings; a file is a word holding its size,
// then its bytes in pieces of at most 16384.

#include <cstddef>
#include <cstdint>

#include "unix/protocol/budget.h"

// WriteFull results.
constexpr int kWriteError = -1;
constexpr int kWriteTimeout = -2;
constexpr int kWriteStopped = -3;

// 0 when exactly `size` bytes were read into `buffer`; -1 otherwise (time-outs and errors logged;
// the end of the stream, EBADF, a stop and errors during a reload are silent).
int ReadFull(int fd, size_t size, void* buffer, TimeBudget& budget, bool honourStop);

// ReadFull of `size` bytes, taking up to `more` bytes after them in the same call when they are
// already there (ReadExact); *got tells how many bytes came, also when it fails.
int ReadFullAndMore(int fd, size_t size, size_t more, void* buffer, TimeBudget& budget, bool honourStop,
                    size_t* got);

// ReadFull of one word, which it puts in host order: 0 or -1.
int ReadWord(int fd, TimeBudget& budget, bool honourStop, uint32_t* word);

// 0 when all bytes were written; kWriteError, kWriteTimeout or kWriteStopped. `quiet` suppresses the
// messages.
int WriteFull(const void* buffer, size_t size, int fd, TimeBudget& budget, bool quiet, bool honourStop);

// While one lives, the WriteFull calls to its descriptor collect their bytes in one buffer, sent by
// Flush (or at the end of its life) with as few calls as the buffer allows: a reply of several units
// leaves in one system call, byte for byte as the units would have left one by one. A unit that
// finds the stop flag set (when it honours it) is refused as WriteFull would refuse it. The first
// failure of a Flush is logged as the unit in which it happened would have logged it. One at a time:
// a second one made while the first lives collects nothing.
class GatheredWrites {
public:
    GatheredWrites(int fd, TimeBudget& budget);
    ~GatheredWrites();
    GatheredWrites(const GatheredWrites&) = delete;
    GatheredWrites& operator=(const GatheredWrites&) = delete;

    // 0, or the WriteFull result of the bytes collected.
    int Flush();
    // For WriteFull: 1 when the bytes were taken (result in *status), 0 when they are not for this.
    int Take(const void* buffer, size_t size, int fd, bool quiet, bool honourStop, int* status);

private:
    static constexpr size_t kCapacity = 16384;
    static constexpr size_t kMaxUnits = 64;
    struct Unit {
        size_t end;
        bool quiet;
    };
    bool active_;
    int fd_;
    TimeBudget& budget_;
    bool honourStop_ = false;
    size_t used_ = 0;
    size_t units_ = 0;
    Unit unit_[kMaxUnits];
};

// WriteFull to a pipe (the master-child pipes): write() from the first call, without the send() that
// a pipe would refuse.
int WritePipeFull(const void* buffer, size_t size, int fd, TimeBudget& budget, bool quiet, bool honourStop);

// WriteFull of the 4 bytes of `word`, which the caller has already put in wire order.
int SendWord(uint32_t word, int fd, TimeBudget& budget, bool quiet, bool honourStop);

// The string unit (a null text goes out as the empty text); 0 or -1.
int SendString(const char* text, int fd, TimeBudget& budget, bool quiet);

// The list unit: the count word, then each text as a string; 0 or -1 at the first failure.
int SendStringList(const char* const* texts, uint32_t count, int fd, TimeBudget& budget, bool quiet);

// The file unit of the file at `path`, opened through the file layer; 0 or -1. A file whose size does
// not fit the size word is refused, and a file that shrinks while it is sent fails the transfer.
int SendFile(const char* path, int fd, TimeBudget& budget);

// When the stop flag is clear and every bit of `bit` is set in `mask`: the word `bit`, then the word
// `value` (both converted to wire order here). Always 0.
int SendStatistic(uint32_t mask, uint32_t bit, uint32_t value, int fd, TimeBudget& budget);
