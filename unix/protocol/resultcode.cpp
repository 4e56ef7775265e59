#include "unix/protocol/resultcode.h"

#include <arpa/inet.h>

#include "shell/scan/requestoption.h"
#include "unix/protocol/wire.h"

namespace {

// One counter bit: set when the value is not zero.
struct CounterBit {
    uint32_t bit;
    uint32_t (*value)(const ScanStat&);
};

// In the order of the statistics pairs, up to the two flag pairs.
constexpr CounterBit kCounterBits[] = {
    {kResultReadErrors, [](const ScanStat& s) { return s.readErrors; }},
    {kResultWriteErrors, [](const ScanStat& s) { return s.writeErrors; }},
    {kResultNoMemory, [](const ScanStat& s) { return s.noMemory; }},
    {kResultCrcErrors, [](const ScanStat& s) { return s.crcErrors; }},
    {kResultInputErrors, [](const ScanStat& s) { return s.inputErrors; }},
    {kResultInfected, [](const ScanStat& s) { return s.infected; }},
    {kResultSuspicious, [](const ScanStat& s) { return s.suspicious; }},
    {kResultModifications, [](const ScanStat& s) { return s.modifications; }},
    {kResultTreated, [](const ScanStat& s) { return s.deleted + s.cured; }},
    {kResultTimeouts, [](const ScanStat& s) { return s.timeouts; }},
    {kResultSpare1, [](const ScanStat& s) { return s.spare1; }},
    {kResultSpare2, [](const ScanStat& s) { return s.spare2; }},
    {kResultSkipped, [](const ScanStat& s) { return s.skipped; }},
    {kResultTooLarge, [](const ScanStat& s) { return s.tooLarge; }},
    {kResultCompressionRatio, [](const ScanStat& s) { return s.compressionRatio; }},
    {kResultSpare3, [](const ScanStat& s) { return s.spare3; }},
    {kResultRejected, [](const ScanStat& s) { return s.rejected; }},
    {kResultNestingLimit, [](const ScanStat& s) { return s.nestingLimit; }},
    {kResultRemoved, [](const ScanStat& s) { return s.deleted; }},
    {kResultSkippedNested, [](const ScanStat& s) { return s.skippedNested; }},
    {kResultDecompressionErrors, [](const ScanStat& s) { return s.decompressionErrors; }},
    {kResultSkippedProtected, [](const ScanStat& s) { return s.skippedProtected; }},
};

constexpr CounterBit kExtendedBits[] = {
    {kResultAdware, [](const ScanStat& s) { return s.adware; }},
    {kResultDialers, [](const ScanStat& s) { return s.dialers; }},
    {kResultJokes, [](const ScanStat& s) { return s.jokes; }},
    {kResultRiskware, [](const ScanStat& s) { return s.riskware; }},
    {kResultHacktools, [](const ScanStat& s) { return s.hacktools; }},
};

bool WantsExtendedClasses() {
    return (RequestOptionWord & kOptionExtendedClasses) != 0;
}

// The bits whose counters differ from what the pairs send.
uint32_t SpecialBits(const ScanStat& s) {
    uint32_t word = 0;
    if (s.cured || s.deleted || s.moved) word |= kResultTreated;
    if (s.deleted || s.moved) word |= kResultRemoved;
    if (s.leftInfected == 0 && s.extendedFindings == 0 && s.rejected == 0) word |= kResultNothingFound;
    return word;
}

} // namespace

uint32_t MakeResultCode(uint32_t scanFlags, uint32_t errorCode, const ScanTaskCounters* task) {
    if (errorCode != 0) return errorCode | (scanFlags & kResultScanFlag21);
    uint32_t word = scanFlags & kResultScanFlag21;
    if (!task) return word;
    const ScanStat& s = task->TaskStat();
    for (const CounterBit& c : kCounterBits)
        if (c.bit != kResultTreated && c.bit != kResultRemoved && c.value(s) != 0) word |= c.bit;
    word |= SpecialBits(s);
    if (WantsExtendedClasses())
        for (const CounterBit& c : kExtendedBits)
            if (c.value(s) != 0) word |= c.bit;
    return word;
}

int SendStatisticPairs(uint32_t resultWord, const ScanTaskCounters* task, int fd, TimeBudget& budget) {
    // K counts the pairs that follow, so that a bit without a pair cannot make the client wait for one.
    uint32_t sendable = kResultNothingFound | kResultScanFlag21;
    for (const CounterBit& c : kCounterBits) sendable |= c.bit;
    if (WantsExtendedClasses())
        for (const CounterBit& c : kExtendedBits) sendable |= c.bit;
    const uint32_t count = static_cast<uint32_t>(__builtin_popcount(resultWord & sendable));
    if (SendWord(htonl(count), fd, budget, false, true) != 0) return -1;
    ScanStat none;
    const ScanStat& s = task ? task->TaskStat() : none;
    for (const CounterBit& c : kCounterBits) SendStatistic(resultWord, c.bit, c.value(s), fd, budget);
    SendStatistic(resultWord, kResultNothingFound, 1, fd, budget);
    SendStatistic(resultWord, kResultScanFlag21, 1, fd, budget);
    if (WantsExtendedClasses())
        for (const CounterBit& c : kExtendedBits) SendStatistic(resultWord, c.bit, c.value(s), fd, budget);
    return 0;
}
