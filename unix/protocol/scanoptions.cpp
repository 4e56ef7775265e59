#include "unix/protocol/scanoptions.h"

#include "shell/scan/nameformat.h"
#include "unix/config/daemonsettings.h"
#include "unix/protocol/wire.h"
#include "unix/protocol/wirelog.h"

int RecodeNonprintableAtFirstRequest = -1;

namespace {

uint32_t Bit(uint32_t word, unsigned bit, uint32_t action) {
    return (word >> bit) & 1u ? action : 0;
}

} // namespace

int ReadScanOptions(int fd, TimeBudget& budget, bool honourStop, ScanRequestOptions* options) {
    *options = ScanRequestOptions{};
    if (ReadWord(fd, budget, honourStop, &options->opt1) != 0) return -1;
    if ((options->opt1 & kOptNextWord) && ReadWord(fd, budget, honourStop, &options->opt2) != 0) return -1;
    if ((options->opt2 & kOptNextWord) && ReadWord(fd, budget, honourStop, &options->opt3) != 0) return -1;
    if (options->opt3 & kOpt3ClientType) {
        if (ReadWord(fd, budget, honourStop, &options->clientType) != 0) return -1;
        options->hasClientType = true;
    }
    if (options->opt3 & kOpt3ScanTimeout) {
        uint32_t timeout = 0;
        if (ReadWord(fd, budget, honourStop, &timeout) != 0) return -1;
        options->hasTimeout = true;
        options->timeout = static_cast<int32_t>(timeout);
    }
    return 0;
}

ScanTimeoutScope::ScanTimeoutScope(const ScanRequestOptions& options) : saved_(FileTimeout) {
    if (!options.hasTimeout) return;
    if (options.timeout < 0)
        LogProtocolLine("Invalid value for scan timeout was passed from client");
    else
        FileTimeout = options.timeout;
}

ScanTimeoutScope::~ScanTimeoutScope() {
    FileTimeout = saved_;
}

void ApplyRequestSettings(TarvoMainSettings& settings, uint32_t opt1, uint32_t opt2) {
    uint32_t* word = settings.word;
    word[kModeWord] = (opt1 >> 3) & 1u;
    word[kInfectedActionWord] = Bit(opt1, 6, kActionCure) | Bit(opt1, 9, kActionDelete) |
                                Bit(opt1, 8, kActionRename) | Bit(opt1, 7, kActionMove);
    word[kSuspiciousActionWord] =
        Bit(opt1, 15, kActionDelete) | Bit(opt1, 14, kActionRename) | Bit(opt1, 13, kActionMove);
    word[kIncurableActionWord] =
        Bit(opt1, 12, kActionDelete) | Bit(opt1, 11, kActionRename) | Bit(opt1, 10, kActionMove);
    const uint32_t container =
        Bit(opt1, 18, kActionDelete) | Bit(opt1, 17, kActionRename) | Bit(opt1, 16, kActionMove);
    for (int n = kContainerActionWord; n < kContainerActionWord + 3; ++n) word[n] = container;
    // adware, dialer, joke, riskware, hacktool: four bits each from bit 1 of OPT2 on.
    for (unsigned k = 0; k < 5; ++k)
        word[kAdwareActionWord + static_cast<int>(k)] =
            Bit(opt2, 4 * k + 1, kActionLeaveAlone) | Bit(opt2, 4 * k + 2, kActionMove) |
            Bit(opt2, 4 * k + 3, kActionRename) | Bit(opt2, 4 * k + 4, kActionDelete);
    if (opt2 & kOpt2ArchivesOn) word[kArchivesWord] = 1;
    if (opt2 & kOpt2ArchivesOff) word[kArchivesWord] = 0;
    if (opt2 & kOpt2MailFilesOn) word[kMailFilesWord] = 1;
    if (opt2 & kOpt2MailFilesOff) word[kMailFilesWord] = 0;

    if (RecodeNonprintableAtFirstRequest < 0) RecodeNonprintableAtFirstRequest = RecodeNonprintable;
    RecodeNonprintable = RecodeNonprintableAtFirstRequest;
    if (opt2 & kOpt2RecodeOn) RecodeNonprintable = 1;
    if (opt2 & kOpt2RecodeOff) RecodeNonprintable = 0;
}
