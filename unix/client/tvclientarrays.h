#pragma once
// The answers of the client library's requests: arrays of texts and of name/value pairs.
//
// Texts are owned C strings; a slot that was never set holds null. Storage comes from the C allocator
// so that a failed allocation is an answer (-1), not an exception.

#include <cstddef>

class StringArray {
public:
    StringArray() = default;
    ~StringArray() { Reset(0); }
    StringArray(StringArray&& other) noexcept;
    StringArray& operator=(StringArray&& other) noexcept;
    StringArray(const StringArray&) = delete;
    StringArray& operator=(const StringArray&) = delete;

    // Frees every item, then holds `count` null items; -1 (and empty) when out of memory.
    int Reset(int count);
    int Count() const { return count_; }
    // Null for an item never set or an index outside the array.
    const char* Item(int index) const;
    // Replaces item `index` by a copy of `text` (`length` bytes, a NUL is added); 0 or -1.
    int SetItem(int index, const char* text, size_t length);
    int SetItem(int index, const char* text);

private:
    int count_ = 0;
    char** items_ = nullptr;
};

class NamePair {
public:
    NamePair() = default;
    ~NamePair() { Clear(); }
    NamePair(const NamePair&) = delete;
    NamePair& operator=(const NamePair&) = delete;

    // Replaces both texts by copies; when either copy cannot be made the pair stays empty (-1).
    int Set(const char* name, const char* value);
    void Clear();
    const char* Name() const { return name_; }
    const char* Value() const { return value_; }

private:
    char* name_ = nullptr;
    char* value_ = nullptr;
};

class NamePairArray {
public:
    NamePairArray() = default;
    ~NamePairArray() { Reset(0); }
    NamePairArray(NamePairArray&& other) noexcept;
    NamePairArray& operator=(NamePairArray&& other) noexcept;
    NamePairArray(const NamePairArray&) = delete;
    NamePairArray& operator=(const NamePairArray&) = delete;

    // Frees all pairs, then holds `count` empty ones; -1 (and empty) when out of memory.
    int Reset(int count);
    void Clear() { Reset(0); }
    int Count() const { return count_; }
    // Null for an index outside the array.
    NamePair* Pair(int index);
    const NamePair* Pair(int index) const;

private:
    NamePair* pairs_ = nullptr;
    int count_ = 0;
};
