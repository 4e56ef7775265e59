#include "base/tvlist.h"

#include <cassert>
#include <cstring>
#include <new>

#include "base/alloc.h"

// ---- list engine ----

namespace {

// Header, copy and a terminating zero, rounded up to 16 bytes: where a node's room starts.
size_t NodeBytes(size_t size) {
    return (sizeof(ListNode) + size + 1 + 15) & ~static_cast<size_t>(15);
}

} // namespace

ListNode* ListCore::NewNode(const void* data, size_t size, size_t room) {
    if (size > SIZE_MAX - sizeof(ListNode) - 16) return nullptr;
    size_t bytes = NodeBytes(size);
    if (room > SIZE_MAX - bytes) return nullptr;
    ListNode* node = static_cast<ListNode*>(MemAllocZeroed(bytes + room));
    if (!node) return nullptr;
    node->size = size;
    node->data = reinterpret_cast<char*>(node) + sizeof(ListNode);
    if (data && size) memcpy(node->data, data, size);
    return node;
}

void* ListCore::RoomOf(ListNode* node) {
    return reinterpret_cast<char*>(node) + NodeBytes(node->size);
}

void* ListCore::First() {
    current = head;
    index = 0;
    return current ? current->data : nullptr;
}

void* ListCore::Next() {
    if (!current || !current->next) return nullptr;
    current = current->next;
    ++index;
    return current->data;
}

uint32_t ListCore::Append(const void* data, size_t size, size_t room) {
    const uint32_t n = AppendBehind(data, size, room);
    if (n) {
        current = tail;
        index = n - 1;
    }
    return n;
}

uint32_t ListCore::AppendBehind(const void* data, size_t size, size_t room) {
    if (count == UINT32_MAX - 1) return 0;
    ListNode* node = NewNode(data, size, room);
    if (!node) return 0;
    return AppendNodeBehind(node);
}

uint32_t ListCore::AppendNodeBehind(ListNode* node) {
    if (count == UINT32_MAX - 1) return 0;
    node->next = nullptr;
    node->prev = tail;
    if (tail)
        tail->next = node;
    else
        head = node;
    tail = node;
    return ++count;
}

ListNode* ListCore::Seek(uint32_t i) {
    if (i >= count) return nullptr;
    if (!current) {
        current = head;
        index = 0;
    }
    if (i == index) return current;
    ListNode* n;
    if (i == 0) {
        n = head;
    } else if (i == count - 1) {
        n = tail;
    } else if (i > index) {
        if (i - index < count - i) {
            n = current;
            for (uint32_t k = index; k < i; ++k) n = n->next;
        } else {
            n = tail;
            for (uint32_t k = count - 1; k > i; --k) n = n->prev;
        }
    } else if (i < index - i) {
        n = head;
        for (uint32_t k = 0; k < i; ++k) n = n->next;
    } else {
        n = current;
        for (uint32_t k = index; k > i; --k) n = n->prev;
    }
    current = n;
    index = i;
    return n;
}

void ListCore::PushPos() {
    if (depth < kStackDepth)
        stack[depth++] = ListPos{index, current};
    else
        ++overflow;
}

void ListCore::PushOwnPos() {
    // Never nested, so the reserved entry is always free.
    assert(depth <= kStackDepth);
    if (depth <= kStackDepth) stack[depth++] = ListPos{index, current};
}

void ListCore::PopPos() {
    if (overflow) {
        --overflow;
        return;
    }
    PopOwnPos();
}

void ListCore::PopOwnPos() {
    if (!depth) return;
    const ListPos& pos = stack[--depth];
    // A position whose element went away leaves the cursor where the
    // removal put it.
    if (pos.index == kDropped) return;
    current = pos.node;
    index = pos.index;
}

void ListCore::DropOwnPos() {
    if (depth) --depth;
}

void ListCore::Clear() {
    for (ListNode* n = tail; n;) {
        ListNode* prev = n->prev;
        FreeNode(n);
        n = prev;
    }
    head = current = tail = nullptr;
    index = count = depth = overflow = 0;
}

