#pragma once
// The commands of the client protocol that do not scan. Each writes its reply under the dispatcher's
// budget and answers its own command code, whatever became of the reply.

#include <cstdint>

#include "unix/tvbudget.h"

constexpr uint32_t kProtocolVersion = 600;

// Command 2: the word 600.
int SendProtocolVersion(int fd, TimeBudget& budget, bool honourStop);
