#include "mail/walk/mailsettings.h"

#include <cstring>

#include "mail/walk/headerrules.h"
#include "unix/protocol/scanoptions.h"

#include "shell/settings/scankeys.h"
#include "shell/scan/scanstop.h"

int32_t MailActionsRequested = 0;

namespace {

uint32_t SavedWords[TarvoMainSettings::kWordCount + 1];

} // namespace

void RestoreMainSettings() {
    if (!MainSettings) return;
    memcpy(MainSettings->word, SavedWords, sizeof SavedWords);
}

MailSettingsScope::MailSettingsScope()
    : deleteArchives_(EnableDeleteArchiveAction), actionsRequested_(MailActionsRequested),
      walkActive_(MailWalkActive), ruleSwitch_(RuleSwitch) {
    if (MainSettings) {
        memcpy(SavedWords, MainSettings->word, sizeof SavedWords);
        saved_ = true;
    }
    MailWalkActive = 1;
}

MailSettingsScope::~MailSettingsScope() {
    if (saved_) RestoreMainSettings();
    EnableDeleteArchiveAction = deleteArchives_;
    MailActionsRequested = actionsRequested_;
    MailWalkActive = walkActive_;
    RuleSwitch = ruleSwitch_;
}

void MailSettingsScope::Apply(uint32_t opt1) {
    RuleSwitch = (opt1 & kOpt1HeaderRules) ? 1 : 0;
    // Without a saved copy nothing may change: it could not be put back.
    if (!saved_) return;
    uint32_t* word = MainSettings->word;
    word[kIncurableActionWord] = 0;
    word[kInfectedActionWord] = 0;
    word[kSuspiciousActionWord] = 0;
    for (int i = 0; i < 3; ++i) word[kContainerActionWord + i] = 0;
    if (opt1 & kOpt1CureInfected) word[kInfectedActionWord] = kActionCure;
    if (opt1 & kOpt1DeleteInfected) word[kInfectedActionWord] += kActionDelete;
    if (opt1 & kOpt1DeleteSuspicious) word[kSuspiciousActionWord] += kActionDelete;
    if (opt1 & kOpt1DeleteIncurable) {
        word[kIncurableActionWord] += kActionDelete;
        for (int i = 0; i < 3; ++i) word[kContainerActionWord + i] += kActionDelete;
        EnableDeleteArchiveAction = 1;
    }
    if (opt1 & (kOpt1CureInfected | kOpt1DeleteInfected | kOpt1DeleteSuspicious | kOpt1DeleteIncurable))
        MailActionsRequested = 1;
}
