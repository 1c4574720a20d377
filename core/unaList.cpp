#include "core/unaList.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
uint32_t roundUp(uint32_t n) {
    return (n + unaList::kStep - 1) / unaList::kStep * unaList::kStep;
}
} // namespace

unaList::unaList(bool singleThreaded) : singleThreaded_(singleThreaded) {}

unaList::~unaList() {
    // Derived lists have released their items in their own destructors.
    std::free(items_);
}

int32_t unaList::indexOf(const void* item) {
    Locker l(*this);
    for (uint32_t i = 0; i < count_; ++i)
        if (items_[i] == item)
            return int32_t(i);
    return -1;
}

void unaList::setCapacity(uint32_t n) {
    Locker l(*this);
    const uint32_t cap = roundUp(n);
    if (cap == capacity_)
        return;
    if (cap == 0) {
        std::free(items_);
        items_ = nullptr;
        capacity_ = 0;
        return;
    }
    void** grown = static_cast<void**>(std::realloc(items_, size_t(cap) * sizeof(void*)));
    if (!grown)
        throw std::bad_alloc();
    if (cap > capacity_)
        std::memset(grown + capacity_, 0, size_t(cap - capacity_) * sizeof(void*));
    items_ = grown;
    capacity_ = cap;
}

int32_t unaList::add(void* item) {
    Locker l(*this);
    const uint32_t index = count_;
    if (roundUp(count_ + 1) != capacity_)
        setCapacity(count_ + 1);
    ++count_;
    setItem(int32_t(index), item, relAutoFree);
    return int32_t(index);
}

int32_t unaList::insert(int32_t index, void* item) {
    Locker l(*this);
    assert(index >= 0 && uint32_t(index) <= count_ && "list insert index out of range");
    if (index < 0 || uint32_t(index) > count_)
        return -1;
    setCapacity(count_ + 1);
    std::memmove(items_ + index + 1, items_ + index,
                 size_t(count_ - uint32_t(index)) * sizeof(void*));
    items_[index] = item;
    ++count_;
    return index;
}

void unaList::setItem(int32_t index, void* item, uint32_t mode) {
    Locker l(*this);
    assert(validIndex(index) && "list index out of range");
    if (!validIndex(index))
        return;
    releaseItem(index, mode);
    items_[index] = item;
}

bool unaList::removeByIndex(int32_t index, uint32_t mode) {
    Locker l(*this);
    assert(validIndex(index) && "list index out of range");
    if (!validIndex(index))
        return false;
    beforeRemove(index);
    releaseItem(index, mode);
    std::memmove(items_ + index, items_ + index + 1,
                 size_t(count_ - uint32_t(index) - 1) * sizeof(void*));
    items_[count_ - 1] = nullptr;
    --count_;
    shrinkTo(count_);
    return true;
}

bool unaList::removeItem(const void* item, uint32_t mode) {
    Locker l(*this);
    const int32_t index = indexOf(item);
    return index >= 0 && removeByIndex(index, mode);
}

void unaList::clear(uint32_t mode) {
    Locker l(*this);
    while (count_ > 0) {
        beforeRemove(int32_t(count_ - 1));
        releaseItem(int32_t(count_ - 1), mode);
        items_[count_ - 1] = nullptr;
        --count_;
    }
    setCapacity(0);
}

int32_t unaList::addOrReuse(void* item) {
    Locker l(*this);
    for (uint32_t i = 0; i < count_; ++i) {
        if (!items_[i]) {
            setItem(int32_t(i), item, relAutoFree);
            return int32_t(i);
        }
    }
    return add(item);
}

void unaList::releaseItem(int32_t, uint32_t) {}

void unaList::beforeRemove(int32_t) {}

// --- unaObjectList ------------------------------------------------------------

unaObjectList::unaObjectList(bool autoFree, bool singleThreaded) : unaList(singleThreaded) {
    setAutoFree(autoFree);
}

unaObjectList::~unaObjectList() {
    // Release here, while releaseItem still resolves to this class.
    clear(relAutoFree);
}

void unaObjectList::releaseItem(int32_t index, uint32_t mode) {
    if (!validIndex(index))
        return;
    void*& slot = items()[index];
    unaObject* object = static_cast<unaObject*>(slot);
    slot = nullptr;
    if (object && (mode == relFree || (mode == relAutoFree && autoFree())))
        delete object;
}
