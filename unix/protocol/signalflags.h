#pragma once
// Process-wide words that the signal handlers set and every loop and transfer reads.

#include <csignal>

// A shutdown is under way: every transfer that honours it gives up.
extern volatile sig_atomic_t StopFlag;
// A reload is under way (master), or the child must hand its connection back.
extern volatile sig_atomic_t ReloadFlag;
// The child must end after its current step.
extern volatile sig_atomic_t ExitFlag;
// A serving child was told to stop while a command was under way: the command is finished, but
// nothing that can wait is begun.
extern volatile sig_atomic_t StopPending;