int ListCore::Unlink(ListNode* node) {
    if (Detach(node) != 0) return -1;
    FreeNode(node);
    return 0;
}

int ListCore::Detach(ListNode* node) {
    if (!node) return -1;
    // The ends, where most removals happen, are found without a walk.
    uint32_t pos = 0;
    if (node == tail) {
        pos = count - 1;
    } else if (node != head) {
        ListNode* n = head;
        while (n && n != node) {
            n = n->next;
            ++pos;
        }
        if (!n) return -1;
    }

    // Saved positions stay true: behind the removed element they move up
    // one, on it they are dropped.
    for (uint32_t k = 0; k < depth; ++k) {
        ListPos& p = stack[k];
        if (p.index == kDropped || !p.node) continue;
        if (p.node == node)
            p.index = kDropped;
        else if (p.index > pos)
            --p.index;
    }
    if (current == node) {
        if (node->next) {
            current = node->next;
        } else {
            current = node->prev;
            index = pos ? pos - 1 : 0;
        }
    } else if (current && index > pos) {
        --index;
    }
    if (node->prev)
        node->prev->next = node->next;
    else
        head = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        tail = node->prev;
    --count;
    return 0;
}

ListNode* ListCore::Replace(ListNode* old, const void* data, size_t size) {
    ListNode* node = NewNode(data, size);
    if (!node) return nullptr;
    node->prev = old->prev;
    node->next = old->next;
    if (old->prev)
        old->prev->next = node;
    else
        head = node;
    if (old->next)
        old->next->prev = node;
    else
        tail = node;
    if (current == old) current = node;
    for (uint32_t k = 0; k < depth; ++k)
        if (stack[k].node == old) stack[k].node = node;
    FreeNode(old);
    return node;
}

// ---- tvList ----

namespace {

// Lock for the length of one operation; a failed lock makes the operation
// answer as if it found nothing. A list made without a lock has none to take.
class ListLock {
public:
    explicit ListLock(tvObject& obj) : obj_(obj), held_(!obj.HasLock() || obj.Lock() == 0) {}
    ~ListLock() {
        if (held_ && obj_.HasLock()) obj_.Unlock();
    }
    bool held() const { return held_; }

private:
    tvObject& obj_;
    bool held_;
};

// Lock and saved cursor for the length of one operation.
class ListSaved {
public:
    ListSaved(tvObject& obj, ListCore& core)
        : obj_(obj), core_(core), held_(!obj.HasLock() || obj.Lock() == 0) {
        if (held_) core_.PushOwnPos();
    }
    ~ListSaved() {
        if (!held_) return;
        if (keep_)
            core_.DropOwnPos();
        else
            core_.PopOwnPos();
        if (obj_.HasLock()) obj_.Unlock();
    }
    bool held() const { return held_; }
    // The cursor stays where the operation put it.
    void KeepCursor() { keep_ = true; }

private:
    tvObject& obj_;
    ListCore& core_;
    bool held_;
    bool keep_ = false;
};

} // namespace

tvList::tvList(int lockable) : tvObject(lockable) {
    core_ = new (std::nothrow) ListCore();
}

tvList::tvList(const tvList& other) : tvObject(other.IsLockable()) {
    core_ = new (std::nothrow) ListCore();
    CopyFrom(&other);
}

tvList::~tvList() {
    if (lockable && locked) assert(!"list destroyed while locked");
    if (core_) core_->Clear();
    delete core_;
    core_ = nullptr;
    locked = 0;
}

int tvList::SavePos() {
    if (core_) core_->PushPos();
    return 0;
}

int tvList::RestorePos() {
    if (core_) core_->PopPos();
    return 0;
}

int tvList::Compare(const void* data, const void* key) {
    return data == key;
}

ListNode* tvList::FindNode(const void* key) {
    if (!core_) return nullptr;
    for (ListNode* n = core_->head; n; n = n->next)
        if (Compare(n->data, key)) return n;
    return nullptr;
}

