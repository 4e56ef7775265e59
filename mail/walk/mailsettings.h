// The settings one mail message turns on for itself, and their restoration.
#pragma once

#include <cstdint>

#include "shell/settings/scansettings.h"

// Bits of the request's first option word that ask the walk for actions.
enum : uint32_t {
    kOpt1CureInfected = 1u << 6,     // infected action: cure
    kOpt1DeleteInfected = 1u << 9,   // infected action: delete
    kOpt1DeleteIncurable = 1u << 12, // incurable and container actions: delete, archives included
    kOpt1DeleteSuspicious = 1u << 15,
};

// Set while a message asked for a cure or delete action: the walk then goes on after an infected part
// even with StopOnFirstInfected, so that every part gets its action.
extern int32_t MailActionsRequested;

// Copies the settings words saved before a message changed them back into the process-wide settings,
// every word included. A message changes words only: the lists (masks, exclusions) are the
// configuration's, and copying them twice a message cost more than the walk of a short one.
void RestoreMainSettings();

// Saves the process-wide state a message changes (the scan settings, EnableDeleteArchiveAction, the
// actions-requested flag, the mail-walk flag, the rule switch) and puts it back however the message ends.
class MailSettingsScope {
public:
    MailSettingsScope();
    ~MailSettingsScope();
    MailSettingsScope(const MailSettingsScope&) = delete;
    MailSettingsScope& operator=(const MailSettingsScope&) = delete;

    // The per-message actions and rule switch of opt1 on the process-wide settings.
    void Apply(uint32_t opt1);

private:
    bool saved_ = false;
    int32_t deleteArchives_;
    int32_t actionsRequested_;
    int32_t walkActive_;
    int ruleSwitch_;
};
