#include "base/tvlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/alloc.h"

namespace {

int Val(const void* data) {
    int v;
    memcpy(&v, data, sizeof v);
    return v;
}

// A list of ints whose equality is by value.
class IntList : public tvList {
public:
    using tvList::RemoveTailNode;
    using tvList::tvList;
    int Compare(const void* data, const void* key) override { return data && key && Val(data) == Val(key); }
};

void Fill(tvList& l, int n) {
    for (int i = 0; i < n; ++i) ASSERT_EQ(l.Add(&i, sizeof i), static_cast<uint32_t>(i + 1));
}

// Every way of reaching the elements agrees with the model, and the cursor's
// index is the position of the cursor element. GetAt restores the cursor, so
// each lookup walks from the same cursor and a wrong index shows.
void Check(tvList& l, const std::vector<int>& model) {
    ASSERT_EQ(l.Count(), model.size());
    ListCore* core = l.Core();
    if (core->current) {
        uint32_t pos = 0;
        for (ListNode* n = core->head; n != core->current; n = n->next) ++pos;
        EXPECT_EQ(core->index, pos) << "cursor index out of step";
    }
    const void* cur = l.Current();
    for (size_t i = 0; i < model.size(); ++i) {
        void* d = l.GetAt(static_cast<uint32_t>(i));
        ASSERT_NE(d, nullptr) << i;
        EXPECT_EQ(Val(d), model[i]) << "GetAt " << i;
        EXPECT_EQ(l.Current(), cur) << "GetAt moved the cursor";
    }
    for (size_t i = model.size(); i-- > 0;) {
        void* d = l.GetAt(static_cast<uint32_t>(i));
        ASSERT_NE(d, nullptr) << i;
        EXPECT_EQ(Val(d), model[i]) << "GetAt backwards " << i;
    }
    EXPECT_EQ(l.GetAt(static_cast<uint32_t>(model.size())), nullptr);
    std::vector<int> walked;
    for (void* d = l.First(); d; d = l.Next()) walked.push_back(Val(d));
    EXPECT_EQ(walked, model);
    walked.clear();
    for (void* d = l.Last(); d; d = l.Prev()) walked.push_back(Val(d));
    std::reverse(walked.begin(), walked.end());
    EXPECT_EQ(walked, model);
}

enum class Removal { At, Key, Current, Last, Tail };

struct RemovalCase {
    Removal how;
    const char* name;
};

void PrintTo(const RemovalCase& c, std::ostream* os) {
    *os << c.name;
}

class ListRemoval : public ::testing::TestWithParam<RemovalCase> {};

// Cursor position x removal position: the cursor keeps its element (or moves
// to the successor, the predecessor at the tail, when its own element goes)
// with a true index, and a saved position on the removed element is dropped.
TEST_P(ListRemoval, CursorAndSavedPositionsStayTrue) {
    const int n = 6;
    for (int cursor = 0; cursor < n; ++cursor) {
        for (int victim = 0; victim < n; ++victim) {
            for (int saved = 0; saved < n; ++saved) {
                SCOPED_TRACE(::testing::Message() << GetParam().name << " cursor " << cursor << " victim "
                                                  << victim << " saved " << saved);
                IntList l(1);
                Fill(l, n);
                std::vector<int> model(n);
                for (int i = 0; i < n; ++i) model[i] = i;
                l.Seek(saved);
                l.SavePos();
                l.Seek(cursor);
                int removed = victim;
                switch (GetParam().how) {
                case Removal::At:
                    EXPECT_EQ(l.RemoveAt(victim), n - 1u);
                    break;
                case Removal::Key:
                    EXPECT_EQ(l.Remove(&victim), n - 1u);
                    break;
                case Removal::Current:
                    removed = cursor;
                    EXPECT_EQ(l.RemoveCurrent(), n - 1u);
                    break;
                case Removal::Last:
                    removed = n - 1;
                    EXPECT_EQ(l.RemoveLast(), n - 1u);
                    break;
                case Removal::Tail:
                    removed = n - 1;
                    EXPECT_EQ(l.RemoveTailNode(), 0);
                    break;
                }
                model.erase(model.begin() + removed);
                ASSERT_NE(l.Current(), nullptr);
                int expect = cursor != removed ? cursor : (removed == n - 1 ? removed - 1 : removed + 1);
                EXPECT_EQ(Val(l.Current()), expect);
                Check(l, model);

                l.Seek(static_cast<uint32_t>(std::find(model.begin(), model.end(), expect) - model.begin()));
                l.RestorePos();
                ASSERT_NE(l.Current(), nullptr);
                // A dropped position leaves the cursor where it was.
                EXPECT_EQ(Val(l.Current()), saved != removed ? saved : expect);
                Check(l, model);
                EXPECT_EQ(l.Core()->depth, 0u);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, ListRemoval,
                         ::testing::Values(RemovalCase{Removal::At, "RemoveAt"},
                                           RemovalCase{Removal::Key, "Remove"},
                                           RemovalCase{Removal::Current, "RemoveCurrent"},
                                           RemovalCase{Removal::Last, "RemoveLast"},
                                           RemovalCase{Removal::Tail, "RemoveTailNode"}),
                         [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

// Without a saved position the tail goes the short way: the cursor (none, elsewhere, on the tail)
// and the count end as RemoveLast leaves them.
TEST(List, RemoveTailNodeWithoutSavedPositionsIsRemoveLast) {
    const int n = 4;
    for (int cursor = -1; cursor < n; ++cursor) {
        SCOPED_TRACE(::testing::Message() << "cursor " << cursor);
        IntList fast, slow;
        Fill(fast, n);
        Fill(slow, n);
        if (cursor >= 0) {
            fast.Seek(cursor);
            slow.Seek(cursor);
        }
        fast.SetChanged(0);
        EXPECT_EQ(fast.RemoveTailNode(), 0);
        EXPECT_EQ(slow.RemoveLast(), n - 1u);
        EXPECT_EQ(fast.IsChanged(), 1);
        EXPECT_EQ(fast.Core()->index, slow.Core()->index);
        EXPECT_EQ(fast.Current() ? Val(fast.Current()) : -1, slow.Current() ? Val(slow.Current()) : -1);
        Check(fast, {0, 1, 2});
    }
    IntList one;
    Fill(one, 1);
    EXPECT_EQ(one.RemoveTailNode(), 0);
    EXPECT_EQ(one.Count(), 0u);
    EXPECT_EQ(one.Core()->head, nullptr);
    EXPECT_EQ(one.Core()->tail, nullptr);
    EXPECT_EQ(one.RemoveTailNode(), -1);
}

TEST(List, RemovingTheOnlyElementEmptiesTheList) {
    IntList l;
    Fill(l, 1);
    l.First();
    l.SavePos();
    EXPECT_EQ(l.RemoveCurrent(), 0u);
    l.RestorePos();
    EXPECT_EQ(l.Current(), nullptr);
    EXPECT_EQ(l.First(), nullptr);
    Check(l, {});
    EXPECT_EQ(l.RemoveCurrent(), 0u);
    EXPECT_EQ(l.RemoveLast(), 0u);
    EXPECT_EQ(l.RemoveAt(0), 0u);
}

TEST(List, RemoveCurrentWithoutCursorDoesNothing) {
    IntList l;
    Fill(l, 3);
    l.First();
    l.Prev(); // stays on the head
    l.Core()->current = nullptr;
    EXPECT_EQ(l.RemoveCurrent(), 3u);
    Check(l, {0, 1, 2});
}

TEST(List, RemoveOfAbsentKeyOrIndexChangesNothing) {
    IntList l;
    Fill(l, 3);
    int absent = 7;
    l.SetChanged(0);
    EXPECT_EQ(l.Remove(&absent), 0u);
    EXPECT_EQ(l.RemoveAt(3), 0u);
    EXPECT_EQ(l.IsChanged(), 0);
    Check(l, {0, 1, 2});
    EXPECT_EQ(l.RemoveNode(nullptr), -1);
    IntList other;
    Fill(other, 1);
    EXPECT_EQ(l.RemoveNode(other.Core()->head), -1); // not ours
    EXPECT_EQ(other.Count(), 1u);
}

TEST(List, AddLeavesTheCursorAndSetsChanged) {
    IntList l;
    Fill(l, 4);
    l.Seek(2);
    l.SetChanged(0);
    int v = 9;
    EXPECT_EQ(l.Add(&v, sizeof v), 5u);
    EXPECT_EQ(Val(l.Current()), 2);
    EXPECT_EQ(l.IsChanged(), 1);
    EXPECT_EQ(l.AddUnique(&v, sizeof v), 0u);
    v = 10;
    EXPECT_EQ(l.AddUnique(&v, sizeof v), 6u);
    Check(l, {0, 1, 2, 3, 9, 10});
}

TEST(List, NodeCopyIsFollowedByAZeroAtEverySize) {
    // Around the 16-byte rounding of the node allocation.
    for (size_t len : {0, 1, 15, 16, 17, 31, 32, 33, 100}) {
        SCOPED_TRACE(len);
        std::vector<char> bytes(len + 1, 'x');
        tvList l;
        ASSERT_EQ(l.Add(bytes.data(), len), 1u);
        const char* d = static_cast<const char*>(l.GetAt(0));
        EXPECT_EQ(strlen(d), len);
        EXPECT_EQ(l.Core()->head->size, len);
    }
}

// A list whose elements point at room in their own blocks.
class RoomList : public tvList {
public:
    using tvList::AddRoom;
};

TEST(List, RoomIsZeroedInTheElementsOwnBlockAndGoesWithIt) {
    RoomList l;
    int first = 1;
    ASSERT_EQ(1u, l.Add(&first, sizeof first));
    const void* cursor = l.First();
    const uint32_t allocs = MemAllocCount(), frees = MemFreeCount();
    const int64_t bytes = MemBytesInUse();
    for (size_t room : {size_t{0}, size_t{1}, size_t{100}, size_t{5000}}) {
        auto* p = static_cast<unsigned char*>(l.AddRoom(room));
        ASSERT_NE(nullptr, p);
        EXPECT_TRUE(std::all_of(p, p + room, [](unsigned char c) { return c == 0; })) << room;
        std::memset(p, 0xAB, room); // the whole room is the element's
        void* stored = nullptr;
        std::memcpy(&stored, l.Core()->tail->data, sizeof stored);
        EXPECT_EQ(p, stored) << "the element's data is the room's address";
    }
    EXPECT_EQ(allocs + 4, MemAllocCount()) << "one block an element";
    EXPECT_EQ(cursor, l.Current()) << "the cursor stays";
    while (l.Count() > 1) l.RemoveLast();
    EXPECT_EQ(frees + 4, MemFreeCount());
    EXPECT_EQ(bytes, MemBytesInUse());
}

TEST(List, GetAtEveryIndexInAnyOrder) {
    IntList l;
    Fill(l, 10);
    for (uint32_t i : {9u, 0u, 5u, 4u, 6u, 1u, 8u, 2u, 7u, 3u, 3u, 9u}) {
        void* d = l.GetAt(i);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(Val(d), static_cast<int>(i));
    }
    EXPECT_EQ(l.GetAt(10), nullptr);
    // Seek moves the cursor and answers the index.
    for (uint32_t i : {7u, 2u, 9u, 0u, 5u}) {
        EXPECT_EQ(l.Seek(i), i);
        EXPECT_EQ(Val(l.Current()), static_cast<int>(i));
    }
    EXPECT_EQ(l.Seek(10), 0u);
    EXPECT_EQ(Val(l.Current()), 5);
    EXPECT_EQ(l.SeekLast(), 9u);
    EXPECT_EQ(l.SeekFirst(), 0u);
}

TEST(List, PositionStackIgnoresPushesBeyond64) {
    IntList l;
    Fill(l, 80);
    for (uint32_t i = 0; i < 70; ++i) {
        l.Seek(i + 3);
        l.SavePos();
    }
    EXPECT_EQ(l.Core()->depth, 64u);
    l.Seek(79);
    for (int i = 0; i < 70; ++i) l.RestorePos();
    EXPECT_EQ(Val(l.Current()), 3);
    EXPECT_EQ(l.Core()->index, 3u);
    l.RestorePos(); // empty stack: nothing
    EXPECT_EQ(Val(l.Current()), 3);
    // Operations that save and restore inside a full stack keep the cursor.
    for (int i = 0; i < 64; ++i) l.SavePos();
    l.Seek(40);
    l.SavePos();
    l.Seek(50);
    EXPECT_NE(l.GetAt(1), nullptr);
    EXPECT_EQ(Val(l.Current()), 50);
    l.RestorePos(); // pairs with the ignored push
    EXPECT_EQ(Val(l.Current()), 50);
    l.RestorePos();
    EXPECT_EQ(Val(l.Current()), 3);
}

TEST(List, IndexOfMovesTheCursorToTheHit) {
    IntList l;
    Fill(l, 5);
    l.Seek(1);
    int key = 3, absent = 8;
    EXPECT_EQ(l.IndexOf(&key), 3u);
    EXPECT_EQ(Val(l.Current()), 3);
    EXPECT_EQ(l.IndexOf(&absent), 0u); // same answer as a hit at 0
    EXPECT_EQ(Val(l.Current()), 3);
    EXPECT_EQ(l.Core()->depth, 0u);
}

TEST(List, ReplaceAtKeepsCursorAndSavedPositions) {
    IntList l;
    Fill(l, 4);
    l.Seek(0);
    l.SavePos();
    l.Seek(3);
    l.SavePos();
    l.Seek(2);
    int v = 20;
    EXPECT_EQ(l.ReplaceAt(2, &v, sizeof v), 2u);
    EXPECT_EQ(Val(l.Current()), 20);
    v = 30;
    EXPECT_EQ(l.ReplaceAt(3, &v, sizeof v), 3u);
    v = 10;
    EXPECT_EQ(l.ReplaceAt(0, &v, sizeof v), 0u);
    EXPECT_EQ(l.ReplaceAt(4, &v, sizeof v), tvList::kNoIndex);
    l.RestorePos();
    EXPECT_EQ(Val(l.Current()), 30);
    l.RestorePos();
    EXPECT_EQ(Val(l.Current()), 10);
    Check(l, {10, 1, 20, 30});
}

TEST(List, SetAtNeverMakesADuplicate) {
    IntList l;
    Fill(l, 4);
    int v = 3;
    EXPECT_EQ(l.SetAt(0, &v, sizeof v), 3u); // 3 is listed elsewhere: element 0 goes
    Check(l, {1, 2, 3});
    v = 3;
    EXPECT_EQ(l.SetAt(2, &v, sizeof v), 2u); // equal to itself: replaced
    v = 7;
    EXPECT_EQ(l.SetAt(1, &v, sizeof v), 1u);
    Check(l, {1, 7, 3});
    EXPECT_EQ(l.SetAt(5, &v, sizeof v), tvList::kNoIndex);
}

TEST(List, CopyAndEquality) {
    IntList a, b;
    Fill(a, 5);
    for (int v : {4, 2, 0, 1, 3}) b.Add(&v, sizeof v);
    EXPECT_EQ(a.Equals(b), 1); // same elements, another order
    b.RemoveLast();
    EXPECT_EQ(a.Equals(&b), 0);
    EXPECT_EQ(a.Equals(nullptr), 0);

    EXPECT_EQ(a.CopyFrom(&a), 0);
    EXPECT_EQ(a.Equals(a), 1);
    Check(a, {0, 1, 2, 3, 4});

    EXPECT_EQ(b.CopyFrom(&a), 0);
    Check(b, {0, 1, 2, 3, 4});
    IntList c(b);
    Check(c, {0, 1, 2, 3, 4});
    // The plain list compares data pointers: copies are never equal.
    tvList p, q;
    int v = 1;
    p.Add(&v, sizeof v);
    q.CopyFrom(&p);
    EXPECT_EQ(p.Equals(q), 0);
}

TEST(List, EmptyListAnswersNull) {
    IntList l(1);
    EXPECT_EQ(l.PeekFirst(), nullptr);
    EXPECT_EQ(l.NextCircular(), nullptr);
    EXPECT_EQ(l.Current(), nullptr);
    EXPECT_EQ(l.First(), nullptr);
    EXPECT_EQ(l.Last(), nullptr);
    EXPECT_EQ(l.Next(), nullptr);
    EXPECT_EQ(l.Prev(), nullptr);
    EXPECT_EQ(l.GetAt(0), nullptr);
    EXPECT_EQ(l.Seek(0), 0u);
    EXPECT_EQ(l.IsEmpty(), 1);
    EXPECT_EQ(l.IsLocked(), 0);
}

TEST(List, NextCircularWrapsToTheHead) {
    IntList l;
    Fill(l, 3);
    std::vector<int> seen;
    l.Last();
    for (int i = 0; i < 5; ++i) seen.push_back(Val(l.NextCircular()));
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 0, 1}));
    EXPECT_EQ(Val(l.PeekFirst()), 0);
    EXPECT_EQ(Val(l.Current()), 1);
}

TEST(List, ForEachVisitsEveryElementAndKeepsTheCursor) {
    IntList l(1);
    Fill(l, 4);
    l.Seek(2);
    std::vector<int> seen;
    l.ForEach([](void* d, void* arg) { static_cast<std::vector<int>*>(arg)->push_back(Val(d)); }, &seen);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Val(l.Current()), 2);
    EXPECT_EQ(l.IsLocked(), 0);
}

// Taking a held lock again cannot succeed in a single-threaded program: it
// fails at once (and stops debug builds) instead of waiting for ever.
TEST(ListDeathTest, ReentrantLockFailsInsteadOfSpinning) {
    IntList l(1);
    Fill(l, 2);
    ASSERT_EQ(l.Lock(), 0);
    int v = 5;
#ifdef NDEBUG
    EXPECT_EQ(l.Lock(), -1);
    EXPECT_EQ(l.Add(&v, sizeof v), 0u);
    EXPECT_EQ(l.FindData(&v), nullptr);
    EXPECT_EQ(l.IsLocked(), 1);
#else
    EXPECT_DEATH(l.Add(&v, sizeof v), "lock taken again");
#endif
    EXPECT_EQ(l.Unlock(), 0);
    EXPECT_EQ(l.Add(&v, sizeof v), 3u);
    EXPECT_EQ(l.FindData(&v), l.GetAt(2));

    // Not lockable: locks are no-ops and never fail.
    IntList plain;
    EXPECT_EQ(plain.Lock(), 0);
    EXPECT_EQ(plain.Lock(), 0);
    EXPECT_EQ(plain.IsLocked(), 0);
}

} // namespace
