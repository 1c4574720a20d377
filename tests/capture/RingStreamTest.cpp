// The RIFF writer's queue: bytes come out in the order they went in across
// the ring's end and across growth, and a steady flow stops growing it.
#include "capture/RingStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<uint8_t> counting(uint32_t n, uint8_t& next) {
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v)
        b = next++;
    return v;
}

} // namespace

TEST(RingStreamTest, KeepsOrderAcrossTheRingsEndAndWhileGrowingWrapped) {
    RingStream q(10);
    uint8_t in = 0, out = 0;
    std::vector<uint8_t> got(64);
    // Move the start near the end of the ring, then wrap.
    ASSERT_EQ(q.write(counting(7, in).data(), 7), 7u);
    ASSERT_EQ(q.read(got.data(), 6), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(got[i], out++);
    ASSERT_EQ(q.write(counting(8, in).data(), 8), 8u); // wraps: 9 held
    EXPECT_EQ(q.capacity(), 10u);
    // Grows while wrapped; a peek leaves the bytes where they are.
    ASSERT_EQ(q.write(counting(15, in).data(), 15), 15u);
    EXPECT_EQ(q.capacity(), 40u);
    EXPECT_EQ(q.getAvailableSize(), 24u);
    ASSERT_EQ(q.read(got.data(), 3, false), 3u);
    EXPECT_EQ(got[0], out);
    ASSERT_EQ(q.read(got.data(), 64), 24u);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(got[i], out++) << i;
    EXPECT_EQ(q.getSize(), 0);

    // A steady flow of blocks, with a backlog now and then, stays in the
    // ring it has; clear keeps it too.
    for (int round = 0; round < 50; ++round) {
        const int backlog = round % 5 == 0 ? 3 : 1;
        for (int b = 0; b < backlog; ++b)
            ASSERT_EQ(q.write(counting(9, in).data(), 9), 9u);
        for (int b = 0; b < backlog; ++b) {
            ASSERT_EQ(q.read(got.data(), 9), 9u);
            for (int i = 0; i < 9; ++i)
                ASSERT_EQ(got[i], out++);
        }
    }
    EXPECT_EQ(q.capacity(), 40u);
    q.write(got.data(), 5);
    q.clear();
    EXPECT_EQ(q.getSize(), 0);
    EXPECT_EQ(q.read(got.data(), 5), 0u);
    EXPECT_EQ(q.capacity(), 40u);
}
