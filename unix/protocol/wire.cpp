#include "unix/protocol/wire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

#include "base/filelayer.h"

#include "unix/protocol/signalflags.h"
#include "unix/protocol/transfer.h"
#include "unix/protocol/wirelog.h"

namespace {

void LogSystemError(int number, int error, const char* mark) {
    char text[512];
    snprintf(text, sizeof text, ProtocolMessage(number), strerror(error));
    LogProtocolLine("%s%s", text, mark);
}

} // namespace

int ReadWord(int fd, TimeBudget& budget, bool honourStop, uint32_t* word) {
    uint32_t wire = 0;
    if (ReadFull(fd, sizeof wire, &wire, budget, honourStop) != 0) return -1;
    *word = ntohl(wire);
    return 0;
}

int ReadFull(int fd, size_t size, void* buffer, TimeBudget& budget, bool honourStop) {
    size_t got = 0;
    return ReadFullAndMore(fd, size, 0, buffer, budget, honourStop, &got);
}

int ReadFullAndMore(int fd, size_t size, size_t more, void* buffer, TimeBudget& budget, bool honourStop,
                    size_t* got) {
    const TransferResult r = ReadExact(fd, buffer, size, budget, honourStop, more);
    *got = r.done;
    switch (r.end) {
    case TransferEnd::kDone:
        return 0;
    case TransferEnd::kExpired:
        LogProtocolLine("%s (1)", ProtocolMessage(121));
        break;
    case TransferEnd::kTimedOut:
        if (!ExitFlag) LogProtocolLine("%s (2)", ProtocolMessage(121));
        break;
    case TransferEnd::kIoError:
        if (!ReloadFlag && r.error != EBADF) LogSystemError(122, r.error, " (2)");
        break;
    case TransferEnd::kWaitError:
        LogSystemError(122, r.error, " (3)");
        break;
    case TransferEnd::kStopped:
    case TransferEnd::kClosed:
    case TransferEnd::kInterrupted:
        break;
    }
    errno = r.error;
    return -1;
}

namespace {

GatheredWrites* ActiveGather = nullptr;
char GatherBuffer[16384];

// The WriteFull result of a write that ended with r, and its message unless quiet.
int WriteResult(const TransferResult& r, bool quiet) {
    switch (r.end) {
    case TransferEnd::kDone:
        return 0;
    case TransferEnd::kStopped:
        return kWriteStopped;
    case TransferEnd::kExpired:
    case TransferEnd::kTimedOut:
    case TransferEnd::kInterrupted:
        if (!quiet) LogProtocolLine("%s", ProtocolMessage(119));
        return kWriteTimeout;
    case TransferEnd::kClosed:
    case TransferEnd::kIoError:
    case TransferEnd::kWaitError:
        break;
    }
    if (!quiet) LogSystemError(120, r.error, "");
    errno = r.error;
    return kWriteError;
}

int WriteFullTo(WriteTarget target, const void* buffer, size_t size, int fd, TimeBudget& budget, bool quiet,
                bool honourStop) {
    return WriteResult(WriteExact(fd, buffer, size, budget, honourStop, target), quiet);
}

} // namespace

int WriteFull(const void* buffer, size_t size, int fd, TimeBudget& budget, bool quiet, bool honourStop) {
    int status = 0;
    if (ActiveGather && ActiveGather->Take(buffer, size, fd, quiet, honourStop, &status)) return status;
    return WriteFullTo(WriteTarget::kSocket, buffer, size, fd, budget, quiet, honourStop);
}

GatheredWrites::GatheredWrites(int fd, TimeBudget& budget)
    : active_(ActiveGather == nullptr), fd_(fd), budget_(budget) {
    static_assert(sizeof GatherBuffer == kCapacity, "one buffer for the one live collection");
    if (active_) ActiveGather = this;
}

GatheredWrites::~GatheredWrites() {
    Flush();
    if (active_) ActiveGather = nullptr;
}

