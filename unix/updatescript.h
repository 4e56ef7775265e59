#pragma once
// Command 9: runs the update script and answers its raw wait status.

#include "unix/tvbudget.h"

// The update script. No configuration key changes it; tests point it elsewhere.
extern const char* UpdateScriptPath;
constexpr const char* kDefaultUpdateScriptPath = "/opt/tarvo/update.pl";

// Runs the script with the single argument "-not-need-restart" and waits for it. The script starts with
// every signal at its default action and unblocked, and with only the standard descriptors open. Runs of
// several serving processes take turns. The raw wait status (0xFFFFFFFF when the wait failed), or 1 when
// no process could be started.
uint32_t RunUpdateScriptOnce();

// The handler: the status word as the reply. Always 9.
int RunUpdateScript(int fd, TimeBudget& budget, bool honourStop);
