#include "shell/scan/scanthread.h"

#include <cstring>

#include "shell/settings/filefilter.h"

namespace {

uint64_t ContextCounter = 0;

} // namespace

// The process-wide lists change only with a new configuration, which makes new settings: a context
// made from them uses their lists instead of copying them (the copy was most of the cost of a small
// request).
ScanThreadBase::ScanThreadBase(const TarvoMainSettings* settings)
    : id_(++ContextCounter),
      settings_(settings ? settings : MainSettings, !settings || settings == MainSettings) {}

int ScanThreadBase::FilterFile(const char* name, uint64_t size, const uint8_t* header, size_t headerLen) {
    return ::FilterFile(settings_, ownMask_ ? maskText_ : nullptr, name, size, header, headerLen);
}

bool ScanThreadBase::MatchMasks(const char* name, int mode) {
    return ::MatchMasks(settings_, name, mode);
}

void ScanThreadBase::SetOwnMask(const char* text) {
    std::memset(maskText_, 0, sizeof maskText_);
    ownMask_ = 0;
    if (!text) return;
    std::strncpy(maskText_, text, sizeof maskText_ - 1);
    ownMask_ = 1;
}

ScanThread::ScanThread(const TarvoMainSettings* settings) : ScanThreadBase(settings) {}

// The boot-record road (ScanDrives, ScanBootRecords, ScanBootRecord) is in
// bootrecords.cpp, beside the drive map.

uint32_t ScanThread::ScanMemoryObject(const char*, uintptr_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                      uint32_t) {
    return 0;
}
