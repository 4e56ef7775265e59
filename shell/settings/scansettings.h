// shell/settings: the scan settings and the keys the shell reads, the file filter, file types and
// signatures. Uses base and the rest of shell.
//
// The scan settings a scan context works with: flag words, action masks per
// class of finding, and the mask and path lists. One process-wide instance is
// filled from the configuration; every scan context copies its words and uses
// its lists.
#pragma once

#include <cstdint>
#include <memory>

#include "base/tvstrlist.h"
#include "shell/settings/excludepaths.h"

// Words of the settings by number (word[n]); the others are carried along
// but not read by the scanning shell.
enum SettingsWord : int {
    kModeWord = 3,             // handed to the engine with every object (HeuristicAnalysis)
    kDiskWord = 5,             // set for a raw disk request
    kArchivesWord = 6,         // open ordinary containers (CheckArchives)
    kPackerReportWord = 7,     // report packers (CheckPackedFiles)
    kMailFilesWord = 8,        // open mail containers (CheckEMailFiles)
    kEngineResetWord = 11,     // reset the engine before each scan
    kFilterModeWord = 12,      // FilterMode (ScanFiles)
    kContainerActionWord = 13, // 13, 14 and 15: actions on infected containers by type
    kIncurableActionWord = 16,
    kInfectedActionWord = 17,
    kSuspiciousActionWord = 18,
    kAdwareActionWord = 19,
    kDialerActionWord = 20,
    kJokeActionWord = 21,
    kRiskwareActionWord = 22,
    kHacktoolActionWord = 23,
    kLimitWord = 36, // the engine's limit is this value x 400
};

// Values of the filter-mode word; any value not listed filters by name masks.
enum FilterMode : uint32_t {
    kFilterAll = 0,
    kFilterByType = 1,
    kFilterByContent = 2,
    kFilterByMasks = 3,
};

// Action masks of the action words.
enum ActionMask : uint32_t {
    kActionCure = 1, // "report" in the words other than the infected one
    kActionDelete = 2,
    kActionRename = 4,
    kActionMove = 8,
    kActionLeaveAlone = 16,
};

// The mask and path lists of a settings object, in a block of their own so
// that the scan contexts can use the process-wide lists instead of copying
// them for every request.
struct SettingsLists {
    SettingsLists();
    tvWildStringList fileTypeMasks; // FilesTypes: patterns for the extension
    tvStringList excludePaths;      // ExcludePaths
    tvStringList spareList1;        // carried along, not read by the scanning shell
    tvStringList spareList2;
    tvWildStringList nameMasks;    // UserMasks: patterns for the base name
    ExcludePathIndex excludeIndex; // excludePaths made ready for matching
};

class TarvoMainSettings {
    // First: the list members below refer into it.
    std::shared_ptr<SettingsLists> lists_;

public:
    static constexpr int kWordCount = 36;

    // The defaults.
    TarvoMainSettings();
    // A copy of source, as CopyMainSettings makes it, whose lists are built
    // once from the source's; the defaults when source is null.
    explicit TarvoMainSettings(const TarvoMainSettings* source) : TarvoMainSettings(source, false) {}
    // With shareLists, the words of source as CopyMainSettings copies them,
    // over source's own lists, which stay alive with this object: for
    // settings whose lists no one changes (the process-wide ones). A change
    // to the lists of either object is then a change to both.
    TarvoMainSettings(const TarvoMainSettings* source, bool shareLists);
    TarvoMainSettings(const TarvoMainSettings&) = delete;
    TarvoMainSettings& operator=(const TarvoMainSettings&) = delete;

    // First and next pattern of the file-type and of the name masks; null at the end.
    const char* FirstTypeMask();
    const char* NextTypeMask();
    const char* FirstNameMask();
    const char* NextNameMask();
    // Whether a name mask matches name, a file-type mask matches ext (without case).
    bool MatchNameMask(const char* name);
    bool MatchTypeMask(const char* ext);
    // Whether an ExcludePaths entry matches the folder dir (ExcludePathIndex). The entries are made
    // ready once for each change of the list, which the settings of every request share.
    bool MatchExcludePath(const char* dir);
    // CopyMainSettings from source into this, from this into target.
    int CopyFrom(const TarvoMainSettings& source);
    int CopyTo(TarvoMainSettings& target) const;
    void ClearLists();
    // The built-in words and lists; 0, or -1 when a list entry could not be stored.
    int ResetToDefaults();
    bool SharesListsWith(const TarvoMainSettings& other) const { return lists_ == other.lists_; }

    // word[n] is word n, 1 to 36; word[0] is not used.
    uint32_t word[kWordCount + 1];
    tvWildStringList& fileTypeMasks;
    tvStringList& excludePaths;
    tvStringList& spareList1;
    tvStringList& spareList2;
    tvWildStringList& nameMasks;

private:
    struct ListsOf {};
    TarvoMainSettings(std::shared_ptr<SettingsLists> lists, ListsOf);
    void ResetWords();
    // Words 3 to 8 and 11 to 36 from source.
    void CopyWords(const TarvoMainSettings& source);
    friend int CopyMainSettings(const TarvoMainSettings& source, TarvoMainSettings& target);
};

// Resets target to its defaults, then copies the lists and every word but 1,
// 2, 9 and 10, which keep the defaults. 0, or -1 when a list could not be
// copied whole. Copying settings onto themselves changes nothing.
int CopyMainSettings(const TarvoMainSettings& source, TarvoMainSettings& target);

// The process-wide settings, filled from the configuration and made afresh
// on every load; null while there are none.
extern TarvoMainSettings* MainSettings;
