#include "shell/settings/scansettings.h"

#include <cstring>
#include <string>

#include "shell/settings/defaultextensions.h"

TarvoMainSettings* MainSettings = nullptr;

SettingsLists::SettingsLists()
    : fileTypeMasks(1), excludePaths(1), spareList1(1), spareList2(1), nameMasks(1) {}

TarvoMainSettings::TarvoMainSettings(std::shared_ptr<SettingsLists> lists, ListsOf)
    : lists_(std::move(lists)), word{}, fileTypeMasks(lists_->fileTypeMasks),
      excludePaths(lists_->excludePaths), spareList1(lists_->spareList1), spareList2(lists_->spareList2),
      nameMasks(lists_->nameMasks) {}

TarvoMainSettings::TarvoMainSettings() : TarvoMainSettings(nullptr, false) {}

TarvoMainSettings::TarvoMainSettings(const TarvoMainSettings* source, bool shareLists)
    : TarvoMainSettings(source && shareLists ? source->lists_ : std::make_shared<SettingsLists>(),
                        ListsOf{}) {
    if (!source) {
        ResetToDefaults();
    } else if (shareLists) {
        ResetWords();
        CopyWords(*source);
    } else {
        // Only the words are reset: default lists would be built only to be thrown away.
        CopyMainSettings(*source, *this);
    }
}

const char* TarvoMainSettings::FirstTypeMask() {
    return static_cast<const char*>(fileTypeMasks.First());
}
const char* TarvoMainSettings::NextTypeMask() {
    return static_cast<const char*>(fileTypeMasks.Next());
}
const char* TarvoMainSettings::FirstNameMask() {
    return static_cast<const char*>(nameMasks.First());
}
const char* TarvoMainSettings::NextNameMask() {
    return static_cast<const char*>(nameMasks.Next());
}

bool TarvoMainSettings::MatchNameMask(const char* name) {
    return name && nameMasks.FindData(name) != nullptr;
}

bool TarvoMainSettings::MatchTypeMask(const char* ext) {
    return ext && fileTypeMasks.FindData(ext) != nullptr;
}

bool TarvoMainSettings::MatchExcludePath(const char* dir) {
    lists_->excludeIndex.Follow(excludePaths);
    return lists_->excludeIndex.Matches(dir);
}

int TarvoMainSettings::CopyFrom(const TarvoMainSettings& source) {
    return CopyMainSettings(source, *this);
}

int TarvoMainSettings::CopyTo(TarvoMainSettings& target) const {
    return CopyMainSettings(*this, target);
}

void TarvoMainSettings::ClearLists() {
    fileTypeMasks.Clear();
    excludePaths.Clear();
    spareList1.Clear();
    spareList2.Clear();
    nameMasks.Clear();
}

int TarvoMainSettings::ResetToDefaults() {
    ClearLists();
    ResetWords();
    int rc = 0;
    for (const char* ext : DefaultExtensions) {
        if (!fileTypeMasks.AddString(ext)) rc = -1;
        std::string mask = std::string("*.") + ext;
        if (!nameMasks.AddString(mask.c_str())) rc = -1;
    }
    return rc;
}

void TarvoMainSettings::ResetWords() {
    for (uint32_t& w : word) w = 0;
    word[3] = 1;
    word[4] = 1;
    word[6] = 1;
    word[7] = 1;
    word[8] = 1;
    word[9] = 1;
    word[11] = 1;
    word[21] = word[22] = word[23] = kActionLeaveAlone;
    for (int n = 24; n <= 35; ++n) word[n] = 1;
    word[kLimitWord] = 50;
}

void TarvoMainSettings::CopyWords(const TarvoMainSettings& source) {
    for (int n = 3; n <= 8; ++n) word[n] = source.word[n];
    for (int n = 11; n <= kWordCount; ++n) word[n] = source.word[n];
}

int CopyMainSettings(const TarvoMainSettings& source, TarvoMainSettings& target) {
    if (&source == &target) return 0;
    // Every list is replaced whole, so only the words are reset: the default lists would be
    // built only to be thrown away.
    target.ResetWords();
    int rc = 0;
    if (target.fileTypeMasks.CopyFrom(&source.fileTypeMasks) != 0) rc = -1;
    if (target.excludePaths.CopyFrom(&source.excludePaths) != 0) rc = -1;
    if (target.spareList1.CopyFrom(&source.spareList1) != 0) rc = -1;
    if (target.spareList2.CopyFrom(&source.spareList2) != 0) rc = -1;
    if (target.nameMasks.CopyFrom(&source.nameMasks) != 0) rc = -1;
    target.CopyWords(source);
    return rc;
}
