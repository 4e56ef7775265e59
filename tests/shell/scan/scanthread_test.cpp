#include "shell/scan/scanthread.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/settings/scansettings.h"
#include "shell/scan/scantask.h"

namespace {

std::vector<std::string> Items(tvList& list) {
    std::vector<std::string> out;
    for (void* p = list.First(); p; p = list.Next()) out.emplace_back(static_cast<const char*>(p));
    return out;
}

std::vector<std::vector<std::string>> ListsOf(TarvoMainSettings& s) {
    return {Items(s.fileTypeMasks), Items(s.excludePaths), Items(s.spareList1), Items(s.spareList2),
            Items(s.nameMasks)};
}

// Puts settings in MainSettings for the life of the object, and the previous value back.
class ProcessSettings {
public:
    explicit ProcessSettings(TarvoMainSettings* settings) : saved_(MainSettings) { MainSettings = settings; }
    ~ProcessSettings() { MainSettings = saved_; }

private:
    TarvoMainSettings* saved_;
};

TEST(ScanContextSettings, WithoutAnySourceStartFromTheDefaults) {
    ProcessSettings none(nullptr);
    TarvoMainSettings defaults;
    ScanTask task(nullptr, 0, kScanStackBudget);
    EXPECT_EQ(ListsOf(defaults), ListsOf(task.Settings()));
    for (int n = 1; n <= TarvoMainSettings::kWordCount; ++n)
        EXPECT_EQ(defaults.word[n], task.Settings().word[n]) << "word " << n;
}

TEST(ScanContextSettings, WithoutASourceTakeTheProcessWideOnesWithWordsOfTheirOwn) {
    TarvoMainSettings process;
    process.word[kFilterModeWord] = kFilterByMasks;
    process.word[kInfectedActionWord] = kActionDelete;
    process.nameMasks.Clear();
    process.nameMasks.AddString("*.doc");
    process.excludePaths.AddString("/proc");
    ProcessSettings installed(&process);

    ScanTask task(nullptr, 0, kScanStackBudget);
    EXPECT_EQ(ListsOf(process), ListsOf(task.Settings()));
    EXPECT_EQ(kFilterByMasks, task.Settings().word[kFilterModeWord]);
    EXPECT_EQ(kActionDelete, task.Settings().word[kInfectedActionWord]);
    // What a request changes in its words stays with its task.
    task.Settings().word[kInfectedActionWord] = kActionCure;
    EXPECT_EQ(kActionDelete, process.word[kInfectedActionWord]);
}

TEST(ScanContextSettings, FromOtherSettingsGetACopyOfTheirOwn) {
    TarvoMainSettings process;
    ProcessSettings installed(&process);
    TarvoMainSettings own;
    own.excludePaths.AddString("/srv");
    ScanTask task(&own, 0, kScanStackBudget);
    EXPECT_EQ(ListsOf(own), ListsOf(task.Settings()));
    EXPECT_FALSE(task.Settings().SharesListsWith(own));
    own.excludePaths.Clear();
    EXPECT_EQ(1u, task.Settings().excludePaths.Count());
}

} // namespace
