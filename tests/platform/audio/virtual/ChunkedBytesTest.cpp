#include "platform/audio/virtual/ChunkedBytes.h"

#include <gtest/gtest.h>

TEST(ChunkedBytes, KeepsEveryByteInOrderAcrossBlockEdges) {
    ChunkedBytes store;
    std::vector<uint8_t> expected;
    // Odd piece sizes, one larger than a whole block, so pieces straddle edges.
    const size_t pieces[] = {1, 4607, ChunkedBytes::kBlock - 4608, 3, ChunkedBytes::kBlock + 17, 5};
    uint8_t next = 0;
    for (size_t n : pieces) {
        std::vector<uint8_t> piece(n);
        for (auto& b : piece)
            b = next++ * 7 + 3;
        store.append(piece.data(), piece.size());
        expected.insert(expected.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(store.size(), expected.size());
    EXPECT_TRUE(store.toVector() == expected);

    store.clear();
    EXPECT_EQ(store.size(), 0u);
    EXPECT_TRUE(store.toVector().empty());
    const uint8_t again[] = {9, 8, 7};
    store.append(again, 3);
    EXPECT_EQ(store.toVector(), std::vector<uint8_t>({9, 8, 7}));
}