int GatheredWrites::Take(const void* buffer, size_t size, int fd, bool quiet, bool honourStop, int* status) {
    if (!active_ || fd != fd_) return 0;
    if (honourStop && StopFlag) {
        *status = kWriteStopped;
        return 1;
    }
    if (size > kCapacity - used_ || units_ == kMaxUnits) {
        *status = Flush();
        if (*status != 0) return 1;
        // What does not fit even into the empty buffer goes out as it is.
        if (size > kCapacity) {
            *status = WriteFullTo(WriteTarget::kSocket, buffer, size, fd, budget_, quiet, honourStop);
            return 1;
        }
    }
    if (size > 0) memcpy(GatherBuffer + used_, buffer, size);
    used_ += size;
    unit_[units_++] = Unit{used_, quiet};
    honourStop_ = honourStop_ || honourStop;
    *status = 0;
    return 1;
}

int GatheredWrites::Flush() {
    if (!active_ || used_ == 0) {
        units_ = 0;
        return 0;
    }
    const size_t size = used_;
    used_ = 0;
    const size_t units = units_;
    units_ = 0;
    const bool honourStop = honourStop_;
    honourStop_ = false;
    const TransferResult r = WriteExact(fd_, GatherBuffer, size, budget_, honourStop);
    if (r.end == TransferEnd::kDone) return 0;
    // Each unit was a WriteFull of its own: the one in which the write ended decides the message.
    bool quiet = unit_[units - 1].quiet;
    for (size_t i = 0; i < units; ++i) {
        if (r.done < unit_[i].end) {
            quiet = unit_[i].quiet;
            break;
        }
    }
    return WriteResult(r, quiet);
}

int WritePipeFull(const void* buffer, size_t size, int fd, TimeBudget& budget, bool quiet, bool honourStop) {
    return WriteFullTo(WriteTarget::kPipe, buffer, size, fd, budget, quiet, honourStop);
}

int SendWord(uint32_t word, int fd, TimeBudget& budget, bool quiet, bool honourStop) {
    return WriteFull(&word, sizeof word, fd, budget, quiet, honourStop);
}

int SendString(const char* text, int fd, TimeBudget& budget, bool quiet) {
    if (text == nullptr) text = "";
    const size_t length = strlen(text) + 1;
    if (length > UINT32_MAX) return -1;
    if (SendWord(htonl(static_cast<uint32_t>(length)), fd, budget, quiet, false) != 0) return -1;
    return WriteFull(text, length, fd, budget, quiet, false) == 0 ? 0 : -1;
}

int SendStringList(const char* const* texts, uint32_t count, int fd, TimeBudget& budget, bool quiet) {
    if (SendWord(htonl(count), fd, budget, quiet, false) != 0) return -1;
    for (uint32_t i = 0; i < count; ++i)
        if (SendString(texts[i], fd, budget, quiet) != 0) return -1;
    return 0;
}

int SendFile(const char* path, int fd, TimeBudget& budget) {
    const int file = FileOpen(path, O_RDONLY, 0);
    if (file < 0) return -1;
    int result = -1;
    const int64_t fileSize = FileSize(file);
    if (fileSize >= 0 && fileSize <= INT64_C(0xFFFFFFFF)) {
        const uint32_t size = static_cast<uint32_t>(fileSize);
        result = SendWord(htonl(size), fd, budget, false, true) == 0 ? 0 : -1;
        char piece[kTransferPiece];
        uint32_t sent = 0;
        while (result == 0 && sent < size) {
            const size_t want = size - sent < sizeof piece ? size - sent : sizeof piece;
            size_t got = 0;
            while (got < want) {
                const ssize_t n = FileRead(file, piece + got, want - got);
                if (n > 0) {
                    got += static_cast<size_t>(n);
                } else if (n < 0 && errno == EINTR) {
                    continue;
                } else {
                    break; // the file ended early or cannot be read
                }
            }
            if (got < want || WriteFull(piece, got, fd, budget, false, true) != 0) result = -1;
            sent += static_cast<uint32_t>(got);
        }
    }
    FileClose(file);
    return result;
}

int SendStatistic(uint32_t mask, uint32_t bit, uint32_t value, int fd, TimeBudget& budget) {
    if (!StopFlag && (mask & bit) == bit) {
        if (SendWord(htonl(bit), fd, budget, false, true) == 0)
            SendWord(htonl(value), fd, budget, false, true);
    }
    return 0;
}