int tvList::RemoveNode(ListNode* node) {
    if (!core_ || core_->Unlink(node) != 0) return -1;
    changed = 1;
    return 0;
}

int tvList::CopyFrom(const tvList* list) {
    if (!list || list == this || !core_) return list == this ? 0 : -1;
    Clear();
    ListLock lock(*this);
    if (!lock.held()) return -1;
    int rc = 0;
    if (list->core_) {
        for (const ListNode* n = list->core_->head; n; n = n->next) {
            if (!core_->Append(n->data, n->size)) {
                rc = -1;
                break;
            }
            changed = 1;
        }
    }
    core_->depth = core_->overflow = 0;
    return rc;
}

void tvList::Clear() {
    if (!core_) return;
    // A list cleared for every object is empty most times: no node to free, no lock to take.
    if (!core_->tail && !HasLock()) {
        core_->Clear();
        changed = 1;
        return;
    }
    ListLock lock(*this);
    if (!lock.held()) return;
    core_->Clear();
    changed = 1;
}

uint32_t tvList::Count() const {
    return core_ ? core_->count : 0;
}

int tvList::IsEmpty() const {
    return Count() == 0;
}

// Appending leaves the cursor where it was: no position to save and restore.
uint32_t tvList::Add(const void* data, size_t size) {
    if (!core_) return 0;
    ListLock lock(*this);
    if (!lock.held()) return 0;
    uint32_t n = core_->AppendBehind(data, size);
    if (n) changed = 1;
    return n;
}

void* tvList::AddRoom(size_t room) {
    if (!core_) return nullptr;
    ListLock lock(*this);
    if (!lock.held()) return nullptr;
    // The element's copy is written below, once the room's address is known.
    if (!core_->AppendBehind(nullptr, sizeof(void*), room)) return nullptr;
    void* bytes = ListCore::RoomOf(core_->tail);
    memcpy(core_->tail->data, &bytes, sizeof bytes);
    changed = 1;
    return bytes;
}

void* tvList::AddRoomIn(ListNode* node) {
    if (!core_) return nullptr;
    ListLock lock(*this);
    if (!lock.held() || !core_->AppendNodeBehind(node)) return nullptr;
    void* bytes = ListCore::RoomOf(node);
    memcpy(node->data, &bytes, sizeof bytes);
    changed = 1;
    return bytes;
}

uint32_t tvList::AddUnique(const void* data, size_t size) {
    if (!core_) return 0;
    // The search is virtual: whatever it does to the cursor is undone.
    ListSaved saved(*this, *core_);
    if (!saved.held() || FindNode(data)) return 0;
    uint32_t n = core_->AppendBehind(data, size);
    if (n) changed = 1;
    return n;
}

uint32_t tvList::RemoveLast() {
    if (!Count()) return 0;
    ListLock lock(*this);
    if (lock.held()) RemoveNode(core_->tail);
    return Count();
}

uint32_t tvList::RemoveCurrent() {
    if (!Count()) return 0;
    ListLock lock(*this);
    if (lock.held() && core_->current) RemoveNode(core_->current);
    return Count();
}

uint32_t tvList::RemoveAt(uint32_t i) {
    if (!Count()) return 0;
    ListSaved saved(*this, *core_);
    if (!saved.held()) return 0;
    ListNode* node = core_->Seek(i);
    if (!node) return 0;
    RemoveNode(node);
    return Count();
}

uint32_t tvList::Remove(const void* key) {
    if (!Count()) return 0;
    ListLock lock(*this);
    if (!lock.held()) return 0;
    ListNode* node = FindNode(key);
    if (!node) return 0;
    RemoveNode(node);
    return Count();
}

void* tvList::First() {
    return core_ ? core_->First() : nullptr;
}

void* tvList::Next() {
    return core_ ? core_->Next() : nullptr;
}

