#include "platform/audio/RingQueue.h"

#include <gtest/gtest.h>

TEST(RingQueue, KeepsFirstInFirstOutAcrossWrapsAndGrowth) {
    RingQueue<int> q;
    int next = 0, expect = 0;
    // Interleave pushes and pops so the ring wraps many times while it grows.
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < round * 7 + 3; ++i)
            q.push_back(next++);
        for (int i = 0; i < round * 5 + 1 && !q.empty(); ++i) {
            ASSERT_EQ(q.front(), expect++);
            q.pop_front();
        }
    }
    ASSERT_EQ(q.size(), size_t(next - expect));
    for (size_t i = 0; i < q.size(); ++i)
        ASSERT_EQ(q[i], expect + int(i));
}

TEST(RingQueue, EraseFrontClampsAndReservedPushesFit) {
    RingQueue<float> q;
    q.reserveMore(100);
    for (int i = 0; i < 100; ++i)
        q.push_unchecked(float(i));
    q.eraseFront(30);
    EXPECT_EQ(q.size(), 70u);
    EXPECT_EQ(q.front(), 30.0f);
    q.eraseFront(1000);
    EXPECT_TRUE(q.empty());
    q.push_back(5.0f);
    EXPECT_EQ(q.front(), 5.0f);
}

TEST(RingQueue, ExtendHandsOutBothSpansWhenTheRingWraps) {
    RingQueue<int> q;
    int next = 0, expect = 0;
    bool wrapped = false;
    for (int round = 0; round < 40; ++round) {
        const size_t n = size_t(round % 9) * 11 + 1;
        auto spans = q.extend(n);
        ASSERT_EQ(spans.firstCount + spans.secondCount, n);
        wrapped |= spans.secondCount > 0;
        for (size_t i = 0; i < spans.firstCount; ++i)
            spans.first[i] = next++;
        for (size_t i = 0; i < spans.secondCount; ++i)
            spans.second[i] = next++;
        q.eraseFront(n * 3 / 4);
        expect += int(n * 3 / 4);
    }
    EXPECT_TRUE(wrapped);
    ASSERT_EQ(q.size(), size_t(next - expect));
    for (size_t i = 0; i < q.size(); ++i)
        ASSERT_EQ(q[i], expect + int(i));
}
