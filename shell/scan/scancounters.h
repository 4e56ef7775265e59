// The counting operations of a scan task: each event is counted in the
// task's statistics and in its running total alike.
#pragma once

#include <cstdint>
#include <ctime>

#include "shell/scan/scanstat.h"

class ScanTaskCounters {
public:
    ScanTaskCounters() = default;

    ScanStat& TaskStat() { return taskStat_; }
    ScanStat& TotalStat() { return totalStat_; }
    const ScanStat& TaskStat() const { return taskStat_; }
    const ScanStat& TotalStat() const { return totalStat_; }

    bool IsCounted() const { return counted_; }
    void SetCounted(bool counted) { counted_ = counted; }

    // Around a wait on the client: the time between the two is left out of
    // the scanning speed.
    void StartTimer();
    void AddElapsed();

    // Inline, as every scanned object counts them.
    void CountScanned(uint64_t size, bool inContainer) {
        Count(&ScanStat::scanned);
        if (inContainer) Count(&ScanStat::scannedNested);
        taskStat_.bytesScanned += size;
        totalStat_.bytesScanned += size;
    }
    void CountClean(uint32_t nested) { CountNested(&ScanStat::clean, &ScanStat::cleanNested, nested); }
    void CountInfected(uint32_t nested);
    void CountSuspicious(uint32_t nested);
    void CountModification(uint32_t nested);
    // Extended classes: counted on their own when the request asks for them,
    // otherwise as infections too.
    void CountAdware(uint32_t nested);
    void CountDialer(uint32_t nested);
    void CountJoke(uint32_t nested);
    void CountRiskware(uint32_t nested);
    void CountHacktool(uint32_t nested);
    void CountCured();
    void CountDeleted();
    void CountMoved();
    void CountRenamed();
    void CountIgnored();
    void CountTooLarge();
    void CountNestingLimit();
    void CountCompressionRatio();
    void CountUnused200();
    void CountUnused204();
    void CountTimeout();
    void CountReadError();
    void CountWriteError();
    void CountUnused224();
    void CountCrcError();
    void CountNoMemory();
    void CountInputError();
    void CountSkipped();
    void CountSkippedNested();
    void CountDecompressionError();
    void CountSkippedProtected();
    void CountSplitFile();
    void CountRejected();

private:
    void Count(uint32_t ScanStat::*field) {
        ++(taskStat_.*field);
        ++(totalStat_.*field);
        counted_ = true;
    }
    void CountNested(uint32_t ScanStat::*field, uint32_t ScanStat::*nestedField, uint32_t nested) {
        Count(field);
        if (nested) Count(nestedField);
    }
    void CountExtended(uint32_t ScanStat::*field, uint32_t ScanStat::*nestedField, uint32_t nested);

    ScanStat taskStat_;
    ScanStat totalStat_;
    bool counted_ = false;
    time_t pauseStart_ = 0;
};
