#include "core/unaFileStream.h"
#include "core/unaUtils.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(FileStream, WritesReadsAndTracksSizeAndPosition) {
    const std::string path = scratchFile("fs_rw");
    unaFileStream f(path);
    ASSERT_TRUE(f.isValid());
    EXPECT_EQ(f.getSize(), 0);
    EXPECT_EQ(f.write("0123456789", 10), 10u);
    EXPECT_EQ(f.getSize(), 10);
    EXPECT_EQ(f.getPosition(), 10);
    EXPECT_EQ(f.getAvailableSize(), 0u);
    EXPECT_EQ(f.seek(2), 2);
    char buf[16] = {};
    EXPECT_EQ(f.read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "234");
    EXPECT_EQ(f.getPosition(), 5);
    EXPECT_EQ(f.getAvailableSize(), 5u);
    EXPECT_EQ(f.read(buf, 16), 5u);  // a short read counts what came
    EXPECT_EQ(f.seek(-4, false), 6); // from the end
    f.clear();
    EXPECT_EQ(f.getSize(), 0);
    EXPECT_EQ(f.getPosition(), 0);
    f.close();
    EXPECT_FALSE(f.isValid());
    EXPECT_EQ(f.write("x", 1), 0u);
    EXPECT_EQ(f.read(buf, 1), 0u);
    std::remove(path.c_str());
}

TEST(FileStream, PeekLeavesThePositionAndSeekRelativeStopsAtZero) {
    const std::string path = scratchFile("fs_peek");
    ASSERT_EQ(AppendToFile(path, "abcdefgh", 8), 0);
    unaFileStream f(path, false);
    ASSERT_TRUE(f.isValid());
    EXPECT_EQ(f.getSize(), 8);
    EXPECT_EQ(f.getPosition(), 0);
    f.seek(3);
    char buf[8] = {};
    EXPECT_EQ(f.read(buf, 4, false), 4u);
    EXPECT_EQ(std::string(buf, 4), "defg");
    EXPECT_EQ(f.getPosition(), 3);
    EXPECT_EQ(f.seekRelative(2), 5);
    EXPECT_EQ(f.seekRelative(-100), 0);
    std::remove(path.c_str());
}

TEST(FileStream, LoopWrapsReadsAroundTheEnd) {
    const std::string path = scratchFile("fs_loop");
    ASSERT_EQ(AppendToFile(path, "abcde", 5), 0);
    unaFileStream f(path, true);
    ASSERT_TRUE(f.isValid());
    EXPECT_EQ(f.getAvailableSize(), 5u);
    f.seek(3);
    char buf[16] = {};
    EXPECT_EQ(f.read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "deab");
    EXPECT_EQ(f.getPosition(), 2);
    EXPECT_EQ(f.read(buf, 12), 12u); // wraps more than once
    EXPECT_EQ(std::string(buf, 12), "cdeabcdeabcd");
    // a peek across the end leaves the position where it was
    EXPECT_EQ(f.read(buf, 4, false), 4u);
    EXPECT_EQ(std::string(buf, 4), "eabc");
    EXPECT_EQ(f.getPosition(), 4);
    f.clear();
    EXPECT_EQ(f.read(buf, 4), 0u); // empty looping file: no endless wrap
    std::remove(path.c_str());
}

TEST(FileStream, OpenFailuresAndShareModes) {
    unaFileStream missingDir(scratchFile("fs_nodir") + "/x/y.wav");
    EXPECT_FALSE(missingDir.isValid());
    char c;
    EXPECT_EQ(missingDir.read(&c, 1), 0u);

    const std::string path = scratchFile("fs_share");
    unaFileStream exclusive(path, false, FILE_SHARE_READ, GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(exclusive.isValid());
    unaFileStream second(path, false, FILE_SHARE_READ, GENERIC_READ | GENERIC_WRITE);
    EXPECT_FALSE(second.isValid()); // not shared for writing
    unaFileStream shared(path);     // shares read and write: no lock wanted
    EXPECT_TRUE(shared.isValid());
    exclusive.close();
    EXPECT_TRUE(second.open(path, GENERIC_READ | GENERIC_WRITE, false, FILE_SHARE_READ));
    std::remove(path.c_str());
}

TEST(FileStream, SizesAndPositionsPastTwoAndFourGiBStayExact) {
    const std::string path = scratchFile("fs_big");
    unaFileStream f(path);
    ASSERT_TRUE(f.isValid());
    // A sparse file: the disk holds only the few bytes written.
    const int64_t past4 = (int64_t(1) << 32) + 123;
    EXPECT_EQ(f.seek(past4), past4);
    ASSERT_EQ(f.write("tail", 4), 4u);
    EXPECT_EQ(f.getSize(), past4 + 4);
    EXPECT_EQ(f.getPosition(), past4 + 4);
    EXPECT_EQ(f.seekRelative(-(int64_t(1) << 31) - 4), past4 - (int64_t(1) << 31));
    EXPECT_EQ(f.getAvailableSize(), uint32_t((int64_t(1) << 31) + 4));

    // A positioned write leaves the position where it was.
    EXPECT_EQ(f.writeAt(0, "head", 4), 4u);
    EXPECT_EQ(f.getPosition(), past4 - (int64_t(1) << 31));
    char buf[4];
    f.seek(0);
    ASSERT_EQ(f.read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "head");
    f.seek(past4);
    ASSERT_EQ(f.read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "tail");
    f.close();
    std::remove(path.c_str());
}
