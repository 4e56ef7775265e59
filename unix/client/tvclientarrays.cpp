#include "unix/client/tvclientarrays.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

char* CopyText(const char* text, size_t length) {
    char* copy = static_cast<char*>(malloc(length + 1));
    if (copy == nullptr) return nullptr;
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

} // namespace

StringArray::StringArray(StringArray&& other) noexcept
    : count_(std::exchange(other.count_, 0)), items_(std::exchange(other.items_, nullptr)) {}

StringArray& StringArray::operator=(StringArray&& other) noexcept {
    if (this != &other) {
        Reset(0);
        count_ = std::exchange(other.count_, 0);
        items_ = std::exchange(other.items_, nullptr);
    }
    return *this;
}

int StringArray::Reset(int count) {
    for (int i = 0; i < count_; ++i) free(items_[i]);
    free(items_);
    items_ = nullptr;
    count_ = 0;
    if (count <= 0) return count == 0 ? 0 : -1;
    items_ = static_cast<char**>(calloc(static_cast<size_t>(count), sizeof(char*)));
    if (items_ == nullptr) return -1;
    count_ = count;
    return 0;
}

const char* StringArray::Item(int index) const {
    return index >= 0 && index < count_ ? items_[index] : nullptr;
}

int StringArray::SetItem(int index, const char* text, size_t length) {
    if (index < 0 || index >= count_ || text == nullptr) return -1;
    char* copy = CopyText(text, length);
    if (copy == nullptr) return -1;
    free(items_[index]);
    items_[index] = copy;
    return 0;
}

int StringArray::SetItem(int index, const char* text) {
    return text == nullptr ? -1 : SetItem(index, text, strlen(text));
}

int NamePair::Set(const char* name, const char* value) {
    Clear();
    if (name == nullptr || value == nullptr) return -1;
    name_ = CopyText(name, strlen(name));
    if (name_ == nullptr) return -1;
    value_ = CopyText(value, strlen(value));
    if (value_ == nullptr) {
        Clear();
        return -1;
    }
    return 0;
}

void NamePair::Clear() {
    free(name_);
    free(value_);
    name_ = nullptr;
    value_ = nullptr;
}

NamePairArray::NamePairArray(NamePairArray&& other) noexcept
    : pairs_(std::exchange(other.pairs_, nullptr)), count_(std::exchange(other.count_, 0)) {}

NamePairArray& NamePairArray::operator=(NamePairArray&& other) noexcept {
    if (this != &other) {
        Reset(0);
        pairs_ = std::exchange(other.pairs_, nullptr);
        count_ = std::exchange(other.count_, 0);
    }
    return *this;
}

int NamePairArray::Reset(int count) {
    for (int i = 0; i < count_; ++i) pairs_[i].~NamePair();
    free(pairs_);
    pairs_ = nullptr;
    count_ = 0;
    if (count <= 0) return count == 0 ? 0 : -1;
    void* storage = calloc(static_cast<size_t>(count), sizeof(NamePair));
    if (storage == nullptr) return -1;
    pairs_ = static_cast<NamePair*>(storage);
    for (int i = 0; i < count; ++i) new (&pairs_[i]) NamePair();
    count_ = count;
    return 0;
}

NamePair* NamePairArray::Pair(int index) {
    return index >= 0 && index < count_ ? &pairs_[index] : nullptr;
}

const NamePair* NamePairArray::Pair(int index) const {
    return index >= 0 && index < count_ ? &pairs_[index] : nullptr;
}
