#include "mail/walk/mailsettings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/tvstrlist.h"
#include "mail/walk/notice.h"
#include "shell/settings/scankeys.h"
#include "shell/scan/scanstop.h"

namespace {

TEST(MailSettings, EveryMessageLeavesTheProcessWideSettingsAsItFoundThem) {
    TarvoMainSettings settings;
    settings.ResetToDefaults();
    for (int i = 1; i <= TarvoMainSettings::kWordCount; ++i)
        settings.word[i] = 100u + static_cast<uint32_t>(i);
    settings.nameMasks.AddString("*.eml");
    TarvoMainSettings* const saved = MainSettings;
    MainSettings = &settings;
    const uint32_t masks = settings.nameMasks.Count();
    uint32_t before[TarvoMainSettings::kWordCount + 1];
    memcpy(before, settings.word, sizeof before);
    const uint32_t opt1s[] = {0, kOpt1CureInfected, kOpt1DeleteInfected | kOpt1DeleteIncurable,
                              kOpt1DeleteSuspicious};
    for (const uint32_t opt1 : opt1s) {
        {
            MailSettingsScope scope;
            scope.Apply(opt1);
            EXPECT_EQ(1, MailWalkActive);
            EXPECT_EQ((opt1 & kOpt1DeleteIncurable) ? 1 : 0, EnableDeleteArchiveAction) << opt1;
            EXPECT_EQ(opt1 ? 1 : 0, MailActionsRequested) << opt1;
            EXPECT_EQ(((opt1 & kOpt1CureInfected) ? 1u : 0u) + ((opt1 & kOpt1DeleteInfected) ? 2u : 0u),
                      settings.word[kInfectedActionWord]);
        }
        EXPECT_EQ(0, memcmp(before, settings.word, sizeof before)) << opt1;
        EXPECT_EQ(0, EnableDeleteArchiveAction);
        EXPECT_EQ(0, MailActionsRequested);
        EXPECT_EQ(0, MailWalkActive);
        EXPECT_EQ(masks, settings.nameMasks.Count());
    }
    MainSettings = saved;
}

TEST(MailNotice, TheDeletedPartNoticeByteForByte) {
    tvStringList findings;
    findings.AddString("infected with EICAR-Test-File");
    findings.AddString("suspicious Tarvo.Test.Suspicious");
    const std::string rule(56, '-');
    EXPECT_EQ("This part of message has been infected or contains mailware and was deleted!\r\n"
              "Tarvo (R) Daemon report:\r\n"
              "infected with EICAR-Test-File\n"
              "suspicious Tarvo.Test.Suspicious\n"
              "\r\n" +
                  rule + "\r\nTarvo (R) Antivirus Service:      " + kServiceWebAddress + "\r\n" + rule +
                  "\r\n",
              DeletedPartNotice(findings));
}

} // namespace
