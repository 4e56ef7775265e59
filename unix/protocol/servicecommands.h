#pragma once
// The commands of the client protocol that do not scan. Each writes its reply under the dispatcher's
// budget and answers its own command code, or -1 when the reply could not be written whole: what is
// left of it on the wire would be read as the start of the next reply, so the connection must end.

#include <cstdint>
#include <string>

#include "unix/protocol/budget.h"

constexpr uint32_t kProtocolVersion = 600;

// What a service command answers: code when its reply went out whole (sent 0), else -1.
int ServiceReplyResult(int sent, int code);

// Command 2: the word 600.
int SendProtocolVersion(int fd, TimeBudget& budget, bool honourStop);

// The loaded bases: word N (0 when none are loaded), then per base its path as a string and its record
// count, and with withHeader the base's header word too. 0, or -1 at the first failed write.
int SendBaseList(int fd, TimeBudget& budget, bool withHeader);
// Commands 3 and 10.
int SendLoadedBases(int fd, TimeBudget& budget, bool honourStop);
int SendLoadedBasesWithHeaders(int fd, TimeBudget& budget, bool honourStop);

// The text of command 4: message 0, message 1, then message 150 and the engine's version text.
std::string VersionReplyText();
// Command 4: that text as one string.
int SendVersionText(int fd, TimeBudget& budget, bool honourStop);
