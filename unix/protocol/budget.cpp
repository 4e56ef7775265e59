#include "unix/protocol/budget.h"

#include <cerrno>
#include <ctime>

#include "unix/protocol/signalflags.h"

TimeBudget BudgetFromSeconds(int64_t seconds) {
    return seconds > 0 ? seconds * 1000 : kUnlimitedBudget;
}

int64_t MonotonicMillis() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int PollWithTimeout(pollfd* pollSet, nfds_t count, int64_t milliseconds) {
    const int64_t start = MonotonicMillis();
    for (;;) {
        int slice = 1000;
        if (milliseconds >= 0) {
            const int64_t left = start + milliseconds - MonotonicMillis();
            slice = left <= 0 ? 0 : (left < 1000 ? static_cast<int>(left) : 1000);
        }
        const int result = poll(pollSet, count, slice);
        if (result > 0) return result;
        if (result < 0 && errno != EINTR && errno != EAGAIN) return result;
        const int saved = errno;
        const bool over = milliseconds >= 0 && MonotonicMillis() - start >= milliseconds;
        if (StopFlag || ExitFlag || over) {
            errno = saved;
            return result;
        }
    }
}
