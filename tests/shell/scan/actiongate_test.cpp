// The gate every action on a found object passes, and the action lock a cure holds.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/shell/archive_maker.h"
#include "tests/shell/scan_fixture.h"
#include "shell/scan/actiongate.h"

namespace {

class ActionGateTest : public ScanTaskTest {
protected:
    void TearDown() override {
        ActionLockOwner = nullptr;
        ScanTaskTest::TearDown();
    }
};

// At nesting depth 0: which classes and masks pass, without the lock.
TEST_F(ActionGateTest, ClassesAndMasks) {
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    const std::vector<int32_t> actionable = {1, 2, 4, 5, 6, 7, 8, 9};
    for (int32_t cls = -1; cls <= 12; ++cls) {
        SCOPED_TRACE("class " + std::to_string(cls));
        task.HostSetFoundClass(cls);
        const bool allowed = std::find(actionable.begin(), actionable.end(), cls) != actionable.end();
        const struct {
            uint32_t mask;
            int expected;
        } cases[] = {
            {kActionLeaveAlone, 1}, // leaving alone passes whatever was found
            {kActionLeaveAlone | kActionCure, 1},
            {kActionDelete, allowed},
            {kActionRename, allowed},
            {kActionMove | kActionDelete, allowed},
            {kActionCure, 0}, // a cure only with the lock
            {kActionCure | kActionDelete, 0},
        };
        for (const auto& c : cases) {
            EXPECT_EQ(c.expected, MayApplyAction(&task, c.mask, 0)) << "mask " << c.mask;
            EXPECT_EQ(nullptr, ActionLockOwner);
        }
    }
    EXPECT_EQ(0, MayApplyAction(nullptr, kActionLeaveAlone, 1));
}

TEST_F(ActionGateTest, CureTakesTheLock) {
    ScanTask task(settings_.get(), 0, kScanStackBudget);
    ScanTask other(settings_.get(), 0, kScanStackBudget);
    task.HostSetFoundClass(1);

    // A class the gate refuses takes no lock.
    task.HostSetFoundClass(3);
    EXPECT_EQ(0, MayApplyAction(&task, kActionCure, 1));
    EXPECT_EQ(nullptr, ActionLockOwner);

    task.HostSetFoundClass(1);
    EXPECT_EQ(1, MayApplyAction(&task, kActionCure, 1));
    EXPECT_EQ(&task, ActionLockOwner);
    EXPECT_EQ(1, MayApplyAction(&task, kActionCure, 1)) << "the holder asks again";

    // Held by another task: the wait is bounded, then refused; the lock stays with its holder.
    other.HostSetFoundClass(1);
    ActionLockWaitSeconds = 1;
    EXPECT_FALSE(other.ActionLockBusy());
    EXPECT_EQ(0, MayApplyAction(&other, kActionCure, 1));
    EXPECT_TRUE(other.ActionLockBusy()) << "the refusal is contention, not a verdict on the object";
    EXPECT_FALSE(task.ActionLockBusy());
    EXPECT_EQ(&task, ActionLockOwner);
    EXPECT_EQ(1, MayApplyAction(&other, kActionDelete, 1)) << "only a cure needs the lock";

    // Another task's release does nothing; the holder's own frees it, and its end would too.
    ReleaseActionLock(&other);
    EXPECT_EQ(&task, ActionLockOwner);
    ReleaseActionLock(&task);
    EXPECT_EQ(nullptr, ActionLockOwner);
    EXPECT_EQ(1, MayApplyAction(&other, kActionCure, 1));
    EXPECT_EQ(&other, ActionLockOwner);
}

TEST_F(ActionGateTest, TaskLetsGoOfTheLockWhenItEnds) {
    {
        ScanTask task(settings_.get(), 0, kScanStackBudget);
        task.HostSetFoundClass(1);
        ASSERT_EQ(1, MayApplyAction(&task, kActionCure, 1));
    }
    EXPECT_EQ(nullptr, ActionLockOwner);
}

// Inside a container nothing is changed: asked while a member is under way, the gate refuses what it
// allows for the container itself.
class GateProbe : public ScanTask {
public:
    using ScanTask::ScanTask;
    int FilterFile(const char* name, uint64_t size, const uint8_t* header, size_t headerLen) override {
        HostSetFoundClass(1);
        asked.emplace_back(Depth(), MayApplyAction(this, kActionDelete, 0));
        return ScanTask::FilterFile(name, size, header, headerLen);
    }
    std::vector<std::pair<uint32_t, int>> asked;
};

TEST_F(ActionGateTest, NothingInsideAContainer) {
    const std::string archive = Make("a.tar", MakeTar({{"v.com", Eicar()}}));
    GateProbe task(settings_.get(), 0, kScanStackBudget);
    task.Scan(archive.c_str(), 0);
    const std::vector<std::pair<uint32_t, int>> expected = {{0u, 1}, {1u, 0}};
    EXPECT_EQ(expected, task.asked);
}

} // namespace