void* tvList::Prev() {
    if (!core_ || !core_->current || !core_->current->prev) return nullptr;
    core_->current = core_->current->prev;
    --core_->index;
    return core_->current->data;
}

void* tvList::PeekFirst() {
    return core_ && core_->head ? core_->head->data : nullptr;
}

void* tvList::Last() {
    if (!core_) return nullptr;
    core_->current = core_->tail;
    core_->index = core_->count ? core_->count - 1 : 0;
    return core_->current ? core_->current->data : nullptr;
}

void* tvList::GetAt(uint32_t i) {
    if (!Count()) return nullptr;
    ListSaved saved(*this, *core_);
    if (!saved.held()) return nullptr;
    ListNode* node = core_->Seek(i);
    return node ? node->data : nullptr;
}

void* tvList::FindData(const void* key) {
    if (!Count()) return nullptr;
    ListLock lock(*this);
    if (!lock.held()) return nullptr;
    ListNode* node = FindNode(key);
    return node ? node->data : nullptr;
}

void* tvList::Current() {
    if (!Count() || !core_->current) return nullptr;
    return core_->current->data;
}

uint32_t tvList::ReplaceAt(uint32_t i, const void* data, size_t size) {
    if (!Count()) return kNoIndex;
    ListSaved saved(*this, *core_);
    if (!saved.held()) return kNoIndex;
    ListNode* node = core_->Seek(i);
    if (!node || !core_->Replace(node, data, size)) return kNoIndex;
    changed = 1;
    return i;
}

uint32_t tvList::SetAt(uint32_t i, const void* data, size_t size) {
    if (!Count()) return kNoIndex;
    ListSaved saved(*this, *core_);
    if (!saved.held()) return kNoIndex;
    ListNode* found = FindNode(data);
    ListNode* node = core_->Seek(i);
    if (!node) return kNoIndex;
    // Setting element i to a value held elsewhere would make a duplicate.
    if (found && found != node) {
        RemoveNode(node);
        return Count();
    }
    if (!core_->Replace(node, data, size)) return kNoIndex;
    changed = 1;
    return i;
}

uint32_t tvList::ForEach(ForEachFn fn, void* arg) {
    if (!Count() || !fn) return 0;
    ListSaved saved(*this, *core_);
    if (!saved.held()) return 0;
    for (ListNode* n = core_->head; n;) {
        ListNode* next = n->next;
        fn(n->data, arg);
        n = next;
    }
    return Count();
}

int tvList::Equals(const tvList* list) {
    if (!list || Count() != list->Count()) return 0;
    if (list == this) return 1;
    ListLock lock(*this);
    if (!lock.held()) return 0;
    for (const ListNode* mine = core_ ? core_->head : nullptr; mine; mine = mine->next) {
        const ListNode* theirs = list->core_->head;
        while (theirs && !Compare(mine->data, theirs->data)) theirs = theirs->next;
        if (!theirs) return 0;
    }
    return 1;
}

int tvList::Equals(const tvList& list) {
    return Equals(&list);
}

uint32_t tvList::Seek(uint32_t i) {
    if (!Count()) return 0;
    ListLock lock(*this);
    if (!lock.held()) return 0;
    return core_->Seek(i) ? core_->index : 0;
}

uint32_t tvList::IndexOf(const void* key) {
    if (!core_) return 0;
    ListSaved saved(*this, *core_);
    if (!saved.held()) return 0;
    uint32_t i = 0;
    for (ListNode* n = core_->head; n; n = n->next, ++i) {
        if (Compare(n->data, key)) {
            saved.KeepCursor();
            core_->current = n;
            core_->index = i;
            return i;
        }
    }
    return 0;
}

uint32_t tvList::SeekFirst() {
    return Seek(0);
}

uint32_t tvList::SeekLast() {
    return Count() ? Seek(Count() - 1) : 0;
}

void* tvList::NextCircular() {
    if (!Count()) return nullptr;
    if (!core_->current || !core_->current->next) return core_->First();
    return core_->Next();
}
