// unaList: a growable array of pointers guarded by its own gate, and
// unaObjectList, which can own (destroy) the objects it holds.
//
// Capacity moves in steps of 256 slots; slots at count() and beyond are
// always null. Every operation takes the list's gate (without limit) unless
// the list is single-threaded, in which case its owner serialises access.
// Callers that iterate hold lock()/unlock() around the loop.
//
// The release protocol: whenever a slot gives up its item (setItem over it,
// removeByIndex, clear) releaseItem(index, mode) is called first. The base
// list only forgets the pointer; unaObjectList destroys the object for
// mode 1, and for mode 2 when autoFree is set.
//
// Indices run from 0 to count() - 1 (add, insert and addOrReuse excepted).
// An index outside that range is a programming error: it asserts in debug
// builds; in release builds the call does nothing and returns null, false
// or -1.
//
// Any thread may call a list that is not single-threaded.
#pragma once

#include "core/unaGate.h"
#include "core/unaObject.h"

#include <cassert>
#include <cstdint>

class unaList : public unaObject {
public:
    // Release modes.
    enum : uint32_t {
        relKeep = 0,     // never destroy
        relFree = 1,     // always destroy (object lists)
        relAutoFree = 2, // destroy when autoFree is set (object lists)
    };

    // Capacity moves in steps of this many slots.
    static constexpr uint32_t kStep = 256;

    explicit unaList(bool singleThreaded = false);
    ~unaList() override;

    bool lock(uint32_t timeout = INFINITE_TIMEOUT) {
        return singleThreaded_ ? true : gate_.enter(timeout);
    }
    void unlock() {
        if (!singleThreaded_)
            gate_.leave();
    }

    uint32_t count() const { return count_; }
    uint32_t capacity() const { return capacity_; }
    bool autoFree() const { return autoFree_; }
    void setAutoFree(bool value) { autoFree_ = value; }
    bool singleThreaded() const { return singleThreaded_; }

    // Item of a slot; null for an empty slot or a bad index.
    void* get(int32_t index) {
        Locker l(*this);
        assert(validIndex(index) && "list index out of range");
        return validIndex(index) ? items_[index] : nullptr;
    }
    void* operator[](int32_t index) { return get(index); }

    // Index of the first slot holding exactly item, or -1.
    int32_t indexOf(const void* item);

    // Stores item at index, releasing the old one with mode 2.
    void setItem(int32_t index, void* item) { setItem(index, item, relAutoFree); }

    bool removeByIndex(int32_t index, uint32_t mode = relAutoFree);
    // indexOf, then removeByIndex; false when the item is absent.
    bool removeItem(const void* item, uint32_t mode = relAutoFree);
    void clear(uint32_t mode = relAutoFree);

    // Stores item in the first empty slot below count(), else appends it.
    int32_t addOrReuse(void* item);

    // Slot 1: capacity becomes n rounded up to a multiple of 256.
    virtual void setCapacity(uint32_t n);
    // Slot 4: appends item, returns its index.
    virtual int32_t add(void* item);
    // Slot 5: moves the items from index on up by one and stores item there
    // (nothing is released). index may equal count(). -1 for a bad index.
    virtual int32_t insert(int32_t index, void* item);
    // Slot 6: releases the old item with mode, then stores item.
    virtual void setItem(int32_t index, void* item, uint32_t mode);

protected:
    // Slot 2: gives up the item of a slot; the base list does nothing.
    virtual void releaseItem(int32_t index, uint32_t mode);
    // Slot 3: called before a slot is removed; the base list does nothing.
    virtual void beforeRemove(int32_t index);

    bool validIndex(int32_t index) const { return index >= 0 && uint32_t(index) < count_; }
    void** items() { return items_; }

    // Capacity to keep after a removal: count rounded up, never below one
    // step, so a queue that runs empty and fills again keeps its slot array.
    // Only clear() and setCapacity(0) free the array.
    void shrinkTo(uint32_t n) {
        const uint32_t keep = n < kStep ? kStep : n;
        if ((keep + kStep - 1) / kStep * kStep != capacity_)
            setCapacity(keep);
    }

    class Locker {
    public:
        explicit Locker(unaList& list) : list_(list) { list_.lock(); }
        ~Locker() { list_.unlock(); }
        Locker(const Locker&) = delete;
        Locker& operator=(const Locker&) = delete;

    private:
        unaList& list_;
    };

private:
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    bool autoFree_ = false;
    const bool singleThreaded_;
    void** items_ = nullptr;
    unaInProcessGate gate_;
};

// A list of unaObject pointers that destroys its items on release when asked
// (mode 1) or when autoFree is set (mode 2).
class unaObjectList : public unaList {
public:
    explicit unaObjectList(bool autoFree = true, bool singleThreaded = false);
    ~unaObjectList() override;

    unaObject* get(int32_t index) { return static_cast<unaObject*>(unaList::get(index)); }
    unaObject* operator[](int32_t index) { return get(index); }

protected:
    void releaseItem(int32_t index, uint32_t mode) override;
};
