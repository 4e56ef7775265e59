// The signals that drive the pool, and a critical section that holds a set of them back.
#pragma once

#include <csignal>
#include <initializer_list>

// SIGUSR1, SIGHUP, SIGCHLD and SIGALRM.
sigset_t PoolSignalSet();

// Blocks the given signals for its lifetime; the caller's mask comes back as it was.
class SignalsBlocked {
public:
    explicit SignalsBlocked(const sigset_t& set);
    ~SignalsBlocked();
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

    // The mask that was in force before.
    const sigset_t& Saved() const { return saved_; }

private:
    sigset_t saved_;
    bool blocked_;
};

// The set of the given signals.
sigset_t SignalSetOf(std::initializer_list<int> signals);
