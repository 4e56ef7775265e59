#pragma once
// The option words of a scan request and the per-request scan settings they make.

#include <cstdint>

#include "shell/settings/scansettings.h"
#include "unix/protocol/budget.h"

// Bits of the option words.
enum : uint32_t {
    kOpt1FoundList = 1u << 0,
    kOpt1ReportList = 1u << 1,
    kOpt1Statistics = 1u << 2,
    kOpt1Heuristics = 1u << 3,
    kOpt1HeaderRules = 1u << 5,
    kOpt1ServerFileState = 1u << 21,
    kOpt1TaggedList = 1u << 22,
    kOpt1ReasonText = 1u << 23,
    kOpt1Envelope = 1u << 24,
    kOptNextWord = 1u << 31, // OPT1: OPT2 follows; OPT2: OPT3 follows
    kOpt2ArchivesOn = 1u << 21,
    kOpt2ArchivesOff = 1u << 22,
    kOpt2MailFilesOn = 1u << 23,
    kOpt2MailFilesOff = 1u << 24,
    kOpt2RecodeOn = 1u << 25,
    kOpt2RecodeOff = 1u << 26,
    kOpt3ClientType = 1u << 1,
    kOpt3ScanTimeout = 1u << 2,
};

struct ScanRequestOptions {
    uint32_t opt1 = 0;
    uint32_t opt2 = 0;
    uint32_t opt3 = 0;
    bool hasClientType = false;
    uint32_t clientType = 0; // the wire code
    bool hasTimeout = false;
    int32_t timeout = 0; // seconds, as the client sent it
};

// OPT1, OPT2 and OPT3 as far as each previous word asks for the next, then the client-type and the
// scan time-out words that OPT3 announces: 0, or -1 when a word could not be read.
int ReadScanOptions(int fd, TimeBudget& budget, bool honourStop, ScanRequestOptions* options);

// The scan time-out of the request: a valid client value (0 or more seconds) replaces FileTimeout until
// the scope ends; a negative one is reported and the configured value applies.
class ScanTimeoutScope {
public:
    explicit ScanTimeoutScope(const ScanRequestOptions& options);
    ScanTimeoutScope(const ScanTimeoutScope&) = delete;
    ScanTimeoutScope& operator=(const ScanTimeoutScope&) = delete;
    ~ScanTimeoutScope();

private:
    int saved_;
};

// RecodeNonprintable as the first request of this process found it; -1 before.
extern int RecodeNonprintableAtFirstRequest;

// The request's option bits written into settings: the heuristics switch, the actions by class and the
// switches for archives and mail files. RecodeNonprintable goes back to its value at the first request
// of this process before OPT2 may change it.
void ApplyRequestSettings(TarvoMainSettings& settings, uint32_t opt1, uint32_t opt2);
