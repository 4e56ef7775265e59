// The process-wide state a mail message may change for itself, as one comparable text: what the walk
// must put back before it returns.
#pragma once

#include <string>

#include "mail/walk/headerrules.h"
#include "mail/walk/mailsettings.h"
#include "shell/scan/requestoption.h"
#include "shell/settings/scankeys.h"
#include "shell/scan/scanstop.h"

namespace {

inline std::string MailProcessWideState() {
    std::string state;
    if (MainSettings)
        state.append(reinterpret_cast<const char*>(MainSettings->word), sizeof MainSettings->word);
    for (const int32_t value :
         {EnableDeleteArchiveAction, MailActionsRequested, MailWalkActive, StopOnFirstInfected, RuleSwitch})
        state += std::to_string(value) + ",";
    state += std::to_string(RequestOptionWord) + "," + std::to_string(static_cast<int>(ScanTimeoutFlag));
    return state;
}

} // namespace
