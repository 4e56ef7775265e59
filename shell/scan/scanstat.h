// Counters of one scan: every task keeps one record for itself and one for
// the running total.
#pragma once

#include <cstdint>
#include <ctime>

class ScanStat {
public:
    ScanStat() { Reset(); }

    // Every counter 0, the start time now.
    void Reset();
    // Scanning speed over elapsedSeconds, less the time spent waiting on the
    // client: 0 when nothing was scanned, otherwise at least 1.
    uint64_t SpeedKBps(uint64_t elapsedSeconds) const;
    // Seconds since the start, also split into hours, minutes and seconds.
    time_t Elapsed(uint32_t* hours, uint32_t* minutes, uint32_t* seconds) const;
    // 12 when anything was found, else 3.
    int ExitCode() const;

    uint32_t leftInfected;     // findings neither cured, deleted nor moved
    uint32_t extendedFindings; // adware ... hacktools counted on their own
    uint32_t skippedNested;    // password protected, inside nested containers
    uint32_t decompressionErrors;
    uint32_t skippedProtected; // password protected
    uint32_t splitFiles;
    uint32_t reserved;
    // Nothing in the scanning shell counts into this block.
    uint32_t counterBlock[11][21];
    time_t startTime;
    uint64_t bytesScanned;
    uint32_t scanned, scannedNested;
    uint32_t clean, cleanNested;
    uint32_t deleted;
    uint32_t infected, infectedNested;
    uint32_t suspicious, suspiciousNested;
    uint32_t adware, adwareNested;
    uint32_t dialers, dialersNested;
    uint32_t jokes, jokesNested;
    uint32_t riskware, riskwareNested;
    uint32_t hacktools, hacktoolsNested;
    uint32_t modifications, modificationsNested;
    uint32_t cured;
    uint32_t moved;
    uint32_t renamed;
    uint32_t ignored;
    uint32_t tooLarge;
    uint32_t nestingLimit;
    uint32_t compressionRatio;
    uint32_t skipped;
    uint32_t spare1, spare2; // no scan road raises these
    uint32_t timeouts;
    uint32_t noMemory;
    uint32_t crcErrors;
    uint32_t inputErrors;
    uint32_t spare3; // no scan road raises this one either
    uint32_t readErrors;
    uint32_t writeErrors;
    uint32_t rejected;
    uint64_t pausedSeconds; // waiting on the client, left out of the speed
};
