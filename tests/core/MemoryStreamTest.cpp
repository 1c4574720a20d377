#include "core/unaStream.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

namespace {
std::vector<uint8_t> bytes(size_t n, uint8_t first = 0) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}
} // namespace

TEST(MemoryStream, PartialReadRecyclesEmptiedChunksAndWritesReuseThem) {
    unaMemoryStream s;
    EXPECT_TRUE(s.isValid());
    auto block = bytes(100);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(s.write(block.data(), 100), 100u);
    EXPECT_EQ(s.getSize(), 300);
    EXPECT_EQ(s.chunkCount(), 3u);

    std::vector<uint8_t> out(300);
    EXPECT_EQ(s.read(out.data(), 250), 250u);
    EXPECT_EQ(s.getSize(), 50);
    EXPECT_EQ(s.getAvailableSize(), 50u);
    EXPECT_EQ(s.spareChunkCount(), 2u);
    EXPECT_EQ(s.chunkCount(), 1u);
    EXPECT_EQ(s.firstChunkRemaining(), 50u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[100], 0);
    EXPECT_EQ(out[249], 49);

    EXPECT_EQ(s.write(block.data(), 100), 100u);
    EXPECT_EQ(s.spareChunkCount(), 1u); // taken from the pool
    EXPECT_EQ(s.chunkCount(), 2u);
    EXPECT_EQ(s.read(out.data(), 1000), 150u); // never more than held
    EXPECT_EQ(out[0], 50);
    EXPECT_EQ(out[50], 0);
    EXPECT_EQ(s.getSize(), 0);
    EXPECT_EQ(s.firstChunkRemaining(), 0u);
}

TEST(MemoryStream, PeeksNullBlocksAndEmptyReads) {
    unaMemoryStream s;
    EXPECT_EQ(s.write(nullptr, 40), 40u);
    EXPECT_EQ(s.write("abc", 0), 0u);
    EXPECT_EQ(s.getSize(), 0);
    s.write("hello", 5);
    s.write(" world", 6);
    char buf[16] = {};
    EXPECT_EQ(s.read(buf, 8, false), 8u);
    EXPECT_EQ(std::string(buf, 8), "hello wo");
    EXPECT_EQ(s.getSize(), 11);
    EXPECT_EQ(s.spareChunkCount(), 0u);
    EXPECT_EQ(s.read(buf, 0), 0u);
    EXPECT_EQ(s.read(nullptr, 5), 0u);
    EXPECT_EQ(s.getSize(), 11);
    EXPECT_EQ(s.read(buf, 16), 11u);
    EXPECT_EQ(std::string(buf, 11), "hello world");
    EXPECT_EQ(s.seek(5), 0);
    EXPECT_EQ(s.getPosition(), 0);
}

TEST(MemoryStream, FullPoolKeepsTheLargestBuffers) {
    unaMemoryStream s;
    auto small = bytes(100), large = bytes(200), tiny = bytes(50);
    for (int i = 0; i < 50; ++i)
        s.write(small.data(), 100);
    s.write(large.data(), 200);
    std::vector<uint8_t> out(100000);
    EXPECT_EQ(s.read(out.data(), uint32_t(out.size())), 5200u);
    ASSERT_EQ(s.spareChunkCount(), 50u);
    uint32_t sizes[50];
    ASSERT_EQ(s.spareChunkSizes(sizes, 50), 50u);
    EXPECT_EQ(sizes[0], 200u); // the 51st replaced the first smaller one
    EXPECT_EQ(sizes[1], 100u);

    // 50 writes empty the pool, the 51st makes a new 50-byte chunk, which is
    // freed when it comes back to a full pool of larger buffers.
    for (int i = 0; i < 51; ++i)
        s.write(tiny.data(), 50);
    EXPECT_EQ(s.spareChunkCount(), 0u);
    EXPECT_EQ(s.read(out.data(), uint32_t(out.size())), 2550u);
    ASSERT_EQ(s.spareChunkSizes(sizes, 50), 50u);
    uint32_t total = 0;
    for (uint32_t v : sizes)
        total += v;
    EXPECT_EQ(total, 200u + 49u * 100u);
}

TEST(MemoryStream, ClearPoolsEveryChunkWithoutLimit) {
    unaMemoryStream s;
    auto b = bytes(10);
    for (int i = 0; i < 60; ++i)
        s.write(b.data(), 10);
    s.clear();
    EXPECT_EQ(s.getSize(), 0);
    EXPECT_EQ(s.chunkCount(), 0u);
    EXPECT_EQ(s.spareChunkCount(), 60u);
}

TEST(MemoryStream, WriterAndReaderThreadsKeepByteOrder) {
    unaMemoryStream s;
    constexpr uint32_t kTotal = 4'000'000;
    std::thread writer([&] {
        std::mt19937 rng(1);
        std::vector<uint8_t> buf(20000);
        uint32_t sent = 0;
        while (sent < kTotal) {
            const uint32_t n = std::min<uint32_t>(kTotal - sent, 1 + rng() % 17640);
            for (uint32_t i = 0; i < n; ++i)
                buf[i] = uint8_t((sent + i) * 7 + ((sent + i) >> 8));
            ASSERT_EQ(s.write(buf.data(), n), n);
            sent += n;
        }
    });
    std::mt19937 rng(2);
    std::vector<uint8_t> buf(30000);
    uint32_t got = 0;
    bool inOrder = true;
    while (got < kTotal && inOrder) {
        const uint32_t n = s.read(buf.data(), 1 + rng() % 30000);
        for (uint32_t i = 0; i < n; ++i)
            if (buf[i] != uint8_t((got + i) * 7 + ((got + i) >> 8))) {
                inOrder = false;
                break;
            }
        got += n;
        if (n == 0)
            std::this_thread::yield();
    }
    writer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(got, kTotal);
    EXPECT_EQ(s.getSize(), 0);
    EXPECT_LE(s.spareChunkCount(), s.maxSpareChunks());
}
