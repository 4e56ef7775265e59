#include "shell/scan/scanstat.h"

#include <cstring>
#include <type_traits>

static_assert(std::is_trivially_copyable<ScanStat>::value, "ScanStat is reset by a byte fill");

void ScanStat::Reset() {
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
    startTime = time(nullptr);
}

uint64_t ScanStat::SpeedKBps(uint64_t elapsedSeconds) const {
    if (bytesScanned == 0) return 0;
    uint64_t t = elapsedSeconds >= pausedSeconds ? elapsedSeconds - pausedSeconds : elapsedSeconds;
    uint64_t kb = bytesScanned >> 10;
    if (t == 0) return bytesScanned > 1023 ? kb : 1;
    uint64_t speed = kb / t;
    return speed ? speed : 1;
}

time_t ScanStat::Elapsed(uint32_t* hours, uint32_t* minutes, uint32_t* seconds) const {
    time_t d = time(nullptr) - startTime;
    // A clock set back must not show a negative time.
    if (d < 0) d = 0;
    uint64_t u = static_cast<uint64_t>(d);
    if (hours) *hours = static_cast<uint32_t>(u / 3600);
    if (minutes) *minutes = static_cast<uint32_t>((u % 3600) / 60);
    if (seconds) *seconds = static_cast<uint32_t>(u % 60);
    return d;
}

int ScanStat::ExitCode() const {
    bool found =
        infected || suspicious || modifications || adware || dialers || jokes || riskware || hacktools;
    return found ? 12 : 3;
}
