#include "unix/pool/poolsignals.h"

#include <initializer_list>

sigset_t SignalSetOf(std::initializer_list<int> signals) {
    sigset_t set;
    sigemptyset(&set);
    for (int s : signals) sigaddset(&set, s);
    return set;
}

sigset_t PoolSignalSet() {
    return SignalSetOf({SIGUSR1, SIGHUP, SIGCHLD, SIGALRM});
}

SignalsBlocked::SignalsBlocked(const sigset_t& set) {
    blocked_ = sigprocmask(SIG_BLOCK, &set, &saved_) == 0;
}

SignalsBlocked::~SignalsBlocked() {
    if (blocked_) sigprocmask(SIG_SETMASK, &saved_, nullptr);
}
