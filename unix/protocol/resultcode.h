#pragma once
// The scan result word of the client protocol, built from a task's statistics, and the statistics pairs
// that follow it in a reply.

#include <cstdint>

#include "shell/scan/scancounters.h"
#include "unix/protocol/budget.h"

// Error codes of a request that could not be scanned; they make the whole result word.
enum : uint32_t {
    kRequestErrorReceive = 1,  // receiving the data into a temporary file failed
    kRequestErrorTempFile = 2, // the temporary file was not created
    kRequestErrorNoMemory = 4, // no memory for the name
    kRequestErrorName = 16,    // reading the name failed
};

// Bits of the result word.
enum : uint32_t {
    kResultReadErrors = 0x1,
    kResultWriteErrors = 0x2,
    kResultNoMemory = 0x4,
    kResultCrcErrors = 0x8,
    kResultInputErrors = 0x10,
    kResultInfected = 0x20,
    kResultSuspicious = 0x40,
    kResultModifications = 0x80,
    kResultTreated = 0x100, // cured, deleted or moved
    kResultTimeouts = 0x200,
    kResultSpare1 = 0x400,
    kResultSpare2 = 0x800,
    kResultSkipped = 0x1000,
    kResultTooLarge = 0x2000,
    kResultCompressionRatio = 0x4000,
    kResultSpare3 = 0x8000,
    kResultRejected = 0x20000,
    kResultNestingLimit = 0x40000,
    kResultRemoved = 0x80000, // deleted or moved
    kResultNothingFound = 0x100000,
    kResultScanFlag21 = 0x200000,
    kResultAdware = 0x400000,
    kResultDialers = 0x800000,
    kResultJokes = 0x1000000,
    kResultRiskware = 0x2000000,
    kResultHacktools = 0x4000000,
    kResultSkippedNested = 0x10000000,
    kResultDecompressionErrors = 0x20000000,
    kResultSkippedProtected = 0x40000000,
};

// The bit of the first option word that asks for the extended classes in their own bits.
constexpr uint32_t kOptionExtendedClasses = 0x80000000u;

// The result word: with errorCode non-zero, errorCode and bit 21 of scanFlags; otherwise one bit per
// non-zero counter of the task's statistics. The extended classes count only with
// RequestOptionWord's kOptionExtendedClasses.
uint32_t MakeResultCode(uint32_t scanFlags, uint32_t errorCode, const ScanTaskCounters* task);

// The word K and the (bit, value) pairs for each bit set in resultWord, from the task's statistics.
// 0, or -1 when K could not be written (a pair that fails is not reported: the stop flag ends them).
int SendStatisticPairs(uint32_t resultWord, const ScanTaskCounters* task, int fd, TimeBudget& budget);
