#include "shell/scanthread.h"

#include <cstring>

#include "shell/filefilter.h"

namespace {

uint64_t ContextCounter = 0;

} // namespace

ScanThreadBase::ScanThreadBase(const TarvoMainSettings* settings) : id_(++ContextCounter) {
    const TarvoMainSettings* source = settings ? settings : MainSettings;
    if (source) CopyMainSettings(*source, settings_);
}

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

uint32_t ScanThread::ScanDrives(uint32_t) {
    return 0;
}

uint32_t ScanThread::ScanBootRecords(uint32_t) {
    return 0;
}

uint32_t ScanThread::ScanBootRecord(int32_t, uint32_t, uint32_t, uint8_t*, uint32_t, uint32_t, uint32_t) {
    return 0;
}

uint32_t ScanThread::ScanMemoryObject(const char*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                      uint32_t) {
    return 0;
}
