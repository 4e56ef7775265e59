// What generated message ids and boundaries are made of: the clock, a serial counter, the
// process id, the host name and a pseudo-random generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "mail/mime/calendar.h"

// Stand-ins for the system's clock, process id and host name, so that tests know a generated
// text in advance. A member left empty reads the system.
struct DwProcessFacts {
    std::optional<DwTime> now;
    std::optional<int> processId;
    std::optional<std::string> hostName;
};
// Replaces every stand-in: SetProcessFacts({}) returns to the system.
void SetProcessFacts(const DwProcessFacts& facts);

// Seconds since 1970 (time()).
DwTime CurrentTime();
// getpid().
int ProcessId();
// The host name (gethostname), cut to size - 1 bytes and always NUL-terminated: 0; -1 with an
// empty name when the system cannot tell, and -1 without writing when size is 0.
int HostName(char* buffer, size_t size);

// The next value of the process-wide counter: 1, 2, 3 ... from the start of the process.
uint32_t NextSerial();
// The counter continues after last: the next NextSerial returns last + 1.
void RestartSerial(uint32_t last);

// The minimal standard generator of Park and Miller: seed = seed * 16807 mod (2^31 - 1), in
// 32-bit arithmetic by Carta's method. Returns the new seed.
uint32_t ParkMillerNext(uint32_t& seed);
