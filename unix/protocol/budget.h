#pragma once
// Time budgets of the client protocol and the timed wait that every transfer uses.
//
// A budget is the time left for a whole exchange, in milliseconds of the monotonic clock, owned by the
// caller and lowered by every transfer that draws on it. 64 bits so that any configured number of
// seconds fits; a negative budget has no limit.

#include <cstdint>
#include <poll.h>

using TimeBudget = int64_t;

constexpr TimeBudget kUnlimitedBudget = -1;

// The budget for a setting counted in seconds, where 0 (or less) means no limit.
TimeBudget BudgetFromSeconds(int64_t seconds);

// Milliseconds of the monotonic clock (unaffected by changes of the wall clock).
int64_t MonotonicMillis();

// poll() in slices of at most 1000 ms so that the stop and exit flags are seen while waiting.
// Returns at once on events (> 0) and on a real error (-1, errno set). When a slice ends with nothing
// and either flag is set, returns that slice's result (0, or -1 with EINTR). Otherwise gives up after
// `milliseconds` in all (at least one poll call), or goes on without end when `milliseconds` < 0.
int PollWithTimeout(pollfd* pollSet, nfds_t count, int64_t milliseconds);
