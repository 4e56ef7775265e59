// Doubly linked list of private byte copies, with a cursor and a stack of
// saved cursor positions. Every list class of the program derives from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/alloc.h"
#include "base/tvobject.h"

// One element: header and copy in one zero-filled allocation, so the copy is
// always followed by at least one zero byte.
struct ListNode {
    size_t size;
    void* data; // the inline copy right after this header
    ListNode* next;
    ListNode* prev;
};

struct ListPos {
    uint32_t index;
    ListNode* node;
};

// The list engine: positions are kept true through every removal.
struct ListCore {
    static constexpr uint32_t kStackDepth = 64;
    // Index of a saved position whose node was removed since.
    static constexpr uint32_t kDropped = UINT32_MAX;

    uint32_t index = 0;
    uint32_t count = 0;
    uint32_t depth = 0;
    // Pushes beyond kStackDepth, so that their pops do not consume older entries.
    uint32_t overflow = 0;
    ListNode* head = nullptr;
    ListNode* current = nullptr;
    ListNode* tail = nullptr;
    // One entry beyond kStackDepth is kept for the operations that save the
    // cursor for themselves, so that they keep it even under a full stack.
    ListPos stack[kStackDepth + 1] = {};

    // Cursor walks without virtual call or lock.
    void* First();
    void* Next();

    // room: zero-filled bytes after the copy in the node's own block (see RoomOf). The cursor moves to
    // the new element.
    uint32_t Append(const void* data, size_t size, size_t room = 0);
    // The same, the cursor staying where it is.
    uint32_t AppendBehind(const void* data, size_t size, size_t room = 0);
    // Links node (one of NewNode, not in a list) behind the tail, the cursor staying where it is: the
    // new count, 0 when the list is full (node left alone).
    uint32_t AppendNodeBehind(ListNode* node);
    ListNode* Seek(uint32_t i);
    // User pushes stop at kStackDepth; the pops of ignored pushes do nothing.
    void PushPos();
    void PopPos();
    // The save and restore of one list operation (never nested).
    void PushOwnPos();
    void PopOwnPos();
    // Drops the operation's own entry without moving the cursor.
    void DropOwnPos();
    void Clear();
    // Unlinks and frees node; -1 when it is not in this list.
    int Unlink(ListNode* node);
    // Unlink without the free: the node is its caller's. -1 when it is not in this list.
    int Detach(ListNode* node);
    // Detach of the tail: the node, or null for an empty list. Inline: a list used as a stack drops its
    // tail often.
    ListNode* DetachTail() {
        ListNode* node = tail;
        if (!node) return nullptr;
        // Saved positions and a cursor on the tail take the whole of Detach.
        if (depth || current == node) return Detach(node) == 0 ? node : nullptr;
        if (current && index > count - 1) --index;
        tail = node->prev;
        if (tail)
            tail->next = nullptr;
        else
            head = nullptr;
        --count;
        return node;
    }
    // Unlink of the tail; -1 for an empty list.
    int UnlinkTail() {
        ListNode* node = DetachTail();
        if (!node) return -1;
        FreeNode(node);
        return 0;
    }
    // A fresh copy takes old's place; null when out of memory (old stays).
    ListNode* Replace(ListNode* old, const void* data, size_t size);

    static ListNode* NewNode(const void* data, size_t size, size_t room = 0);
    static void FreeNode(ListNode* node) { MemFree(node); }
    // The room of a node made with room bytes of it.
    static void* RoomOf(ListNode* node);
};

class tvList : public tvObject {
public:
    // What ReplaceAt and SetAt answer when there is no element i.
    static constexpr uint32_t kNoIndex = UINT32_MAX;
    typedef void (*ForEachFn)(void* data, void* arg);

    explicit tvList(int lockable = 0);
    tvList(const tvList& other);
    tvList& operator=(const tvList&) = delete;
    ~tvList() override;

    int SavePos() override;
    int RestorePos() override;

    // Equality test of every search: here the data pointer is the key.
    virtual int Compare(const void* data, const void* key);
    virtual ListNode* FindNode(const void* key);
    // 0, or -1 when node is not in this list.
    virtual int RemoveNode(ListNode* node);
    // 0, or -1 when an element could not be copied.
    virtual int CopyFrom(const tvList* list);
    virtual void Clear();
    virtual uint32_t Count() const;
    virtual int IsEmpty() const;
    // New count, 0 when out of memory; the cursor does not move.
    virtual uint32_t Add(const void* data, size_t size);
    // 0 when an equal element exists.
    virtual uint32_t AddUnique(const void* data, size_t size);
    virtual uint32_t RemoveLast();
    virtual uint32_t RemoveCurrent();
    virtual uint32_t RemoveAt(uint32_t i);
    virtual uint32_t Remove(const void* key);
    virtual void* First();
    virtual void* Next();
    virtual void* Prev();
    virtual void* PeekFirst();
    virtual void* Last();
    virtual void* GetAt(uint32_t i);
    virtual void* FindData(const void* key);
    virtual void* Current();
    virtual uint32_t ReplaceAt(uint32_t i, const void* data, size_t size);
    virtual uint32_t SetAt(uint32_t i, const void* data, size_t size);
    // fn must not add or remove elements.
    virtual uint32_t ForEach(ForEachFn fn, void* arg);
    virtual int Equals(const tvList* list);
    virtual int Equals(const tvList& list);
    virtual uint32_t Seek(uint32_t i);
    // Index of the first equal element (the cursor moves to it), 0 when none.
    virtual uint32_t IndexOf(const void* key);
    virtual uint32_t SeekFirst();
    virtual uint32_t SeekLast();
    virtual void* NextCircular();

    ListCore* Core() const { return core_; }

protected:
    // A new element whose data is the address of room zero-filled bytes in its own block, which go
    // with it: the bytes, or null when out of memory. The cursor does not move. A copy of the list,
    // or of the element in its place, holds the address only.
    void* AddRoom(size_t room);
    // The same in a block its caller keeps: node, one of ListCore::NewNode (nullptr, sizeof(void*),
    // room) not in a list, whose room the caller has readied. Null (node left alone) when the list is
    // full.
    void* AddRoomIn(ListNode* node);
    // RemoveNode of the tail without the virtual call: 0, or -1 for an empty list.
    int RemoveTailNode() {
        if (!core_ || core_->UnlinkTail() != 0) return -1;
        changed = 1;
        return 0;
    }
    // RemoveNode without the free: the node is its caller's again. 0, or -1 when it is not in the list.
    int DetachNode(ListNode* node) {
        if (!core_ || core_->Detach(node) != 0) return -1;
        changed = 1;
        return 0;
    }
    // The same for the tail: the node, or null for an empty list.
    ListNode* DetachTailNode() {
        ListNode* node = core_ ? core_->DetachTail() : nullptr;
        if (node) changed = 1;
        return node;
    }

    ListCore* core_ = nullptr;
};
