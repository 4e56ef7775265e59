#pragma once
// Command 9: runs the update script and answers its raw wait status.

#include <cstdint>

#include "unix/protocol/budget.h"

// The update script. No configuration key changes it; tests point it elsewhere.
extern const char* UpdateScriptPath;
constexpr const char* kDefaultUpdateScriptPath = "/opt/tarvo/update.pl";

// How long the script may run before its process group is killed (its answer is then the status of
// the kill).
extern uint32_t UpdateScriptLimitSeconds;

// Runs the script with the single argument "-not-need-restart" and waits for it, at most
// UpdateScriptLimitSeconds. The script starts in a process group of its own, with every signal at its
// default action and unblocked, and with only the standard descriptors open. Runs of several serving
// processes take turns; a process waiting for its turn gives up when the daemon stops or the client at
// clientFd (-1: none) goes. The raw wait status (0xFFFFFFFF when the wait failed), or 1 when no process
// was started: fork failed, the daemon is stopping, or the wait for the turn was given up.
uint32_t RunUpdateScriptOnce(int clientFd = -1);

// The handler: the status word as the reply. 9, or -1 when the word could not be written whole.
int RunUpdateScript(int fd, TimeBudget& budget, bool honourStop);
