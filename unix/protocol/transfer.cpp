#include "unix/protocol/transfer.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

#include "unix/protocol/signalflags.h"

namespace {

// Deadline bookkeeping for one call: lowers the caller's budget on the way out.
class Deadline {
public:
    explicit Deadline(TimeBudget& budget)
        : budget_(budget), unlimited_(budget < 0), deadline_(unlimited_ ? 0 : MonotonicMillis() + budget) {}
    ~Deadline() {
        if (!unlimited_) budget_ = Left();
    }
    bool Unlimited() const { return unlimited_; }
    bool Passed() const { return !unlimited_ && MonotonicMillis() > deadline_; }
    int64_t Left() const {
        const int64_t left = deadline_ - MonotonicMillis();
        return left > 0 ? left : 0;
    }
    int64_t WaitMillis() const { return unlimited_ ? -1 : Left(); }

private:
    TimeBudget& budget_;
    bool unlimited_;
    int64_t deadline_;
};

size_t Piece(size_t left) {
    return left < kTransferPiece ? left : kTransferPiece;
}

bool Transient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// Waits for `events` on fd; kDone means "try the system call again".
TransferResult Wait(int fd, short events, const Deadline& deadline, bool honourStop) {
    pollfd pfd{fd, events, 0};
    const int r = PollWithTimeout(&pfd, 1, deadline.WaitMillis());
    TransferResult result;
    if (r == 0) {
        result.end = TransferEnd::kTimedOut;
    } else if (r < 0) {
        if (!Transient(errno)) {
            result.end = TransferEnd::kWaitError;
            result.error = errno;
        } else if (ExitFlag && honourStop && deadline.Unlimited()) {
            result.end = TransferEnd::kInterrupted;
        }
    }
    return result;
}

} // namespace

TransferResult ReadExact(int fd, void* buffer, size_t size, TimeBudget& budget, bool honourStop,
                         size_t more) {
    TransferResult result;
    if (size == 0) return result;
    Deadline deadline(budget);
    char* p = static_cast<char*>(buffer);
    for (;;) {
        if (honourStop && StopFlag) {
            result.end = TransferEnd::kStopped;
            return result;
        }
        if (deadline.Passed()) {
            result.end = TransferEnd::kExpired;
            return result;
        }
        errno = 0;
        const ssize_t n = read(fd, p + result.done, Piece(size + more - result.done));
        if (n > 0) {
            result.done += static_cast<size_t>(n);
            if (result.done >= size) return result;
        } else if (n == 0) {
            result.end = TransferEnd::kClosed;
            return result;
        } else if (!Transient(errno)) {
            result.end = TransferEnd::kIoError;
            result.error = errno;
            return result;
        }
        // Nothing (more) there yet: wait for data or the hang-up that the next read turns into the end.
        const TransferResult waited = Wait(fd, POLLIN, deadline, honourStop);
        if (waited.end != TransferEnd::kDone) {
            result.end = waited.end;
            result.error = waited.error;
            return result;
        }
    }
}

TransferResult WriteExact(int fd, const void* buffer, size_t size, TimeBudget& budget, bool honourStop,
                          WriteTarget target) {
    TransferResult result;
    if (size == 0) return result;
    Deadline deadline(budget);
    const char* p = static_cast<const char*>(buffer);
    bool socket = target == WriteTarget::kSocket;
    for (;;) {
        if (honourStop && StopFlag) {
            result.end = TransferEnd::kStopped;
            return result;
        }
        if (deadline.Passed()) {
            result.end = TransferEnd::kExpired;
            return result;
        }
        errno = 0;
        const size_t piece = Piece(size - result.done);
        ssize_t n =
            socket ? send(fd, p + result.done, piece, MSG_NOSIGNAL) : write(fd, p + result.done, piece);
        if (n < 0 && socket && errno == ENOTSOCK) {
            // Pipes and files: plain write (SIGPIPE on a pipe is the caller's signal setting).
            socket = false;
            continue;
        }
        if (n > 0) {
            result.done += static_cast<size_t>(n);
            if (result.done == size) return result;
            continue;
        }
        if (n == 0) {
            result.end = TransferEnd::kClosed;
            result.error = ECONNRESET;
            return result;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            result.end = TransferEnd::kIoError;
            result.error = errno;
            return result;
        }
        // Full: wait until the peer makes room instead of retrying at once.
        const TransferResult waited = Wait(fd, POLLOUT, deadline, honourStop);
        if (waited.end != TransferEnd::kDone) {
            result.end = waited.end;
            result.error = waited.error;
            return result;
        }
    }
}
