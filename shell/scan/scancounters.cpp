#include "shell/scan/scancounters.h"

#include "shell/scan/requestoption.h"

void ScanTaskCounters::CountExtended(uint32_t ScanStat::*field, uint32_t ScanStat::*nestedField,
                                     uint32_t nested) {
    CountNested(field, nestedField, nested);
    if (RequestWantsExtendedClasses())
        Count(&ScanStat::extendedFindings);
    else
        CountInfected(nested);
}

void ScanTaskCounters::StartTimer() {
    pauseStart_ = time(nullptr);
}

void ScanTaskCounters::AddElapsed() {
    // Without a noted start there is no pause to add.
    if (pauseStart_ == 0) return;
    time_t now = time(nullptr);
    time_t start = pauseStart_;
    pauseStart_ = 0;
    if (now <= start) return;
    uint64_t paused = static_cast<uint64_t>(now - start);
    taskStat_.pausedSeconds += paused;
    totalStat_.pausedSeconds += paused;
}

void ScanTaskCounters::CountInfected(uint32_t nested) {
    CountNested(&ScanStat::infected, &ScanStat::infectedNested, nested);
}
void ScanTaskCounters::CountSuspicious(uint32_t nested) {
    CountNested(&ScanStat::suspicious, &ScanStat::suspiciousNested, nested);
}
void ScanTaskCounters::CountModification(uint32_t nested) {
    CountNested(&ScanStat::modifications, &ScanStat::modificationsNested, nested);
}
void ScanTaskCounters::CountAdware(uint32_t nested) {
    CountExtended(&ScanStat::adware, &ScanStat::adwareNested, nested);
}
void ScanTaskCounters::CountDialer(uint32_t nested) {
    CountExtended(&ScanStat::dialers, &ScanStat::dialersNested, nested);
}
void ScanTaskCounters::CountJoke(uint32_t nested) {
    CountExtended(&ScanStat::jokes, &ScanStat::jokesNested, nested);
}
void ScanTaskCounters::CountRiskware(uint32_t nested) {
    CountExtended(&ScanStat::riskware, &ScanStat::riskwareNested, nested);
}
void ScanTaskCounters::CountHacktool(uint32_t nested) {
    CountExtended(&ScanStat::hacktools, &ScanStat::hacktoolsNested, nested);
}

void ScanTaskCounters::CountCured() {
    Count(&ScanStat::cured);
}
void ScanTaskCounters::CountDeleted() {
    Count(&ScanStat::deleted);
}
void ScanTaskCounters::CountMoved() {
    Count(&ScanStat::moved);
}
void ScanTaskCounters::CountRenamed() {
    Count(&ScanStat::renamed);
}
void ScanTaskCounters::CountIgnored() {
    Count(&ScanStat::ignored);
}
void ScanTaskCounters::CountTooLarge() {
    Count(&ScanStat::tooLarge);
}
void ScanTaskCounters::CountNestingLimit() {
    Count(&ScanStat::nestingLimit);
}
void ScanTaskCounters::CountCompressionRatio() {
    Count(&ScanStat::compressionRatio);
}
void ScanTaskCounters::CountUnused200() {
    Count(&ScanStat::spare1);
}
void ScanTaskCounters::CountUnused204() {
    Count(&ScanStat::spare2);
}
void ScanTaskCounters::CountTimeout() {
    Count(&ScanStat::timeouts);
}
void ScanTaskCounters::CountReadError() {
    Count(&ScanStat::readErrors);
}
void ScanTaskCounters::CountWriteError() {
    Count(&ScanStat::writeErrors);
}
void ScanTaskCounters::CountUnused224() {
    Count(&ScanStat::spare3);
}
void ScanTaskCounters::CountCrcError() {
    Count(&ScanStat::crcErrors);
}
void ScanTaskCounters::CountNoMemory() {
    Count(&ScanStat::noMemory);
}
void ScanTaskCounters::CountInputError() {
    Count(&ScanStat::inputErrors);
}
void ScanTaskCounters::CountSkipped() {
    Count(&ScanStat::skipped);
}
void ScanTaskCounters::CountSkippedNested() {
    Count(&ScanStat::skippedNested);
}
void ScanTaskCounters::CountDecompressionError() {
    Count(&ScanStat::decompressionErrors);
}
void ScanTaskCounters::CountSkippedProtected() {
    Count(&ScanStat::skippedProtected);
}
void ScanTaskCounters::CountSplitFile() {
    Count(&ScanStat::splitFiles);
}
void ScanTaskCounters::CountRejected() {
    Count(&ScanStat::rejected);
}
