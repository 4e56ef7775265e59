// Lock words: process-wide flags that serialise re-entry (a signal-driven
// reload against a running scan). The program runs no threads, so a word
// that stays set while its taker waits will never be released: the wait is
// bounded and then fails.
#pragma once

#include <cstdint>

// Polls of 100 microseconds before a lock word is given up.
extern uint32_t LockWordPolls;

// Waits for the word to clear, then sets it: true when taken.
bool WaitAndTakeLockWord(volatile uint32_t& word);
// A clear word is taken at once; only a set one waits (every scanned object takes one).
inline bool TakeLockWord(volatile uint32_t& word) {
    if (word) return WaitAndTakeLockWord(word);
    word = 1;
    return true;
}
inline void ReleaseLockWord(volatile uint32_t& word) {
    word = 0;
}

// Holds a lock word for one scope; every return path releases it.
class LockWordGuard {
public:
    explicit LockWordGuard(volatile uint32_t& word) : word_(word), held_(TakeLockWord(word)) {}
    ~LockWordGuard() { Release(); }
    LockWordGuard(const LockWordGuard&) = delete;
    LockWordGuard& operator=(const LockWordGuard&) = delete;

    explicit operator bool() const { return held_; }
    void Release() {
        if (held_) ReleaseLockWord(word_);
        held_ = false;
    }

private:
    volatile uint32_t& word_;
    bool held_;
};
