#include "mail/mime/generators.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

DwProcessFacts gFacts;
uint32_t gSerial = 0;

} // namespace

void SetProcessFacts(const DwProcessFacts& facts) {
    gFacts = facts;
}

DwTime CurrentTime() {
    return gFacts.now ? *gFacts.now : FromCalendarTime(time(nullptr));
}

int ProcessId() {
    return gFacts.processId ? *gFacts.processId : static_cast<int>(getpid());
}

int HostName(char* buffer, size_t size) {
    if (!buffer || size == 0) return -1;
    if (gFacts.hostName) {
        size_t n = std::min(gFacts.hostName->size(), size - 1);
        std::memcpy(buffer, gFacts.hostName->data(), n);
        buffer[n] = '\0';
        return 0;
    }
    // A name cut to the buffer may come back unterminated, and with ENAMETOOLONG.
    std::memset(buffer, 0, size);
    if (gethostname(buffer, size) != 0 && errno != ENAMETOOLONG) {
        buffer[0] = '\0';
        return -1;
    }
    buffer[size - 1] = '\0';
    return 0;
}

uint32_t NextSerial() {
    return ++gSerial;
}

void RestartSerial(uint32_t last) {
    gSerial = last;
}

uint32_t ParkMillerNext(uint32_t& seed) {
    uint32_t hi = (seed >> 16) * 16807u;
    uint32_t lo = (seed & 0xFFFFu) * 16807u + ((hi & 0x7FFFu) << 16);
    if (lo & 0x80000000u) lo = (lo & 0x7FFFFFFFu) + 1;
    lo += hi >> 15;
    if (lo & 0x80000000u) lo = (lo & 0x7FFFFFFFu) + 1;
    seed = lo;
    return seed;
}
