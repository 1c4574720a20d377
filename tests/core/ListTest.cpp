#include "core/unaList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Probe : unaObject {
    explicit Probe(int* deaths) : deaths_(deaths) {}
    ~Probe() override { ++*deaths_; }
    int* deaths_;
};

void* tag(uintptr_t n) {
    return reinterpret_cast<void*>(n);
}

} // namespace

TEST(List, GrowsAndShrinksWithItsItemsButKeepsItsSlotsWhenRunningEmpty) {
    unaList l;
    EXPECT_EQ(l.capacity(), 0u);
    for (uintptr_t i = 1; i <= 257; ++i)
        EXPECT_EQ(l.add(tag(i)), int32_t(i - 1));
    const uint32_t grown = l.capacity();
    EXPECT_GE(grown, 257u);
    EXPECT_TRUE(l.removeByIndex(0));
    EXPECT_LT(l.capacity(), grown);
    EXPECT_GE(l.capacity(), l.count());
    EXPECT_EQ(l.get(0), tag(2)); // items moved down
    EXPECT_EQ(l.get(255), tag(257));
    l.clear();
    EXPECT_EQ(l.count(), 0u);
    EXPECT_EQ(l.capacity(), 0u);

    // A queue that drains does not reallocate.
    l.add(tag(1));
    l.removeByIndex(0);
    EXPECT_EQ(l.count(), 0u);
    EXPECT_GT(l.capacity(), 0u);
    l.setCapacity(0);
    EXPECT_EQ(l.capacity(), 0u);
}

TEST(List, IndexOfInsertRemoveAndReuse) {
    unaList l;
    l.add(tag(1));
    l.add(tag(2));
    l.add(tag(3));
    EXPECT_EQ(l.indexOf(tag(2)), 1);
    EXPECT_EQ(l.indexOf(tag(9)), -1);
    EXPECT_FALSE(l.removeItem(tag(9)));
    EXPECT_EQ(l.insert(1, tag(7)), 1);
    EXPECT_EQ(l.get(1), tag(7));
    EXPECT_EQ(l.get(2), tag(2));
    EXPECT_EQ(l.insert(4, tag(8)), 4); // at the end
    EXPECT_TRUE(l.removeItem(tag(7)));
    EXPECT_EQ(l.count(), 4u);

    l.setItem(1, nullptr);
    EXPECT_EQ(l.addOrReuse(tag(5)), 1);
    EXPECT_EQ(l.get(1), tag(5));
    EXPECT_EQ(l.addOrReuse(tag(6)), 4);
}

TEST(List, BadIndicesAreRefusedInReleaseBuilds) {
    unaList l;
    l.add(tag(1));
#ifdef NDEBUG
    EXPECT_EQ(l.get(1), nullptr);
    EXPECT_EQ(l.get(-1), nullptr);
    EXPECT_FALSE(l.removeByIndex(5));
    EXPECT_EQ(l.insert(3, tag(2)), -1);
    l.setItem(7, tag(2));
    EXPECT_EQ(l.count(), 1u);
    EXPECT_EQ(l.get(0), tag(1));
#else
    EXPECT_DEATH(l.get(1), "out of range");
#endif
}

TEST(ObjectList, FreesItemsByModeAndAutoFree) {
    int deaths = 0;
    {
        unaObjectList owning(true);
        owning.add(new Probe(&deaths));
        owning.add(new Probe(&deaths));
        owning.add(new Probe(&deaths));
        owning.removeByIndex(0, unaList::relAutoFree);
        EXPECT_EQ(deaths, 1);
        unaObject* kept = owning.get(0);
        owning.removeByIndex(0, unaList::relKeep);
        EXPECT_EQ(deaths, 1);
        delete kept;
        EXPECT_EQ(deaths, 2);
        owning.setItem(0, new Probe(&deaths)); // replaces (and frees) the old one
        EXPECT_EQ(deaths, 3);
        owning.clear(unaList::relAutoFree);
        EXPECT_EQ(deaths, 4);
        owning.add(new Probe(&deaths)); // freed by the list's destructor
    }
    EXPECT_EQ(deaths, 5);

    deaths = 0;
    Probe a(&deaths), b(&deaths);
    {
        unaObjectList borrowing(false);
        borrowing.add(&a);
        borrowing.add(&b);
        borrowing.removeByIndex(0, unaList::relAutoFree);
        borrowing.clear(unaList::relAutoFree);
        EXPECT_EQ(deaths, 0);
        auto* c = new Probe(&deaths);
        borrowing.add(c);
        borrowing.clear(unaList::relFree); // mode 1 frees regardless
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 1);
}

TEST(List, ConcurrentAddersLoseNothing) {
    unaList l;
    constexpr int kThreads = 4, kEach = 5000;
    std::vector<std::thread> ts;
    for (int t = 0; t < kThreads; ++t)
        ts.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                l.add(tag(uintptr_t(t * kEach + i + 1)));
                if (i % 7 == 0)
                    l.removeItem(tag(uintptr_t(t * kEach + i + 1)));
            }
        });
    for (auto& t : ts)
        t.join();
    int expected = 0;
    for (int i = 0; i < kEach; ++i)
        expected += (i % 7 == 0) ? 0 : 1;
    EXPECT_EQ(l.count(), uint32_t(expected * kThreads));
    l.lock();
    for (uint32_t i = 0; i < l.count(); ++i)
        EXPECT_NE(l.get(int32_t(i)), nullptr);
    l.unlock();
}
