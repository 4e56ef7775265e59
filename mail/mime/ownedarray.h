// The owned pointer array of the component classes that hold a list of children (fields, body
// parts, parameters, addresses, words).
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <new>

// Slots 0 to Count() - 1 hold the items in order, the rest are null. The array starts with
// kFirstCapacity slots and doubles when an item is added to a full one (an array of 0 slots,
// left by a failed first allocation, grows to kFirstCapacity); when growing fails the item is
// not taken. Parent links and modified marks are the owning class's business. The first slots are
// allocated with the first item: most arrays of a parsed message (the parts of a leaf body, the
// parameters of a field) stay empty.
template <class T, int kFirstCapacity = 10> class DwOwnedArray {
public:
    DwOwnedArray() = default;
    DwOwnedArray(const DwOwnedArray&) = delete;
    DwOwnedArray& operator=(const DwOwnedArray&) = delete;
    ~DwOwnedArray() {
        DeleteAll();
        Release();
    }

    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    bool IsIndex(int index) const { return index >= 0 && index < count_; }
    // index must satisfy IsIndex.
    T* At(int index) const { return slots_[index]; }

    // Puts item at index, clamped to 0..Count(); later items move up. False (item not taken)
    // when the array is full and cannot grow.
    bool InsertAt(int index, T* item) {
        if (!slots_ && !Allocate()) return false;
        if (count_ == capacity_ && !Grow()) return false;
        if (index < 0) index = 0;
        if (index > count_) index = count_;
        for (int i = count_; i > index; --i) slots_[i] = slots_[i - 1];
        slots_[index] = item;
        ++count_;
        return true;
    }
    bool Append(T* item) {
        // Parsing appends every item it makes to an array that has room.
        if (!slots_ && !Allocate()) return false;
        if (count_ < capacity_) {
            slots_[count_++] = item;
            return true;
        }
        return InsertAt(count_, item);
    }
    // Makes the first slots, when they are still to be made, room for count items (at least one).
    void ReserveFirst(int count) {
        if (!slots_ && capacity_ != 0 && count > 0) capacity_ = count;
    }

    // Takes the item at index out (later items move down) and hands it to the caller; null for
    // an index outside the array.
    T* RemoveAt(int index) {
        if (!IsIndex(index)) return nullptr;
        T* item = slots_[index];
        for (int i = index; i + 1 < count_; ++i) slots_[i] = slots_[i + 1];
        slots_[--count_] = nullptr;
        return item;
    }

    // Deletes, in one pass, every item for which pred (which must not throw) holds; the others keep
    // their order. The number deleted.
    template <class Pred> int DeleteIf(Pred pred) {
        int kept = 0;
        for (int i = 0; i < count_; ++i) {
            T* item = slots_[i];
            if (pred(*item)) {
                delete item;
            } else {
                slots_[kept++] = item;
            }
        }
        const int deleted = count_ - kept;
        for (int i = kept; i < count_; ++i) slots_[i] = nullptr;
        count_ = kept;
        return deleted;
    }

    // Deletes the items from the last to the first.
    void DeleteAll() {
        while (count_ > 0) {
            T* item = slots_[--count_];
            slots_[count_] = nullptr;
            delete item;
        }
    }

private:
    // The first slots, when an array that never failed to allocate takes its first item.
    bool Allocate() {
        if (capacity_ == 0) return true;
        if (capacity_ == 1) {
            slots_ = &single_;
            return true;
        }
        slots_ = new (std::nothrow) T*[capacity_]();
        if (slots_) return true;
        capacity_ = 0;
        return false;
    }

    void Release() {
        if (slots_ != &single_) delete[] slots_;
    }

    bool Grow() {
        // Twice the slots must still be counted by an int and sized by a size_t.
        if (capacity_ > INT_MAX / 2 || size_t(capacity_) * 2 > SIZE_MAX / sizeof(T*)) return false;
        int capacity = capacity_ ? capacity_ * 2 : kFirstCapacity;
        T** slots = new (std::nothrow) T*[capacity]();
        if (!slots) return false;
        for (int i = 0; i < count_; ++i) slots[i] = slots_[i];
        Release();
        slots_ = slots;
        capacity_ = capacity;
        return true;
    }

    // A block of slots, or single_ for an array reserved for one item (a header block of one
    // field, a field body of one parameter): that takes no block at all.
    T** slots_ = nullptr;
    T* single_ = nullptr;
    int count_ = 0;
    // Counted before the slots exist.
    int capacity_ = kFirstCapacity;
};
