#include "core/unaMappedMemory.h"
#include "core/unaUtils.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
long fileSize(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? long(st.st_size) : -1;
}
} // namespace

TEST(MappedMemory, NamedBlockIsSharedBetweenObjectsAndRemovedByItsCreator) {
    const std::string name = "test/" + std::to_string(::getpid()) + " map";
    EXPECT_EQ(unaMappedMemory::safeShmName(name).find('/', 1), std::string::npos);
    {
        unaMappedMemory creator(name, true, true, PAGE_READWRITE, 4096);
        ASSERT_TRUE(creator.isOpen());
        EXPECT_EQ(creator.size(), 4096u);
        EXPECT_FALSE(creator.open(PAGE_READWRITE)); // already open
        std::memcpy(creator.data(), "shared", 7);

        unaMappedMemory reader(name, false, true, PAGE_READONLY);
        ASSERT_TRUE(reader.isOpen());
        EXPECT_EQ(reader.size(), 4096u);
        EXPECT_STREQ(static_cast<const char*>(reader.data()), "shared");
    }
    unaMappedMemory gone(name, false, true, PAGE_READONLY);
    EXPECT_FALSE(gone.isOpen());
    EXPECT_EQ(gone.data(), nullptr);

    unaMappedMemory anonymous("", true, true, PAGE_READWRITE, 64);
    EXPECT_TRUE(anonymous.isOpen());
    unaMappedMemory noSize("", true, true, PAGE_READWRITE, 0);
    EXPECT_FALSE(noSize.isOpen());
}

TEST(MappedFile, ShortFilesArePaddedTo32ZeroBytes) {
    const std::string path = scratchFile("map_short");
    ASSERT_EQ(AppendToFile(path, "0123456789", 10), 0);
    unaMappedFile m(path);
    ASSERT_TRUE(m.isOpen());
    EXPECT_EQ(m.size(), 32u);
    EXPECT_EQ(fileSize(path), 32);
    const auto* p = static_cast<const uint8_t*>(m.data());
    EXPECT_EQ(std::memcmp(p, "0123456789", 10), 0);
    for (int i = 10; i < 32; ++i)
        EXPECT_EQ(p[i], 0);
    EXPECT_EQ(m.name().rfind("file@", 0), 0u);
    m.close();
    EXPECT_FALSE(m.isOpen());
    std::remove(path.c_str());

    const std::string missing = scratchFile("map_missing");
    unaMappedFile created(missing);
    EXPECT_TRUE(created.isOpen());
    EXPECT_EQ(fileSize(missing), 32);
    std::remove(missing.c_str());
}

TEST(MappedFile, WriteCopyNeverReachesTheFileButReadWriteDoes) {
    const std::string path = scratchFile("map_modes");
    std::string content(64, 'a');
    ASSERT_EQ(AppendToFile(path, content.data(), 64), 0);
    {
        unaMappedFile cow(path, true, PAGE_WRITECOPY);
        ASSERT_TRUE(cow.isOpen());
        static_cast<char*>(cow.data())[0] = 'X';
    }
    {
        unaMappedFile ro(path, true, PAGE_READONLY);
        ASSERT_TRUE(ro.isOpen());
        EXPECT_EQ(static_cast<const char*>(ro.data())[0], 'a');
    }
    {
        unaMappedFile rw(path, true, PAGE_READWRITE);
        ASSERT_TRUE(rw.isOpen());
        EXPECT_EQ(rw.size(), 64u);
        static_cast<char*>(rw.data())[1] = 'Y';
    }
    EXPECT_EQ(fileContent(path).substr(0, 3), "aYa");
    std::remove(path.c_str());

    unaMappedFile nowhere(scratchFile("map_nodir") + "/sub/file.wav");
    EXPECT_FALSE(nowhere.isOpen());
}
